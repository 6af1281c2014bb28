"""Rect: construction forms, edge and centre properties, collision tests with their precision and
comparison order, the sequence protocol, and the table slots with subclass override dispatch."""

import math
import pickle
import re
import struct

import pytest
from hypothesis import given
from hypothesis import strategies as st

import vantor._testclient as client
from vantor.rect.rect import Rect
from vantor.vector2.vector2 import Vector2
from vantor.vector4.vector4 import Vector4


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def fields(r):
    return (r.x, r.y, r.width, r.height)


def raises(exc, msg):
    return pytest.raises(exc, match="^" + re.escape(msg) + "$")


class Sub(Rect):
    pass


class TestConstruction:
    @pytest.mark.parametrize(
        "args, expected",
        [
            ((), (0, 0, 0, 0)),
            ((1, 2, 3, 4), (1, 2, 3, 4)),
            ((0.1, 0, -1e39, math.inf), (f32(0.1), 0, -math.inf, math.inf)),
            ((Vector2(3, 4),), (0, 0, 3, 4)),
            ((Vector4(1, 2, 3, 4),), (1, 2, 3, 4)),
            (([1, 2, 3, 4],), (1, 2, 3, 4)),
            (((1, 2, 3, 4),), (1, 2, 3, 4)),
            ((Rect(5, 6, 7, 8),), (5, 6, 7, 8)),
            ((Sub(5, 6, 7, 8),), (5, 6, 7, 8)),
            (((1, 2), (3, 4)), (1, 2, 3, 4)),
            ((Vector2(1, 2), [3, 4]), (1, 2, 3, 4)),
            ((Vector2(1, 2), Vector2(3, 4)), (1, 2, 3, 4)),
        ],
    )
    @pytest.mark.parametrize("cls", [Rect, Sub])
    def test_forms(self, cls, args, expected):
        r = cls(*args)
        assert type(r) is cls and fields(r) == expected

    @pytest.mark.parametrize(
        "args, exc, msg",
        [
            (([1, 2, 3],), ValueError, "list/tuple for rect must have 4 elements"),
            ((5,), ValueError, "Rect takes Vector2, Rect, Vector4, or list/tuple of length 4"),
            ((None,), ValueError, "Rect takes Vector2, Rect, Vector4, or list/tuple of length 4"),
            ((1, 2, 3), TypeError, "Rect expected 0, 1, 2, or 4 arguments, got 3"),
            ((1, 2, 3, 4, 5), TypeError, "Rect expected 0, 1, 2, or 4 arguments, got 5"),
            (((1, 2, 3), (3, 4)), ValueError, "First argument must be a Vector2 or list/tuple of length 2"),
            (((1, 2), 5), ValueError, "Second argument must be a Vector2 or list/tuple of length 2"),
            (((1, 2), (3, 4, 5)), ValueError, "Second argument must be a Vector2 or list/tuple of length 2"),
            ((1, 2, "3", 4), TypeError, None),
        ],
    )
    @pytest.mark.parametrize("cls", [Rect, Sub])
    def test_refusals(self, cls, args, exc, msg):
        with pytest.raises(exc) as e:
            cls(*args)
        if msg:
            assert str(e.value) == msg

    def test_keywords_refused_and_fields_stored_as_converted(self):
        with raises(TypeError, "__init__() got an unexpected keyword argument 'x'"):
            Rect(x=1)
        r = Rect(9, 9, 9, 9)
        with pytest.raises(TypeError):
            r.__init__(1, 2, "3", 4)
        assert fields(r) == (1, 2, 9, 9)
        r = Rect(9, 9, 9, 9)
        with pytest.raises(TypeError):
            r.__init__((1, 2), (3, "x"))
        assert fields(r) == (1, 2, 9, 9)
        assert fields(Rect.__new__(Rect)) == (0, 0, 0, 0)


class TestProperties:
    def test_order_and_aliases(self):
        names = [n for n, v in vars(Rect).items() if type(v).__name__ == "getset_descriptor"]
        assert names == ["x", "y", "w", "h", "width", "height", "left", "top", "right", "bottom",
                         "centerx", "centery", "center", "topleft", "topright", "bottomleft", "bottomright",
                         "midtop", "midbottom", "midleft", "midright", "size"]
        r = Rect(1, 2, 3, 4)
        assert (r.left, r.top, r.w, r.h, r.right, r.bottom, r.centerx, r.centery) == (1, 2, 3, 4, 4, 6, 2.5, 4)
        c = r.center
        assert type(c) is Vector2 and c == Vector2(2.5, 4)

    def test_edges_are_single_precision(self):
        r = Rect(0.1, 0.2, 0.7, 0.3)
        assert r.right == f32(f32(0.1) + f32(0.7)) and r.bottom == f32(f32(0.2) + f32(0.3))
        # one rounding: x + width * 0.5
        assert r.centerx == f32(f32(0.1) + f32(0.7) * 0.5)

    def test_moving_setters_keep_the_size(self):
        r = Rect(0, 0, 10, 20)
        r.right = 15
        assert fields(r) == (5, 0, 10, 20)
        r.bottom = 0
        assert fields(r) == (5, -20, 10, 20)
        r.centerx = 0
        r.centery = 0
        assert fields(r) == (-5, -10, 10, 20)
        r.center = Vector2(10, 10)
        assert fields(r) == (5, 0, 10, 20)
        r.center = {0: 0, 1: 0}  # any indexable object
        assert fields(r) == (-5, -10, 10, 20)

    def test_setters_use_python_subtraction(self):
        class Offset:
            def __sub__(self, other):
                return 100.0 + other

        r = Rect(0, 0, 10, 20)
        r.right = Offset()
        assert r.x == 110
        with raises(TypeError, "unsupported operand type(s) for -: 'str' and 'float'"):
            r.bottom = "a"
        assert fields(r) == (110, 0, 10, 20)

    def test_deleting_and_bad_values(self):
        r = Rect(1, 2, 3, 4)
        with raises(NotImplementedError, "__del__"):
            del r.center
        with pytest.raises(TypeError):
            r.width = "a"
        with pytest.raises(TypeError):
            r.center = 5
        assert fields(r) == (1, 2, 3, 4)


class TestPointCollision:
    R = Rect(0, 0, 10, 10)

    @pytest.mark.parametrize(
        "point, hit",
        [((0, 0), True), ((10, 10), True), ((5, 10), True), ((10.0001, 5), False), ((-0.0001, 5), False),
         ((5, math.nan), False), ((math.nan, 5), False)],
    )
    def test_edges_are_inclusive(self, point, hit):
        r = self.R
        assert r.collide_point(point) is hit
        assert r.collide_point(list(point)) is hit
        assert r.collide_point(Vector2(*point)) is hit
        assert r.collide_point_tuple(tuple(point)) is hit
        assert r.collide_point_list(list(point)) is hit

    def test_generic_form_compares_in_double(self):
        r = Rect(0, 0, 0.1, 1)  # right edge is float32(0.1), slightly above 0.1
        assert r.collide_point((0.1, 0)) and r.collide_point((f32(0.1), 0))
        assert not r.collide_point((math.nextafter(f32(0.1), 1), 0))

    def test_typed_forms_use_python_comparisons(self):
        class Num(float):
            seen = []

            def __ge__(self, other):
                Num.seen.append(other)
                return float(self) >= other

        assert self.R.collide_point_tuple((Num(5), 5)) and Num.seen == [0.0]
        with pytest.raises(TypeError):
            self.R.collide_point_tuple(("a", 5))

    @pytest.mark.parametrize(
        "method, arg, exc, msg",
        [
            ("collide_point", (1, 2, 3), ValueError, "Point must be a Vector2, tuple, or list of length 2"),
            ("collide_point", "ab", ValueError, "Point must be a Vector2, tuple, or list of length 2"),
            ("collide_point_tuple", [0, 0], TypeError, "Argument 'point' has incorrect type (expected tuple, got list)"),
            ("collide_point_list", (0, 0), TypeError, "Argument 'point' has incorrect type (expected list, got tuple)"),
            ("collide_point_tuple", None, TypeError, "'NoneType' object is not subscriptable"),
            ("collide_point_list", None, TypeError, "'NoneType' object is not subscriptable"),
            ("collide_point_vector2", (0, 0), TypeError,
             "Argument 'point' has incorrect type (expected vantor.vector2.vector2.Vector2, got tuple)"),
            ("collide_point_tuple", (1,), IndexError, None),
            ("collide_point_tuple", (100,), IndexError, None),  # whatever the values
            ("collide_point_list", [], IndexError, None),
        ],
    )
    def test_refusals(self, method, arg, exc, msg):
        with pytest.raises(exc) as e:
            getattr(self.R, method)(arg)
        if msg:
            assert str(e.value) == msg


class TestRectCollision:
    R = Rect(0, 0, 10, 10)

    @pytest.mark.parametrize(
        "other, hit",
        [((10, 0, 5, 5), False), ((9, 9, 5, 5), True), ((-5, -5, 5, 5), False), ((-5, -5, 5.5, 5.5), True),
         ((0, 10, 1, 1), False), ((2, 2, 1, 1), True), ((math.nan, 0, 1, 1), False), ((-1, -1, 20, 20), True)],
    )
    def test_edges_are_strict(self, other, hit):
        r = self.R
        for form in (Rect(*other), Vector4(*other), tuple(other), list(other)):
            assert r.collide_rect(form) is hit
        assert r.collide_rect_rect(Rect(*other)) is hit
        assert r.collide_rect_vector4(Vector4(*other)) is hit
        assert r.collide_rect_tuple(tuple(other)) is hit and r.collide_rect_list(list(other)) is hit

    def test_rect_rect_is_single_precision_and_the_others_double(self):
        # 1e-8 vanishes in a float32 sum but not in double
        r = Rect(1, 0, 1, 1)
        assert not r.collide_rect_rect(Rect(0, 0, 1e-8, 1))
        assert not r.collide_rect(Rect(0, 0, 1e-8, 1))  # the other's float32 fields: 1e-8 survives widening
        assert r.collide_rect((1e-8, 0, 1, 1)) and r.collide_rect_tuple((1e-8, 0, 1, 1))

    def test_typed_forms_use_python_arithmetic(self):
        assert self.R.collide_rect_tuple((5, 5, True, 1))
        with pytest.raises(TypeError):
            self.R.collide_rect_tuple(("a", 0, "b", 1))

    @pytest.mark.parametrize(
        "method, arg, exc, msg",
        [
            ("collide_rect", "abcd", ValueError, "rect for collision must be a Rect, Vector4, tuple, or list of length 4"),
            ("collide_rect", (1, 2, 3), ValueError, "rect for collision must be a Rect, Vector4, tuple, or list of length 4"),
            ("collide_rect_rect", None, TypeError,
             "Argument 'other' has incorrect type (expected vantor.rect.rect.Rect, got NoneType)"),
            ("collide_rect_vector4", (1, 2, 3, 4), TypeError,
             "Argument 'other' has incorrect type (expected vantor.vector4.vector4.Vector4, got tuple)"),
            ("collide_rect_tuple", None, TypeError, "'NoneType' object is not subscriptable"),
            ("collide_rect_list", (1, 2, 3, 4), TypeError, "Argument 'other' has incorrect type (expected list, got tuple)"),
            ("collide_rect_tuple", (1, 2, 3), IndexError, None),
            ("collide_rect_list", [1, 2], IndexError, None),
            ("collide_rect_list", [100, 0, 1], IndexError, None),
        ],
    )
    def test_refusals(self, method, arg, exc, msg):
        with pytest.raises(exc) as e:
            getattr(self.R, method)(arg)
        if msg:
            assert str(e.value) == msg


class TestProtocols:
    def test_sequence(self):
        r = Rect(1, 2, 3, 4)
        assert len(r) == 4 and list(r) == [1, 2, 3, 4] and r[2] == 3
        for bad in (4, -1, 2**40):
            with raises(IndexError, "Rect index out of range"):
                r[bad]
        with raises(IndexError, "Rect index out of range"):
            r[4] = 1.0
        with pytest.raises(TypeError):
            r[4] = "a"  # the value is converted first
        r[1] = 0.1
        assert r.y == f32(0.1)
        with raises(NotImplementedError, "Subscript deletion not supported by vantor.rect.rect.Rect"):
            del r[0]

    def test_equality_text_hash_pickling(self):
        assert Rect(1, 2, 3, 4) == Sub(1, 2, 3, 4) and Rect(1, 2, 3, 4) != Rect(1, 2, 3, 5)
        assert not (Rect(1, 2, 3, 4) == (1, 2, 3, 4)) and Rect(1, 2, 3, 4) != (1, 2, 3, 4)
        assert Rect(math.nan, 0, 0, 0) != Rect(math.nan, 0, 0, 0)
        with pytest.raises(TypeError):
            Rect() < Rect()
        with pytest.raises(TypeError):
            hash(Rect())
        assert repr(Rect(1, 2, 3, 4)) == str(Rect(1, 2, 3, 4)) == "Rect(position=(1.0, 2.0), size=(3.0, 4.0))"
        assert repr(Rect(0.1, -0.0, math.inf, math.nan)) == "Rect(position=(0.10000000149011612, -0.0), size=(inf, nan))"
        with pytest.raises(TypeError, match="self._raw"):
            pickle.dumps(Rect())

    def test_value_methods(self):
        r = Rect(1, 2, 3, 4.5)
        assert (r.get_width(), r.get_height(), r.get_tuple()) == (3, 4.5, (1, 2, 3, 4.5))
        v = r.get_vector4()
        assert type(v) is Vector4 and v == Vector4(1, 2, 3, 4.5)


class Overrides(Rect):
    def collide_rect_rect(self, other):
        return "truthy"

    def collide_point(self, point):
        return 0

    def get_width(self):
        return "wide"

    def get_vector4(self):
        return None

    def get_tuple(self):
        return [1, 2]


class TestTableSlots:
    def test_new_and_direct_entries(self):
        r = client.rect_slot("new", 1, 2, 3, 4)
        assert type(r) is Rect and fields(r) == (1, 2, 3, 4)
        assert client.rect_slot("get_width", r, 0) == 3.0 and client.rect_slot("get_tuple", r, 1) == (1, 2, 3, 4)
        assert client.rect_slot("collide_rect_rect", r, Rect(2, 3, 1, 1), 1) is True
        assert client.rect_slot("collide_point_vector2", r, Vector2(1, 2), 1) is True
        assert client.rect_slot("collide_rect_vector4", r, Vector4(9, 9, 1, 1), 1) is False

    def test_override_runs_only_with_flag_zero(self):
        o = Overrides(0, 0, 1, 1)
        far = Rect(5, 5, 1, 1)
        assert client.rect_slot("collide_rect_rect", o, far, 0) is True
        assert client.rect_slot("collide_rect_rect", o, far, 1) is False
        assert client.rect_slot("collide_point", o, (0.5, 0.5), 0) is False
        assert client.rect_slot("get_width", o, 0) == "wide" and client.rect_slot("get_width", o, 1) == 1.0
        assert client.rect_slot("get_vector4", o, 0) is None
        # Python calls go straight to the override
        assert o.collide_rect_rect(far) == "truthy"

    def test_override_results_are_checked(self):
        with raises(TypeError, "Expected tuple, got list"):
            client.rect_slot("get_tuple", Overrides(), 0)

        class BadVector(Rect):
            def get_vector4(self):
                return (1, 2, 3, 4)

        with raises(TypeError, "Cannot convert tuple to vantor.vector4.vector4.Vector4"):
            client.rect_slot("get_vector4", BadVector(), 0)

    def test_subclass_without_override_computes_directly(self):
        assert client.rect_slot("collide_point", Sub(0, 0, 1, 1), (0.5, 0.5), 0) is True

    def test_slot_errors_are_pending_exceptions(self):
        with raises(ValueError, "Point must be a Vector2, tuple, or list of length 2"):
            client.rect_slot("collide_point", Rect(), 5, 1)
        with pytest.raises(IndexError):
            client.rect_slot("collide_rect_tuple", Rect(), (1,), 1)


# Plain double-precision models of the derived rectangles: each takes the fields (float32 values
# widened) and the arguments, and the result is rounded once to float32, field by field.
def _clamp(p, s, q, t):
    return q + t * 0.5 - s * 0.5 if s >= t else q if p < q else q + t - s if p + s > q + t else p


def _clip(p, s, q, t):
    start = p if q <= p < q + t else q if p <= q < p + s else None
    end = p + s if q < p + s <= q + t else q + t if p < q + t <= p + s else None
    return None if start is None or end is None else (start, end - start)


def _div(a, b):  # IEEE division: a nonzero number over zero is infinite
    return a / b if b else math.copysign(math.inf, a) * math.copysign(1, b) if a else math.nan


def _fit(r, o):
    if (r[2] == 0 and o[2] == 0) or (r[3] == 0 and o[3] == 0):
        raise ValueError
    xr, yr = _div(r[2], o[2]), _div(r[3], o[3])
    ratio = xr if xr > yr else yr
    if math.isnan(ratio) or ratio == 0:
        raise ValueError
    w, h = _div(r[2], ratio), _div(r[3], ratio)
    return (o[0] + (o[2] - w) * 0.5, o[1] + (o[3] - h) * 0.5, w, h)


def _clipped(r, o):
    ax, ay = _clip(r[0], r[2], o[0], o[2]), _clip(r[1], r[3], o[1], o[3])
    ok = ax and ay and min(r[2], r[3], o[2], o[3]) > 0
    return (ax[0], ay[0], ax[1], ay[1]) if ok else (r[0], r[1], 0, 0)


def _union(*rs):
    x, y = min(r[0] for r in rs), min(r[1] for r in rs)
    return (x, y, max(r[0] + r[2] for r in rs) - x, max(r[1] + r[3] for r in rs) - y)


DERIVED = {  # name: (arguments from (a, b, other), model, in-place form)
    "get_moved": (lambda a, b, o: (a, b), lambda r, a, b, o: (r[0] + a, r[1] + b, r[2], r[3]), "to_moved"),
    "get_inflated": (lambda a, b, o: (a, b),
                     lambda r, a, b, o: (r[0] - a * 0.5, r[1] - b * 0.5, r[2] + a, r[3] + b), "to_inflated"),
    "get_scaled_by": (lambda a, b, o: (a, b), lambda r, a, b, o: (
        r[0] + r[2] * 0.5 - r[2] * abs(a) * 0.5, r[1] + r[3] * 0.5 - r[3] * abs(b) * 0.5, r[2] * abs(a),
        r[3] * abs(b)), "to_scaled_by"),
    "get_clamped": (lambda a, b, o: (o,), lambda r, a, b, o: (
        _clamp(r[0], r[2], o[0], o[2]), _clamp(r[1], r[3], o[1], o[3]), r[2], r[3]), "to_clamped"),
    "get_clipped": (lambda a, b, o: (o,), lambda r, a, b, o: _clipped(r, o), None),
    "get_union": (lambda a, b, o: (o,), lambda r, a, b, o: _union(o, r), "to_union"),
    "get_union_all": (lambda a, b, o: ([o, (a, b, 1, 1)],), lambda r, a, b, o: _union(o, (a, b, 1, 1), r),
                      "to_union_all"),
    "get_normalized": (lambda a, b, o: (), lambda r, a, b, o: (
        r[0] + min(r[2], 0), r[1] + min(r[3], 0), abs(r[2]), abs(r[3])), "to_normalized"),
    "get_fit": (lambda a, b, o: (o,), lambda r, a, b, o: _fit(r, o), None),
}
def f32_or_inf(x):  # rounded to float32, beyond its range an infinity
    try:
        return f32(x)
    except OverflowError:
        return math.copysign(math.inf, x)


values = st.sampled_from([0.0, 1.0, -1.0, 2.5, 3.0, 10.0, -7.25, 0.1, 1e30, 16777217.0])


class TestToolbox:
    @given(st.tuples(values, values, values, values), values, values,
           st.tuples(values, values, values, values), st.sampled_from(sorted(DERIVED)))
    def test_derived_rectangles_match_the_double_model(self, fields4, a, b, other, name):
        args, model, in_place = DERIVED[name]
        r = Sub(*fields4)
        widened, o = fields(r), tuple(map(f32, other))
        try:
            expected = tuple(map(f32_or_inf, model(widened, a, b, o)))
        except ValueError:
            expected = ValueError
        if expected is ValueError:
            with pytest.raises(ValueError):
                getattr(r, name)(*args(a, b, o))
            return
        got = getattr(r, name)(*args(a, b, o))
        assert type(got) is Rect and str(fields(got)) == str(expected) and fields(r) == widened
        if in_place:
            assert getattr(r, in_place)(*args(a, b, o)) is r and str(fields(r)) == str(expected)

    def test_argument_forms_and_refusals(self):
        r = Rect(1, 2, 3, 4)
        for form in [(Vector2(5, 6),), ((5, 6),), ([5, 6],), (5, 6)]:
            assert fields(r.get_moved(*form)) == (6, 8, 3, 4)
        with raises(TypeError, "get_moved() takes 1 or 2 positional arguments (0 given)"):
            r.get_moved()
        for other in [Rect(0, 0, 9, 9), Sub(0, 0, 9, 9), Vector4(0, 0, 9, 9), (0, 0, 9, 9), [0, 0, 9, 9]]:
            assert fields(r.get_union(other)) == (0, 0, 9, 9) and r.contains(other) is False
        assert r.get_scaled_by(2) == r.get_scaled_by(2, 2) == r.get_scaled_by(-2, None)
        with raises(TypeError, "other must be a Rect, Vector4, tuple or list of 4 numbers, not str"):
            r.get_union("abcd")
        with raises(TypeError, "other must be a Rect, Vector4, tuple or list of 4 numbers, not a list of length 3"):
            r.contains([1, 2, 3])
        with raises(TypeError, "offset must be a Vector2, tuple or list of 2 numbers, not float"):
            r.to_moved(1.5)
        with raises(TypeError, "each of rects must be a Rect, Vector4, tuple or list of 4 numbers, not NoneType"):
            r.collide_list_all([r, None])
        with raises(ValueError, "cannot fit a rectangle of zero width and height"):
            Rect(1, 1, 0, 0).get_fit((0, 0, 5, 5))
        assert fields(r) == (1, 2, 3, 4)
        assert fields(Rect(0, 0, 4, 2).get_fit((0, 0, 0, 5))) == (0, 2.5, 0, 0)
        assert (r.contains(r), r.contains((4, 2, 0, 4)), r.contains((1, 2, 0, 0))) == (True, False, True)

    def test_points_and_size_read_and_move(self):
        r = Rect(1, 2, 3, 4)
        got = {n: tuple(getattr(r, n)) for n in ("topleft", "topright", "bottomleft", "bottomright", "midtop",
                                                  "midbottom", "midleft", "midright", "size")}
        assert got == dict(topleft=(1, 2), topright=(4, 2), bottomleft=(1, 6), bottomright=(4, 6), midtop=(2.5, 2),
                           midbottom=(2.5, 6), midleft=(1, 4), midright=(4, 4), size=(3, 4))
        for name, point in got.items():
            s = Rect(-9, -9, 3, 4) if name != "size" else Rect(1, 2, 0, 0)
            setattr(s, name, Vector2(*point) if len(name) % 2 else {0: point[0], 1: point[1]})
            assert fields(s) == (1, 2, 3, 4), name
            with raises(NotImplementedError, "__del__"):
                delattr(s, name)

    def test_lists_and_objects_use_the_collide_rect_rule(self):
        r = Rect(0, 0, 10, 10)
        rects = [Rect(10, 0, 5, 5), (5, 5, 1, 1), Vector4(-1, -1, 2, 2), Sub(20, 20, 1, 1), [9, 9, 5, 5]]
        hits = [i for i, o in enumerate(rects) if r.collide_rect(o)]
        assert r.collide_list_all(rects) == r.collide_list_all(tuple(rects)) == r.collide_list_all(iter(rects)) == hits
        assert r.collide_list(rects) == 1 and r.collide_list(rects[:1]) == -1
        fast = [Rect(i, i, 1, 1) for i in range(100)]
        assert r.collide_list_all(fast) == list(range(10)) and r.collide_list_all(fast + rects) == [
            *range(10), *(100 + i for i in hits)]
        holders = [type("Holder", (), {"rect": o})() for o in rects]
        assert r.collide_objects_all(holders) == [holders[i] for i in hits] and r.collide_objects(holders) is holders[1]
        assert r.collide_objects(rects, key=lambda o: o) is rects[1] and r.collide_objects([], key=None) is None

    @given(st.tuples(values, values, values, values), values, values, values)
    def test_collide_circle_is_the_float32_rule(self, rect, cx, cy, radius):
        # Each single-precision step as the double result rounded once (exact for + - * and halving).
        r, F = Rect(*rect), f32_or_inf
        x, y, w, h = fields(r)
        cx, cy, rad = F(cx), F(cy), F(radius)
        hw, hh = F(w / 2), F(h / 2)
        dx, dy = abs(F(cx - F(x + hw))), abs(F(cy - F(y + hh)))
        ex, ey = F(dx - hw), F(dy - hh)
        expected = not (dx > F(hw + rad) or dy > F(hh + rad)) and (
            dx <= hw or dy <= hh or F(F(ex * ex) + F(ey * ey)) <= F(rad * rad))
        assert r.collide_circle((float(cx), float(cy)), radius) is expected

    def test_clip_line_keeps_the_part_inside_or_on_the_edges(self):
        r = Rect(0, 0, 10, 10)
        assert r.clip_line(-5, 5, 15, 5) == ((0.0, 5.0), (10.0, 5.0))
        assert r.clip_line((0, 0), (3, 20)) == ((0.0, 0.0), (1.5, 10.0))
        for form in [(0, 0, 20, 20), ((0, 0), (20, 20)), ([0, 0, 20, 20],), (((0, 0), Vector2(20, 20)),)]:
            assert r.clip_line(*form) == ((0.0, 0.0), (10.0, 10.0))
        assert r.clip_line(10, 0, 10, 10) == ((10.0, 0.0), (10.0, 10.0))  # on an edge, as collide_point counts it
        assert r.clip_line(20, 20, 30, 30) == Rect(0, 0, -10, 0).clip_line(1, 1, 2, 2) == r.clip_line(1, math.nan, 2, 2) == ()
        assert Rect(10, 10, -10, -10).clip_line(-5, 5, 15, 5) == ((0.0, 5.0), (10.0, 5.0))
        assert Rect(0, 0, 0.5, 0.5).clip_line(-1, 0.25, 1, 0.25) == ((0.0, 0.25), (0.5, 0.25))
        for args, exc, msg in [((5,), TypeError, "line must be a tuple or list of 2 points or 4 numbers, not int"),
                               ((1, 2, 3), TypeError, "clip_line() takes 1, 2 or 4 positional arguments (3 given)"),
                               (((1, 2), "a"), TypeError, "p2 must be a Vector2, tuple or list of 2 numbers, not str")]:
            with raises(exc, msg):
                r.clip_line(*args)
