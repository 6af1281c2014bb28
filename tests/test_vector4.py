"""Vector4 only: double precision throughout, the swizzle table, and item assignment converting the value first."""

import inspect
import itertools

import pytest

from test_vectors import KINDS, f32, float_error
from vantor.vector4.vector4 import Vector4

K = KINDS[2]


def test_properties_in_attribute_table_order():
    names = [k for k, d in Vector4.__dict__.items() if inspect.isdatadescriptor(d)]
    swizzles = ["".join(p) for p in itertools.product("xyzw", repeat=4)]
    assert names == ["x", "y", "z", "w", *swizzles, "length", "length_squared"]


def test_item_assignment_converts_the_value_before_the_index():
    v = Vector4(1, 2, 3, 4)
    for index in (1.0, 2 ** 70, 4):
        with float_error("a"):
            v[index] = "a"
    assert K.comps(v) == (1, 2, 3, 4)


def test_nothing_narrows_but_from_floats():
    cs = (0.1, 1e39, 1e-50, 16777217.0)  # each would change in single precision
    a, b, d, e, f = Vector4(*cs), Vector4(), Vector4(), Vector4(), Vector4()
    for i, c in enumerate(cs):
        b[i] = c
    d.x, d.y, d.z, d.w = cs
    e.sadd(a, Vector4())
    f += a
    for v in [Vector4(list(cs)), Vector4.from_tuple(cs), Vector4.from_list(list(cs)), Vector4.from_xyzw(*cs),
              Vector4.from_vector4(a), a.copy(), a.xyzw, a.wzyx.wzyx, a * 1, a / 1.0, a * Vector4(1, 1, 1, 1),
              a + Vector4(), -(-a), a.get_abs(), b, d, e, f]:
        assert K.same(v, cs)
    assert a.get_tuple() == tuple(a) == cs
    assert K.same(Vector4.from_ints(*[16777217] * 4), [16777217] * 4)
    assert K.same(Vector4.from_floats(*cs), map(f32, cs))
    assert Vector4(0.1, 0, 0, 0).x == 0.1 and Vector4.from_floats(0.1, 0, 0, 0).x != 0.1


@pytest.mark.parametrize("c, truncated, rounded", [
    (2147483647.9, 2147483647, OverflowError), (-2147483648.9, -2 ** 31, OverflowError),
    (-2147483648.4, -2 ** 31, -2 ** 31), (2147483647.4, 2 ** 31 - 1, 2 ** 31 - 1),
    (0.49999999999999994, 0, 0), (-0.49999999999999994, 0, 0), (2.5000000000000004, 2, 3),
    (4503599627370497.0, OverflowError, OverflowError),
])
def test_int_and_rounded_tuples_of_doubles(c, truncated, rounded):
    # the range test applies to the integer that results, not to the double before truncating or rounding
    v = Vector4(0, 0, 0, c)
    for method, expected in (("get_int_tuple", truncated), ("get_rounded_tuple", rounded)):
        if isinstance(expected, int):
            assert getattr(v, method)() == (0, 0, 0, expected)
        else:
            with pytest.raises(expected):
                getattr(v, method)()
