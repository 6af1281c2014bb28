"""Rect: construction forms, edge and centre properties, collision tests with their precision and
comparison order, the sequence protocol, and the table slots with subclass override dispatch."""

import math
import pickle
import re
import struct

import pytest

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
