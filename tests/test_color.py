"""Color: saturating channels, raylib-backed equality/tint/packing, normalised forms, the live
channel generator, and the table slots a native module calls (overridable ones included)."""

import copy
import math
import pickle
import re

import pytest

import vantor._testclient as client
from vantor.color.color import Color
from vantor.vector4.vector4 import Vector4

PICKLING = "Pickling of struct members such as self._raw must be explicitly requested with @auto_pickle(True)"


def channels(c):
    return (c.r, c.g, c.b, c.a)


def raises(exc, msg):
    return pytest.raises(exc, match="^" + re.escape(msg) + "$")


def convertible(**methods):
    return type("N", (), {f"__{k}__": (lambda v: lambda self: v)(v) for k, v in methods.items()})()


class Sub(Color):
    pass


class TestConstruction:
    @pytest.mark.parametrize(
        "value, expected",
        [
            (0, 0), (255, 255), (256, 255), (-1, 0), (2**31 - 1, 255), (-(2**31), 0),
            (True, 1), (12.9, 12), (-0.5, 0), (255.9, 255), (1e9, 255),
            (convertible(int=300), 255), (convertible(int=7, index=9, float=11.0), 7),
        ],
    )
    def test_channel_conversion_saturates(self, value, expected):
        assert channels(Color(value, value, value, value)) == (expected,) * 4
        c = Color(0, 0, 0)
        c.g = value
        c.alpha = value
        assert (c.g, c.a) == (expected, expected)

    @pytest.mark.parametrize(
        "value, exc, msg",
        [
            (2**31, OverflowError, None),
            (-(2**31) - 1, OverflowError, None),
            ("1", TypeError, "an integer is required"),
            (None, TypeError, "an integer is required"),
            (convertible(index=3), TypeError, "an integer is required"),
            (convertible(int="7"), TypeError, "__int__ returned non-int (type str)"),
            (math.nan, ValueError, None),
            (math.inf, OverflowError, None),
        ],
    )
    def test_conversion_failures_leave_the_colour(self, value, exc, msg):
        c = Color(1, 2, 3, 4)
        with pytest.raises(exc) as e:
            c.__init__(5, 6, value)
        if msg:
            assert str(e.value) == msg
        with pytest.raises(exc):
            c.b = value
        with pytest.raises(exc):
            Color(value, 0, 0)
        assert channels(c) == (1, 2, 3, 4)

    def test_int_subclass_from_dunder_int_warns_and_is_used(self):
        with pytest.warns(DeprecationWarning) as w:
            c = Color(convertible(int=True), 0, 0)
        assert c.r == 1
        assert str(w[0].message) == (
            "__int__ returned non-int (type bool).  The ability to return an instance of a strict subclass "
            "of int is deprecated, and may be removed in a future version of Python."
        )

    @pytest.mark.parametrize(
        "args, kwargs, msg",
        [
            ((1, 2), {}, "__init__() takes at least 3 positional arguments (2 given)"),
            ((1, 2, 3, 4, 5), {}, "__init__() takes at most 4 positional arguments (5 given)"),
            ((), {"g": 1, "b": 2}, "__init__() takes at least 3 positional arguments (0 given)"),
            ((1,), {"b": 2}, "__init__() takes at least 3 positional arguments (1 given)"),
            ((1, 2, 3), {"x": 1}, "__init__() got an unexpected keyword argument 'x'"),
            ((1, 2, 3), {"r": 1}, "__init__() got multiple values for keyword argument 'r'"),
            ((1, 2, 3), {f"k{i}": 1 for i in range(20)}, "__init__() got an unexpected keyword argument 'k0'"),
        ],
    )
    @pytest.mark.parametrize("cls", [Color, Sub])
    def test_binding_messages(self, cls, args, kwargs, msg):
        with raises(TypeError, msg):
            cls(*args, **kwargs)

    @pytest.mark.parametrize("cls", [Color, Sub])
    def test_forms(self, cls):
        # Color itself takes a fast path, a subclass goes through __new__ and __init__: same results
        assert channels(cls(1, 2, 3)) == (1, 2, 3, 255)
        assert channels(cls(r=1, g=2, b=3, a=4)) == (1, 2, 3, 4)
        assert channels(cls(1, 2, b=3, a=4)) == (1, 2, 3, 4)
        assert channels(cls.__new__(cls)) == (0, 0, 0, 0)
        assert type(cls(1, 2, 3)) is cls

    def test_text_length_truth(self):
        assert repr(Color(1, 22, 255, 0)) == str(Color(1, 22, 255, 0)) == "Color(1, 22, 255, 0)"
        assert repr(Sub(1, 2, 3)) == "Color(1, 2, 3, 255)"
        assert len(Color(0, 0, 0, 0)) == 4 and bool(Color(0, 0, 0, 0))
        with pytest.raises(TypeError):
            Color(1, 2, 3)[0]
        with pytest.raises(TypeError):
            hash(Color(1, 2, 3))

    def test_properties(self):
        c = Color(1, 2, 3, 4)
        assert (c.red, c.green, c.blue, c.alpha) == (1, 2, 3, 4)
        c.red, c.blue = 300, -7
        assert channels(c) == (255, 2, 0, 4)
        for name in ("r", "alpha"):
            with raises(NotImplementedError, "__del__"):
                delattr(c, name)
        with pytest.raises(AttributeError):
            c.x = 1


def floor_tint(a, b):
    return a * b // 255


class TestRaylibOperations:
    VALUES = [0, 1, 2, 127, 128, 129, 254, 255]

    def test_tint_is_the_floor_of_the_scaled_product(self):
        for a in self.VALUES:
            for b in self.VALUES:
                t = Color(a, b, a, b).tint(Color(b, a, 255, 0))
                assert type(t) is Color
                assert channels(t) == (floor_tint(a, b), floor_tint(b, a), floor_tint(a, 255), 0)
        assert channels(Color(200, 100, 50, 255).tint(Color(128, 255, 0, 128))) == (100, 100, 0, 128)
        assert type(Sub(1, 2, 3).tint(Sub(4, 5, 6))) is Color

    @pytest.mark.parametrize(
        "rgba, packed",
        [((0, 0, 0, 255), 255), ((18, 52, 86, 120), 305419896), ((255, 0, 0, 255), -16776961),
         ((255, 255, 255, 255), -1), ((127, 255, 255, 255), 2147483647), ((128, 0, 0, 0), -(2**31))],
    )
    def test_to_int_packs_rgba_as_signed_32_bit(self, rgba, packed):
        assert Color(*rgba).to_int() == packed

    def test_equality(self):
        assert Color(1, 2, 3) == Color(1, 2, 3, 255) and Color(1, 2, 3).equal(Sub(1, 2, 3, 255))
        for i in range(4):
            other = [1, 2, 3, 255]
            other[i] -= 1
            assert Color(1, 2, 3) != Color(*other) and not Color(1, 2, 3).equal(Color(*other))
        with pytest.raises(TypeError):
            Color(1, 2, 3) < Color(4, 5, 6)

    def test_comparison_with_other_types_falls_back_to_identity(self):
        c = Color(1, 2, 3)
        assert not (c == (1, 2, 3, 255)) and c != (1, 2, 3, 255)
        assert not (5 == c) and c != None  # noqa: E711
        assert c not in [None, (1, 2, 3, 255), 5] and c in [None, Color(1, 2, 3)]

    @pytest.mark.parametrize("bad, name", [((1, 2, 3, 4), "tuple"), (None, "NoneType")])
    def test_typed_parameters(self, bad, name):
        expected = "vantor.color.color.Color"
        with raises(TypeError, f"Argument 'other' has incorrect type (expected {expected}, got {name})"):
            Color(1, 2, 3).equal(bad)
        with raises(TypeError, f"Argument 'tint' has incorrect type (expected {expected}, got {name})"):
            Color(1, 2, 3).tint(bad)
        with raises(TypeError, f"Argument 'vector' has incorrect type (expected vantor.vector4.vector4.Vector4, got {name})"):
            Color.from_normalized(bad)


class TestNormalisedForms:
    def test_normalize_multiplies_by_the_nearest_double_to_one_255th(self):
        k = 0.00392156862745098
        for v in range(256):
            assert Color(v, 0, 0, 0).normalize().x == v * k
        assert Color(33, 0, 0).normalize().x != 33 / 255  # the product, not the quotient
        n = Color(255, 128, 0, 51).normalize()
        assert type(n) is Vector4 and n == Vector4(1.0, 0.5019607843137255, 0.0, 0.2)

    @pytest.mark.parametrize(
        "component, channel",
        [(0.5, 127), (1.0, 255), (-0.2, 0), (2.0, 255), (1 / 255, 1), (0.99999, 254),
         (math.nan, 0), (math.inf, 255), (-math.inf, 0), (1e300, 255), (-1e300, 0), (8421504.5, 255)],
    )
    def test_from_normalized_truncates_and_saturates(self, component, channel):
        c = Color.from_normalized(Vector4(component, component, 0, 1))
        assert channels(c) == (channel, channel, 0, 255)
        assert channels(Color(1, 2, 3).from_normalized(Vector4(0, 0, 0, component))) == (0, 0, 0, channel)

    def test_round_trip_truncates_the_scaled_product(self):
        k = 0.00392156862745098
        for v in range(256):
            back = int(255.0 * (v * k))  # 33 comes back as 32: 255 * (33 * k) is just below 33
            assert Color.from_normalized(Color(v, v, v, v).normalize()) == Color(back, back, back, back)
        assert Color.from_normalized(Color(33, 0, 0).normalize()).r == 32

    @pytest.mark.parametrize(
        "alpha, a", [(0.5, 127), (0.999, 254), (1.7, 255), (-3, 0), (math.nan, 0), (1, 255), (0, 0), (True, 255)]
    )
    def test_fade_sets_alpha_only(self, alpha, a):
        c = Color(10, 20, 30, 40)
        assert c.fade(alpha) is None
        assert channels(c) == (10, 20, 30, a)

    def test_fade_conversion_error(self):
        with pytest.raises(TypeError):
            Color(1, 2, 3).fade("x")


class TestIteration:
    def test_channels_are_read_when_yielded(self):
        c = Color(1, 2, 3, 4)
        it = iter(c)
        assert (it.__name__, it.__qualname__) == ("__iter__", "Color.__iter__")
        assert next(it) == 1
        c.g, c.a = 9, 7
        assert list(it) == [9, 3, 7]
        assert list(c) == [1, 9, 3, 7]
        assert 9 in c and 4 not in c

    def test_generator_protocol(self):
        it = iter(Color(1, 2, 3, 4))
        with raises(TypeError, "can't send non-None value to a just-started generator"):
            it.send(1)
        assert it.send(None) == 1 and it.send("after start") == 2
        it.close()
        assert list(it) == []
        it = iter(Color(1, 2, 3, 4))
        with raises(TypeError, "throw expected at most 3 arguments, got 4"):
            it.throw(KeyError, None, None, None)
        with pytest.raises(KeyError):
            it.throw(KeyError("k"))
        assert list(it) == []

    def test_generator_keeps_the_colour_alive(self):
        it = iter(Color(5, 6, 7, 8))
        assert list(it) == [5, 6, 7, 8]


class TestFunctionsAndPickling:
    def test_methods_are_function_objects_with_annotations(self):
        annotations = {"tint": "Color", "normalize": "Vector4", "equal": "bool"}
        for name in ("from_normalized", "tint", "normalize", "equal", "fade", "to_int"):
            f = getattr(Color, name)
            assert (f.__name__, f.__qualname__, f.__module__) == (name, f"Color.{name}", "vantor.color.color")
            expected = {"return": annotations[name]} if name in annotations else {}
            assert f.__annotations__ == expected
        assert type(Color.__dict__["from_normalized"]) is staticmethod
        assert Color.tint(Color(2, 2, 2), Color(255, 255, 255)) == Color(2, 2, 2)
        with pytest.raises(TypeError):
            Color.tint(5, Color(1, 1, 1))

    @pytest.mark.parametrize(
        "call",
        [lambda c: pickle.dumps(c), copy.copy, copy.deepcopy, lambda c: c.__reduce__(), lambda c: c.__setstate__({})],
    )
    def test_pickling_and_copying_are_refused(self, call):
        with raises(TypeError, PICKLING):
            call(Color(1, 2, 3))

    def test_refusers_check_their_arguments_first(self):
        with raises(TypeError, "__setstate__() takes exactly 1 positional argument (0 given)"):
            Color(1, 2, 3).__setstate__()
        with raises(TypeError, "__reduce__() takes exactly 0 positional arguments (1 given)"):
            Color(1, 2, 3).__reduce__(1)


class Overriding(Color):
    def __init__(self, *args):
        super().__init__(*args)
        self.calls = []

    def fade(self, alpha):
        self.calls.append(alpha)
        super().fade(alpha / 2)

    def to_int(self):
        return 42


class TestTableSlots:
    def test_constructor_and_record_slots(self):
        assert channels(client.color_slot("new", 300, -5, 7, 2**31 - 1)) == (255, 0, 7, 255)
        assert client.color_slot("c_equal", Color(1, 2, 3), Sub(1, 2, 3)) is True
        assert client.color_slot("c_tint", Color(200, 100, 50), Color(128, 255, 0, 128)) == Color(100, 100, 0, 128)
        assert client.color_slot("c_normalize", Color(255, 0, 0, 0)) == Vector4(1, 0, 0, 0)

    def test_flag_one_computes_directly_even_for_an_override(self):
        c = Overriding(1, 2, 3, 4)
        client.color_slot("fade", c, 0.5, 1)
        assert c.a == 127 and c.calls == []
        assert client.color_slot("to_int", c, 1) == Color(1, 2, 3, 127).to_int()

    def test_flag_zero_calls_a_python_override(self):
        c = Overriding(1, 2, 3, 4)
        client.color_slot("fade", c, 0.5, 0)
        assert c.calls == [0.5] and c.a == 63
        assert client.color_slot("to_int", c, 0) == 42

    def test_flag_zero_without_override_computes_directly(self):
        for c in (Color(1, 2, 3, 4), Sub(1, 2, 3, 4)):
            client.color_slot("fade", c, 1.0, 0)
            assert c.a == 255
            assert client.color_slot("to_int", c, 0) == (1 << 24) | (2 << 16) | (3 << 8) | 255

    def test_override_errors_reach_the_caller(self):
        class Broken(Color):
            def fade(self, alpha):
                raise KeyError(alpha)

            def to_int(self):
                return "packed"

        b = Broken(1, 2, 3)
        with pytest.raises(KeyError):
            client.color_slot("fade", b, 0.25, 0)
        with raises(TypeError, "an integer is required"):
            client.color_slot("to_int", b, 0)
        assert b.a == 255
