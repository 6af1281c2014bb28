"""The vector types' operation tables called from native code, through the public headers."""

import math
from dataclasses import dataclass

import pytest

import vantor._testclient as client
from test_vectors import f32
from vantor.vector2.vector2 import Vector2
from vantor.vector3.vector3 import Vector3
from vantor.vector4.vector4 import Vector4


@dataclass
class Kind:
    cls: type
    n: int
    rnd: object  # rounding to the storage precision
    letters: str

    def slot(self, name, *args):
        return getattr(client, f"vector{self.n}_slot")(name, *args)

    def record(self, v):
        return getattr(client, f"vector{self.n}_record")(v)

    def vtab_ok(self, v):
        return getattr(client, f"vector{self.n}_vtab_matches")(v)

    def vec(self, *c):
        """A vector from the first n of the given components."""
        return self.cls(*c[: self.n])

    def comps(self, *c):
        return tuple(self.rnd(x) for x in c[: self.n])

    @property
    def from_components(self):
        return "cfrom_" + self.letters

    @property
    def from_vector(self):
        return f"cfrom_vector{self.n}"


KINDS = [Kind(Vector2, 2, f32, "xy"), Kind(Vector3, 3, f32, "xyz"), Kind(Vector4, 4, float, "xyzw")]


@pytest.fixture(params=KINDS, ids=lambda k: k.cls.__name__)
def kind(request):
    return request.param


SAMPLE = (0.1, -2.5, 1e39, 7.0)


class TestConstructors:
    def test_double_entries_store_in_the_record_precision(self, kind):
        for name in ("new", kind.from_components):
            v = kind.slot(name, *SAMPLE[: kind.n])
            assert type(v) is kind.cls and kind.vtab_ok(v)
            assert kind.record(v) == kind.comps(*SAMPLE)

    def test_int_and_float_entries(self, kind):
        # ints are widened to double (2**24 + 1 is not a float32); floats arrive already narrowed
        assert kind.record(kind.slot("cfrom_ints", *(16777217, -7, 0, 3)[: kind.n])) == kind.comps(16777217, -7, 0, 3)
        assert kind.record(kind.slot("cfrom_floats", *SAMPLE[: kind.n])) == tuple(f32(x) for x in SAMPLE[: kind.n])

    @pytest.mark.parametrize("container", [tuple, list])
    def test_container_entries_read_the_first_items(self, kind, container):
        name = "cfrom_tuple" if container is tuple else "cfrom_list"
        v = kind.slot(name, container([1, 2.5, 3, 4, "ignored"]))
        assert kind.record(v) == (1.0, 2.5, 3.0, 4.0)[: kind.n]
        with pytest.raises(IndexError):
            kind.slot(name, container(range(kind.n - 1)))
        with pytest.raises(TypeError):
            kind.slot(name, container([1, "x", 3, 4]))
        # Another container is refused, never read as this one.
        for other in ((1.0, 2.0, 3.0, 4.0) if container is list else [1.0, 2.0, 3.0, 4.0], kind.vec(1, 2, 3, 4), None):
            with pytest.raises(TypeError):
                kind.slot(name, other)

    def test_copy_entry_is_independent(self, kind):
        a = kind.vec(1, 2, 3, 4)
        b = kind.slot(kind.from_vector, a)
        a.x = 9
        assert b == kind.vec(1, 2, 3, 4)

    def test_struct_entry(self):
        assert client.vector2_record(client.vector2_slot("cfrom_struct", 0.5, 3.0)) == (0.5, 3.0)


class TestArithmeticEntries:
    def test_add_sub_return_new_vectors(self, kind):
        a, b = kind.vec(1, 2, 3, 4), kind.vec(0.25, 8, -1, 0.5)
        assert kind.slot("_add", a, b) == kind.vec(1.25, 10, 2, 4.5)
        assert kind.slot("_sub", a, b) == kind.vec(0.75, -6, 4, 3.5)
        assert a == kind.vec(1, 2, 3, 4)

    @pytest.mark.parametrize("name, expected", [("_iadd", (4, 6, 8, 10)), ("_isub", (-2, -2, -2, -2)), ("_imul", (3, 8, 15, 24))])
    def test_in_place_entries(self, kind, name, expected):
        a = kind.vec(1, 2, 3, 4)
        assert kind.slot(name, a, kind.vec(3, 4, 5, 6)) is None
        assert a == kind.vec(*expected)
        kind.slot("_iadd", a, a)
        assert a == kind.vec(*(2 * e for e in expected))

    @pytest.mark.parametrize("flag", [0, 1])
    def test_sadd_entries_store_the_sum(self, kind, flag):
        a = kind.vec(0, 0, 0, 0)
        kind.slot("_sadd", a, kind.vec(1, 2, 3, 4), kind.vec(3, 4, 5, 6))
        assert a == kind.vec(4, 6, 8, 10)
        kind.slot("sadd", a, a, a, flag)
        assert a == kind.vec(8, 12, 16, 20)


class TestMethodEntries:
    @pytest.mark.parametrize("flag", [0, 1])
    def test_in_place_entries_return_self(self, kind, flag):
        for name, expected in [("to_round", (3, -3, 1, -1)), ("to_abs", (2.5, 2.5, 0.5, 0.5)), ("to_neg", (-2.5, 2.5, -0.5, 0.5))]:
            v = kind.vec(2.5, -2.5, 0.5, -0.5)
            assert kind.slot(name, v, flag) is v
            assert v == kind.vec(*expected)
        v = kind.vec(3, 4, 0, 0)
        assert kind.slot("to_normalized", v, flag) is v
        assert kind.record(v) == kind.comps(3 / 5, 4 / 5, 0, 0)

    def test_new_object_entries_leave_the_receiver(self, kind):
        v = kind.vec(-2.5, 0.5, 1.5, -1.5)
        for name, expected in [
            ("get_round", (-3, 1, 2, -2)),
            ("get_abs", (2.5, 0.5, 1.5, 1.5)),
            ("get_neg", (2.5, -0.5, -1.5, 1.5)),
            ("copy", (-2.5, 0.5, 1.5, -1.5)),
        ]:
            r = kind.slot(name, v, 1)
            assert r is not v and r == kind.vec(*expected)
        assert kind.slot("get_normalized", kind.vec(0, 0, 0, 0), 1) == kind.vec(0, 0, 0, 0)
        assert v == kind.vec(-2.5, 0.5, 1.5, -1.5)

    def test_tuple_entries(self, kind):
        v = kind.vec(1.9, -2.5, 0.5, -0.5)
        assert kind.slot("get_tuple", v, 1) == kind.slot("c_get_tuple", v) == kind.comps(1.9, -2.5, 0.5, -0.5)
        assert kind.slot("get_int_tuple", v, 1) == (1, -2, 0, 0)[: kind.n]
        assert kind.slot("get_rounded_tuple", v, 1) == (2, -3, 1, -1)[: kind.n]

    @pytest.mark.parametrize("bad, error", [(math.nan, ValueError), (math.inf, OverflowError), (3e9, OverflowError)])
    def test_tuple_entries_refuse_components_without_int32_value(self, kind, bad, error):
        with pytest.raises(error):
            kind.slot("get_int_tuple", kind.vec(0, bad, 0, 0), 1)
        with pytest.raises(error):
            kind.slot("get_rounded_tuple", kind.vec(bad, 0, 0, 0), 1)

    def test_metric_entries_match_the_methods(self, kind):
        a, b = kind.vec(0.1, 0.7, -1.3, 2.9), kind.vec(-3.3, 2.2, 0.4, 1.1)
        assert kind.slot("dot", a, b, 1) == a.dot(b)
        assert kind.slot("distance_to", a, b, 0) == a.distance_to(b)
        assert kind.slot("distance_squared_to", a, b, 1) == a.distance_squared_to(b)
        assert kind.slot("distance_to", kind.vec(0, 0, 0, 0), kind.vec(3, 4, 0, 0), 1) == 5.0

    def test_cross_entry(self):
        a, b = Vector3(0.1, 0.7, -1.3), Vector3(-3.3, 2.2, 0.4)
        assert client.vector3_slot("cross", Vector3(1, 0, 0), Vector3(0, 1, 0), 1) == Vector3(0, 0, 1)
        assert client.vector3_slot("cross", a, b, 0) == a.cross(b)


def test_every_instance_points_at_the_published_table(kind):
    v = kind.vec(1, 2, 3, 4)
    swizzle = getattr(v, kind.letters[::-1])
    for made in (v, kind.cls.__new__(kind.cls), v + v, swizzle, kind.slot("new", *SAMPLE[: kind.n])):
        assert kind.vtab_ok(made)
