"""Vector2's operation table called from native code, through the public header."""

import math
import struct

import pytest

import vantor._testclient as client
from vantor.vector2.vector2 import Vector2


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def slot(name, *args):
    return client.vector2_slot(name, *args)


class TestConstructors:
    @pytest.mark.parametrize(
        "name, args, expected",
        [
            ("new", (0.1, -2.5), (f32(0.1), -2.5)),
            ("cfrom_xy", (1e39, -1e39), (math.inf, -math.inf)),
            ("cfrom_struct", (0.5, 3.0), (0.5, 3.0)),
            ("cfrom_ints", (16777217, -7), (16777216.0, -7.0)),
            ("cfrom_floats", (0.1, 0.2), (f32(0.1), f32(0.2))),
            ("cfrom_tuple", ((1, 2.5, "ignored"),), (1.0, 2.5)),
            ("cfrom_list", ([3, 4],), (3.0, 4.0)),
        ],
    )
    def test_entries_build_the_record(self, name, args, expected):
        v = slot(name, *args)
        assert type(v) is Vector2
        assert client.vector2_record(v) == expected
        assert client.vector2_vtab_matches(v)

    def test_copy_entry_is_independent(self):
        a = Vector2(1, 2)
        b = slot("cfrom_vector2", a)
        a.x = 9
        assert b == Vector2(1, 2)

    @pytest.mark.parametrize("name, short", [("cfrom_tuple", ()), ("cfrom_tuple", (1,)), ("cfrom_list", [1])])
    def test_too_few_items_raise_index_error(self, name, short):
        with pytest.raises(IndexError):
            slot(name, short)

    def test_item_conversion_errors_propagate(self):
        with pytest.raises(TypeError):
            slot("cfrom_list", [1, "x"])


class TestArithmeticEntries:
    def test_add_sub_return_new_vectors(self):
        a, b = Vector2(1, 2), Vector2(0.25, 8)
        assert slot("_add", a, b) == Vector2(1.25, 10)
        assert slot("_sub", a, b) == Vector2(0.75, -6)
        assert a == Vector2(1, 2)

    @pytest.mark.parametrize("name, expected", [("_iadd", (4, 6)), ("_isub", (-2, -2)), ("_imul", (3, 8))])
    def test_in_place_entries(self, name, expected):
        a = Vector2(1, 2)
        assert slot(name, a, Vector2(3, 4)) is None
        assert a == Vector2(*expected)

    def test_in_place_with_itself(self):
        a = Vector2(1, 2)
        slot("_iadd", a, a)
        assert a == Vector2(2, 4)

    @pytest.mark.parametrize("flag", [0, 1])
    def test_sadd_entries_store_the_sum(self, flag):
        a = Vector2()
        slot("_sadd", a, Vector2(1, 2), Vector2(3, 4))
        assert a == Vector2(4, 6)
        slot("sadd", a, a, a, flag)
        assert a == Vector2(8, 12)


class TestMethodEntries:
    @pytest.mark.parametrize("flag", [0, 1])
    def test_in_place_entries_return_self(self, flag):
        for name, expected in [("to_round", (3, -3)), ("to_abs", (2.5, 2.5)), ("to_neg", (-2.5, 2.5))]:
            v = Vector2(2.5, -2.5)
            assert slot(name, v, flag) is v
            assert v == Vector2(*expected)
        v = Vector2(3, 4)
        assert slot("to_normalized", v, flag) is v
        assert client.vector2_record(v) == (f32(0.6), f32(0.8))

    def test_new_object_entries_leave_the_receiver(self):
        v = Vector2(-2.5, 0.5)
        for name, expected in [
            ("get_round", Vector2(-3, 1)),
            ("get_abs", Vector2(2.5, 0.5)),
            ("get_neg", Vector2(2.5, -0.5)),
            ("copy", Vector2(-2.5, 0.5)),
        ]:
            r = slot(name, v, 1)
            assert r is not v and r == expected
        assert slot("get_normalized", Vector2(0, 0), 1) == Vector2(0, 0)
        assert v == Vector2(-2.5, 0.5)

    def test_tuple_entries(self):
        v = Vector2(1.9, -2.5)
        assert slot("get_tuple", v, 1) == slot("c_get_tuple", v) == (f32(1.9), -2.5)
        assert slot("get_int_tuple", v, 1) == (1, -2)
        assert slot("get_rounded_tuple", v, 1) == (2, -3)

    @pytest.mark.parametrize("bad, error", [(math.nan, ValueError), (math.inf, OverflowError), (3e9, OverflowError)])
    def test_tuple_entries_refuse_components_without_int32_value(self, bad, error):
        with pytest.raises(error):
            slot("get_int_tuple", Vector2(0, bad), 1)
        with pytest.raises(error):
            slot("get_rounded_tuple", Vector2(bad, 0), 1)

    def test_metric_entries_match_the_methods(self):
        a, b = Vector2(0.1, 0.7), Vector2(-3.3, 2.2)
        assert slot("dot", a, b, 1) == a.dot(b)
        assert slot("distance_to", a, b, 0) == a.distance_to(b)
        assert slot("distance_squared_to", a, b, 1) == a.distance_squared_to(b)
        assert slot("distance_to", Vector2(0, 0), Vector2(3, 4), 1) == 5.0
