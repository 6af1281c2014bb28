"""Color: saturating channels, raylib-backed equality/tint/packing, normalised forms, the live
channel generator, and the table slots a native module calls (overridable ones included)."""

import copy
import math
import pickle
import re
import struct

import pytest
from hypothesis import given
from hypothesis import strategies as st

import vantor._testclient as client
from vantor.color.color import Color
from vantor.vector3.vector3 import Vector3
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


# ---- the colour toolbox: raylib's colour functions, modelled in float32 (each operation rounded
# once, as C's float arithmetic rounds it) and in integers.


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def clamp(x, lo, hi):
    return lo if x < lo else hi if x > hi else x


def model_lerp(c, d, t):
    t = clamp(f32(t), 0.0, 1.0)
    return tuple(int(f32(f32(f32(1 - t) * p) + f32(t * q))) for p, q in zip(c, d))


def model_brightness(c, k):
    k = clamp(f32(k), -1.0, 1.0)
    rgb = [f32(v * f32(1 + k)) if k < 0 else f32(f32((255 - v) * k) + v) for v in c[:3]]
    return (*map(int, rgb), c[3])


def model_contrast(c, k):
    k = f32(1 + clamp(f32(k), -1.0, 1.0))
    k = f32(k * k)
    return (*(int(clamp(f32(f32(f32(f32(f32(v / 255) - 0.5) * k) + 0.5) * 255), 0.0, 255.0)) for v in c[:3]), c[3])


def model_alpha_blend(dst, src, tint):
    # raylib's integer steps, the last one saturating at 255 where raylib's byte cast would wrap.
    src = [s * (t + 1) >> 8 for s, t in zip(src, tint)]
    if src[3] in (0, 255):
        return tuple(src) if src[3] else tuple(dst)
    a = src[3] + 1
    out_a = (a * 256 + dst[3] * (256 - a)) >> 8
    return (*(min((s * a * 256 + d * dst[3] * (256 - a)) // out_a >> 8, 255) for s, d in zip(src, dst[:3])), out_a)


def model_hsv(c):
    r, g, b = (f32(v / 255) for v in c[:3])
    lo, hi = min(r, g, b), max(r, g, b)
    delta = f32(hi - lo)
    if delta < f32(0.00001):
        return (0.0, 0.0, hi)
    def part(p, q):
        return f32(f32(p - q) / delta)

    h = part(g, b) if r >= hi else f32(2 + part(b, r)) if g >= hi else f32(4 + part(r, g))
    h = f32(h * 60)
    return (f32(h + 360) if h < 0 else h, f32(delta / hi), hi)


channel = st.integers(0, 255)
rgba = st.tuples(channel, channel, channel, channel)
factor = st.one_of(st.floats(-1.5, 1.5), st.sampled_from([0.0, 0.5, 1.0, -1.0, 1 / 3, math.inf, -math.inf]))


class TestToolbox:
    @given(rgba, rgba, rgba, factor, st.sampled_from([Color, Sub]), st.sampled_from([tuple, list, Color]))
    def test_members_match_raylib_models(self, c, d, e, k, cls, form):
        def arg(ch):  # a Color, or a tuple or list: three channels when opaque
            return Color(*ch) if form is Color else form(ch[:3] if ch[3] == 255 else ch)

        self_, other, tint = cls(*c), arg(d), arg(e)
        results = {
            "lerp": (self_.lerp(other, k), model_lerp(c, d, k)),
            "brightness": (self_.brightness(k), model_brightness(c, k)),
            "contrast": (self_.contrast(k), model_contrast(c, k)),
            "alpha_blend": (self_.alpha_blend(other, tint), model_alpha_blend(c, d, e)),
            "from_hex": (Color.from_hex(self_.hex), c),
            "from_hex upper": (Color.from_hex("0X" + self_.hex[1:].upper()), c),
            "from_int": (Color.from_int(self_.to_int()), c),
            "from_int unsigned": (Color.from_int(self_.to_int() % 2**32), c),
        }
        for name, (got, want) in results.items():
            assert type(got) is Color and tuple(got) == want, name
        hsv = self_.to_hsv()
        assert type(hsv) is Vector3 and tuple(hsv) == model_hsv(c)
        back = Color.from_hsv(*hsv)
        assert back.a == 255 and all(abs(p - q) <= 1 for p, q in zip(back, c[:3]))
        assert self_.hex == "#%02x%02x%02x%02x" % c and tuple(self_) == c  # nothing changed in place
        if c[3] == 255:
            assert Color.from_hex(self_.hex[:7]) == self_

    def test_bad_arguments(self):
        c = Color(1, 2, 3)
        for call, exc, msg in [
            (lambda: c.lerp(None, 0.5), TypeError, "color-like argument must be Color, or any sequence, got NoneType."),
            (lambda: c.alpha_blend(5, c), TypeError, "color-like argument must be Color, or any sequence, got int."),
            (lambda: c.lerp((1, 2), 0.5), ValueError, "tuple for color-like argument must have only 3-4 elements."),
            (lambda: c.alpha_blend(c, [1, 2, 3, 4, 5]), ValueError,
             "list for color-like argument must have only 3-4 elements."),
            (lambda: c.lerp((1, 2, "3"), 0.5), TypeError, "an integer is required"),
            (lambda: c.lerp(c, math.nan), ValueError, "t must not be NaN"),
            (lambda: c.brightness(math.nan), ValueError, "factor must not be NaN"),
            (lambda: c.contrast(math.nan), ValueError, "amount must not be NaN"),
            (lambda: Color.from_hsv(-1, 0.5, 0.5), ValueError, "hue must be a finite number of degrees, 0 or more"),
            (lambda: Color.from_hsv(math.inf, 0.5, 0.5), ValueError,
             "hue must be a finite number of degrees, 0 or more"),
            (lambda: Color.from_hsv(0, 1.5, 0.5), ValueError, "saturation must be within 0..1"),
            (lambda: Color.from_hsv(0, 0.5, math.nan), ValueError, "value must be within 0..1"),
            (lambda: Color.from_hex(b"#010203"), TypeError,
             "Argument 'text' has incorrect type (expected str, got bytes)"),
            (lambda: Color.from_int(2**32), OverflowError, "value 4294967296 does not fit in 32 bits (-2**31..2**32-1)"),
            (lambda: Color.from_int(-(2**31) - 1), OverflowError,
             "value -2147483649 does not fit in 32 bits (-2**31..2**32-1)"),
            (lambda: Color.from_int(1.0), TypeError, "'float' object cannot be interpreted as an integer"),
        ]:
            with raises(exc, msg):
                call()
        for text in ["", "#", "010203", "#01020", "#0102030", "#010203040", "0Y010203", "#01020g", " #010203",
                     "#010203 ", "0x", "#+1020304", "#٠١٠٢٠٣"]:
            with raises(ValueError, f"invalid hex colour {text!r}: expected '#rrggbb' or '#rrggbbaa' ('0x' may "
                                    "stand for '#')"):
                Color.from_hex(text)
        with raises(ValueError, "invalid hex colour (a str of 41 characters): expected '#rrggbb' or '#rrggbbaa' "
                                "('0x' may stand for '#')"):
            Color.from_hex("#" + "0" * 40)

    def test_raylib_edges_kept(self):
        # Items convert like int() and saturate, from any sequence; from_hsv's hue wraps.
        assert Color(0, 0, 0).lerp([255.9, 300, -4, 255], 1) == Color(255, 255, 0, 255)
        assert Color(0, 0, 0).lerp(b"\xff\x00\x10", 1) == Color(255, 0, 16)
        assert Color.from_hsv(420, 1, 1) == Color.from_hsv(60, 1, 1) == Color(255, 255, 0)
        # where raylib's last step would wrap white over white to black, the channels saturate
        assert Color(255, 255, 255, 237).alpha_blend((255, 255, 255, 228), (255, 255, 255)) == Color(255, 255, 255, 253)
        assert Color(1, 2, 3, 4).alpha_blend((9, 9, 9, 0), Color(255, 255, 255)) == Color(1, 2, 3, 4)
