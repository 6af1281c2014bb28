"""Vector3 only: the cross product, the swizzle table, and item assignment converting the index first."""

import inspect
from fractions import Fraction

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from test_vectors import INF, NAN, KINDS, bad_type, f32, float_error, raises, round_f32, takes
from vantor.vector2.vector2 import Vector2
from vantor.vector3.vector3 import Vector3

K = KINDS[1]
VEC = "vantor.vector3.vector3.Vector3"
SWIZZLES = ("xxx xxy xxz xyx xyy xyz xzy xzx xzz yxx yxy yxz yyx yyy yyz yzx yzy yzz "
            "zxx zxy zxz zyx zyy zyz zzx zzy zzz").split()


def test_properties_in_attribute_table_order():
    names = [k for k, d in Vector3.__dict__.items() if inspect.isdatadescriptor(d)]
    assert names == ["x", "y", "z", *SWIZZLES, "length", "length_squared"]  # xzy comes before xzx, and there is no data
    assert sorted(SWIZZLES) == sorted(a + b + c for a in "xyz" for b in "xyz" for c in "xyz")


def test_item_assignment_converts_the_index_before_the_value():
    v = Vector3(1, 2, 3)
    with raises(TypeError, "'float' object cannot be interpreted as an integer"):
        v[1.0] = "a"
    with pytest.raises(OverflowError):
        v[2 ** 70] = "a"
    with float_error("a"):
        v[3] = "a"
    assert (v.x, v.y, v.z) == (1, 2, 3)


@pytest.mark.parametrize("a, b, expected", [
    ((1, 0, 0), (0, 1, 0), (0, 0, 1)), ((0, 1, 0), (1, 0, 0), (0, 0, -1)), ((0, 0, 1), (1, 0, 0), (0, 1, 0)),
    ((1, 2, 3), (4, 5, 6), (-3, 6, -3)), ((1, 2, 3), (1, 2, 3), (0, 0, 0)),
    # each component is one fused multiply-subtract: the product that is rounded first leaves its rounding error
    # behind, so a vector crossed with itself is not zero
    ((0.1, 0.2, 0.3), (0.1, 0.2, 0.3), (8.940697071579962e-10, 4.470348535789981e-10, -8.19563861220729e-10)),
    ((INF, 0, 0), (0, 1, 0), (0, NAN, INF)),
    ((3e38, 3e38, 0), (0, 3e38, 3e38), (INF, -INF, INF)),
])
def test_cross(a, b, expected):
    u, v = Vector3(*a), Vector3(*b)
    got = u.cross(v)
    assert got is not u and K.same(got, expected) and K.same(Vector3(*a).cross(other=v), expected)
    assert K.same(u, map(f32, a)) and K.same(v, map(f32, b))


@settings(max_examples=300)
@given(*[st.floats(width=32, min_value=-2.0 ** 60, max_value=2.0 ** 60)] * 6)
def test_cross_matches_the_fused_model(x, y, z, ox, oy, oz):
    def fms(a, b, c, d):
        """a * b - (c * d rounded to single), rounded once; an exact zero takes its sign from IEEE addition."""
        q = Fraction(a) * Fraction(b) - Fraction(f32(c * d))
        return round_f32(q) if q else a * b - f32(c * d)

    expected = (fms(y, oz, z, oy), fms(ox, z, oz, x), fms(oy, x, y, ox))
    assert K.same(Vector3(x, y, z).cross(Vector3(ox, oy, oz)), expected)
    v = Vector3(x, y, z)
    assert K.same(v.cross(v), (fms(y, z, z, y), fms(x, z, z, x), fms(y, x, y, x)))


@pytest.mark.parametrize("args, msg", [
    (((1, 0, 0),), bad_type("other", "tuple", VEC)), ((None,), bad_type("other", "NoneType", VEC)),
    ((Vector2(),), bad_type("other", "vantor.vector2.vector2.Vector2", VEC)),
    ((), takes("cross", 1, 0)), ((Vector3(), Vector3()), takes("cross", 1, 2)),
])
def test_cross_takes_one_vector3(args, msg):
    v = Vector3(1, 2, 3)
    with raises(TypeError, msg):
        v.cross(*args)
    assert K.comps(v) == (1, 2, 3)
