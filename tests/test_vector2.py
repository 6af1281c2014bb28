"""Vector2 only: the `data` property, item assignment converting the value first, and the swizzle table."""

import collections
import inspect

import pytest

from test_vectors import float_error, num, raises
from vantor.vector2.vector2 import Vector2

F01 = 0.10000000149011612  # 0.1 as stored


def xy(v):
    return (v.x, v.y)


class Lookup:
    """A bare mapping (only __getitem__); an exception value is raised."""

    def __init__(self, **items):
        self.items = items

    def __getitem__(self, key):
        value = self.items[key]
        if isinstance(value, Exception):
            raise value
        return value


def test_properties_in_attribute_table_order():
    names = [k for k, d in Vector2.__dict__.items() if inspect.isdatadescriptor(d)]
    assert names == ["x", "y", "xx", "yy", "xy", "yx", "length", "data", "length_squared", "angle"]


def test_item_assignment_converts_the_value_before_the_index():
    v = Vector2(1, 2)
    for index in (1.0, 2 ** 70, 2):
        with float_error("a"):
            v[index] = "a"
    assert xy(v) == (1, 2)


def test_data_reads_a_new_dict_of_the_stored_values():
    v = Vector2(0.1, num(index=4))
    d = v.data
    assert type(d) is dict and list(d.items()) == [("x", F01), ("y", 4.0)]
    d["x"] = 7
    assert v.data is not d and v.data == {"x": F01, "y": 4.0} and xy(v) == (F01, 4)
    with raises(NotImplementedError, "__del__"):
        del v.data


@pytest.mark.parametrize("value, expected", [
    ({"x": 1, "y": 0.1}, (1, F01)),
    ({"y": 2, "x": 1, "z": 3}, (1, 2)),
    ({"x": 1e39, "y": -1e-50}, (float("inf"), -0.0)),
    (Lookup(x=num(float=0.5), y=num(index=3)), (0.5, 3)),
    # a dict subclass is read with value[key], so __missing__ takes part
    (collections.Counter(x=3), (3, 0)),
    (collections.defaultdict(lambda: 7, y=1), (7, 1)),
])
def test_data_assignment(value, expected):
    v = Vector2(-5, -6)
    v.data = value
    assert xy(v) == expected and str(xy(v)) == str(tuple(map(float, expected)))


@pytest.mark.parametrize("value, exc, msg", [
    ({"x": 5}, ValueError, "No value specified for struct attribute 'y'"),
    (Lookup(y=1), ValueError, "No value specified for struct attribute 'x'"),
    # every key is looked up before anything is converted
    ({"x": "a"}, ValueError, "No value specified for struct attribute 'y'"),
    ({"x": 5, "y": "a"}, TypeError, "must be real number, not str"),
    ({"x": 5, "y": 2 ** 1024}, OverflowError, "int too large to convert to float"),
    (5, TypeError, "Expected a mapping, got int"),
    (None, TypeError, "Expected a mapping, got NoneType"),
    ([1, 2], TypeError, "list indices must be integers or slices, not str"),
    (Lookup(x=1, y=RuntimeError("lookup")), RuntimeError, "lookup"),
])
def test_data_assignment_is_all_or_nothing(value, exc, msg):
    v = Vector2(1, 2)
    with raises(exc, msg):
        v.data = value
    assert xy(v) == (1, 2)
