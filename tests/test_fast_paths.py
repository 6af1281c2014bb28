"""The fast paths give exactly what the general paths give: iteration yields what indexing
yields, and the collision tests decide as Python's own float/int comparisons and sums would, for
exact floats, ints near and beyond 2**53, NaN and infinities alike."""

import math

import pytest
from hypothesis import given
from hypothesis import strategies as st

from vantor.color.color import Color
from vantor.rect.rect import Rect
from vantor.vector2.vector2 import Vector2
from vantor.vector3.vector3 import Vector3
from vantor.vector4.vector4 import Vector4

f32s = st.floats(width=32)
edges = st.sampled_from([2**52, 2**52 + 1, 2**53, 2**53 + 1, -(2**53) - 1, 2**63, -(2**70), 0, -1])
reals = st.one_of(st.floats(), f32s, st.integers(-(2**60), 2**60), edges, st.booleans())


class FloatSub(float):
    pass


@pytest.mark.parametrize(
    "value",
    [Vector2(1, -2), Vector3(0.1, 2, 3), Vector4(1, 2, math.nan, -0.0), Rect(1, 2, 3, 4), Color(1, 2, 3, 4)],
    ids=lambda v: type(v).__name__,
)
def test_iteration_yields_what_indexing_yields(value):
    n = len(value)
    indexed = [value[i] for i in range(n)] if not isinstance(value, Color) else [value.r, value.g, value.b, value.a]
    same = lambda a, b: [math.copysign(1, x) for x in a] == [math.copysign(1, x) for x in b] and repr(a) == repr(b)
    assert same(list(value), indexed) and same(list(tuple(value)), indexed)
    *unpacked, = value
    assert same(unpacked, indexed)
    it = iter(value)
    assert it.__length_hint__() == n if hasattr(it, "__length_hint__") else True
    for _ in range(n):
        next(it)
    assert list(it) == [] and list(it) == []  # an exhausted iterator stays exhausted
    assert iter(it) is it


def reference_point(r, px, py):
    return r.x <= px and px <= r.right and r.y <= py and py <= r.bottom


def reference_rect(r, ox, oy, ow, oh):
    return r.x < ox + ow and ox < r.right and r.y < oy + oh and oy < r.bottom


@given(st.tuples(f32s, f32s, f32s, f32s), reals, reals)
def test_point_tests_decide_as_python_comparisons(fields, px, py):
    r = Rect(*fields)
    expected = reference_point(r, px, py)
    assert r.collide_point_tuple((px, py)) is expected
    assert r.collide_point_list([px, py]) is expected
    # Subclasses of float take the general path and must agree with it.
    assert r.collide_point_tuple((FloatSub(px), py) if isinstance(px, float) else (px, py)) is expected
    v = Vector2(px, py) if all(abs(c) < 2**1000 for c in (px, py)) else None
    if v is not None:
        assert r.collide_point_vector2(v) is reference_point(r, v.x, v.y)
        assert r.collide_point(v) is r.collide_point((v.x, v.y))


@given(st.tuples(f32s, f32s, f32s, f32s), st.tuples(reals, reals, reals, reals))
def test_rect_tests_decide_as_python_sums_and_comparisons(fields, other):
    r = Rect(*fields)
    try:
        expected = reference_rect(r, *other)
    except OverflowError:  # an int too large for a float met a float in a sum
        with pytest.raises(OverflowError):
            r.collide_rect_tuple(other)
        return
    assert r.collide_rect_tuple(other) is expected
    assert r.collide_rect_list(list(other)) is expected
    if all(isinstance(c, float) for c in other):
        v = Vector4(*other)
        assert r.collide_rect_vector4(v) is reference_rect(r, v.x, v.y, v.z, v.w)
        assert r.collide_rect(v) is r.collide_rect_vector4(v)


@given(st.integers(-(2**31), 2**31), st.integers(-(2**31), 2**31))
def test_int_arguments_convert_as_float_does(x, y):
    assert Vector2(x, y) == Vector2(float(x), float(y))
    assert Rect(x, y, x, y) == Rect(float(x), float(y), float(x), float(y))
    with pytest.raises(OverflowError, match="int too large to convert to float"):
        Vector2(2**1024, y)


def test_an_iterator_kept_by_its_own_subclass_instance_is_collected():
    # A Rect subclass instance has a __dict__, so storing its iterator on it makes a cycle.
    import gc
    import weakref

    Sub = type("Sub", (Rect,), {})
    s = Sub(1, 2, 3, 4)
    s.it = iter(s)
    next(s.it)
    ref = weakref.ref(s)
    del s
    gc.collect()
    assert ref() is None
    # The package's own objects cannot be in a cycle, and their iterators stay out of the collector.
    assert not any(gc.is_tracked(iter(T())) for T in (Vector2, Vector3, Vector4, Rect))
