"""Runs the Cython client built from this folder against the installed vantor."""

import struct
import warnings

# Cython compares each vantor type's instance size with the one its .pxd declares when the client
# is imported, and only warns when the real one is larger: here any difference is an error.
with warnings.catch_warnings():
    warnings.filterwarnings("error", message=r".*size changed, may indicate binary incompatibility")
    import cython_client as cc

from vantor.color.color import Color
from vantor.image.image import Image
from vantor.rect.rect import Rect
from vantor.runecell.runecell import GlyphInfo
from vantor.vector2.vector2 import Vector2
from vantor.vector3.vector3 import Vector3
from vantor.vector4.vector4 import Vector4


def f32(x):
    """x rounded to single precision, as a Vector2 or Vector3 stores it."""
    return struct.unpack("f", struct.pack("f", x))[0]


def raises(exc_type, message, fn, *args):
    """fn(*args) raises exc_type with this message."""
    try:
        fn(*args)
    except exc_type as e:
        assert str(e) == message, (fn.__name__, str(e))
    else:
        raise AssertionError(f"{fn.__name__}{args} did not raise {exc_type.__name__}")


# Vector2: every entry of the table.
built = cc.vector2_constructors()
assert built == {
    "new": Vector2(0.1, 2.0),
    "new x": f32(0.1),
    "cfrom_struct": Vector2(0.5, -2.5),
    "cfrom_list": Vector2(3, 4.5),
    "cfrom_ints": Vector2(7, -8),
    "cfrom_floats": Vector2(0.25, 1e-3),
    "cfrom_tuple": Vector2(5, 6),
    "cfrom_vector2": Vector2(0.1, 2.0),
    "cfrom_xy": Vector2(2**24, -0.5),
}, built
assert built["new x"] == 0.10000000149011612 and built["cfrom_floats"].y == f32(1e-3)
assert built["cfrom_xy"].x == 16777216.0
assert built["cfrom_vector2"] is not built["new"]
assert type(built["new"]) is Vector2
raises(IndexError, "tuple index out of range", cc.vector2_from_tuple, (1.0,))
raises(TypeError, "must be real number, not str", cc.vector2_from_tuple, ("x", 1))

a, b = Vector2(3, 4), Vector2(1, 2)
arithmetic = cc.vector2_arithmetic(a, b)
assert arithmetic == {
    "_add": Vector2(4, 6),
    "_sub": Vector2(2, 2),
    "_iadd": Vector2(4, 6),  # a + b
    "_isub": Vector2(3, 4),  # ... - b
    "_imul": Vector2(3, 8),  # ... * b, componentwise
    "_sadd": Vector2(2, 4),  # b + b
    "sadd": Vector2(4, 6),  # a + b
    "distance_to": 8**0.5,
    "distance_squared_to": 8.0,
    "dot": 11.0,
}, arithmetic
assert (a, b) == (Vector2(3, 4), Vector2(1, 2)), "the arguments were changed"
# Products and sums stay in float32.
assert cc.vector2_arithmetic(Vector2(0.1, 0), Vector2(0.1, 0))["dot"] == f32(f32(0.1) * f32(0.1))

v = Vector2(-2.5, 6)  # length 6.5, exactly
unary = cc.vector2_unary(v)
normalized = Vector2(-2.5 / 6.5, 6 / 6.5)
assert unary == {
    "get_tuple": (-2.5, 6.0),
    "c_get_tuple": (-2.5, 6.0),
    "get_int_tuple": (-2, 6),  # toward zero
    "get_rounded_tuple": (-3, 6),  # halves away from zero
    "get_round": Vector2(-3, 6),
    "get_abs": Vector2(2.5, 6),
    "get_neg": Vector2(2.5, -6),
    "get_normalized": normalized,
    "copy is new": True,
    "to_round": (True, Vector2(-3, 6)),
    "to_abs": (True, Vector2(2.5, 6)),
    "to_neg": (True, Vector2(2.5, -6)),
    "to_normalized": (True, normalized),
}, unary
assert v == Vector2(-2.5, 6), "the argument was changed"
raises(ValueError, "cannot convert a NaN component to an integer", cc.vector2_unary, Vector2(float("nan"), 0))

moved = Vector2(1, 1)
assert cc.vector2_move(moved, 0.5) is moved and moved == Vector2(1.5, 1)

# Vector3 (float32) and Vector4 (float64).
total, summed, cross, dot = cc.vector3_cross((1, 0, 0), (0, 1, 0.1))
assert (total, summed, cross, dot) == (Vector3(1, 1, 0.1), Vector3(1, 1, 0.1), Vector3(0, -f32(0.1), 1), 0.0)
assert type(cross) is Vector3
raises(IndexError, "tuple index out of range", cc.vector3_cross, (1, 2), (3, 4, 5))
assert cc.vector4_record(0.1, 0, 0, 0) == (1.1, ((1.1 * 1.1 + 1) + 1) + 1, (1.1, 1.0, 1.0, 1.0))

# Color: every entry; each channel saturates to 0..255.
tint = Color(128, 255, 0, 128)
colour = cc.color_entries(300, 128, -5, 255, tint)
normalized = colour["c_normalize"]
assert colour == {
    "new": Color(255, 128, 0, 255),
    "channels": (255, 128, 0, 255),
    "c_equal self": True,
    "c_equal tint": False,
    "c_normalize": normalized,
    "c_tint": Color(128, 128, 0, 128),  # channel * tint // 255
    "to_int": 0xFF8000FF - 2**32,  # raylib packs 0xRRGGBBAA into a C int
    "fade": Color(255, 128, 0, 127),  # alpha 255 * 0.5, truncated
}, colour
assert type(normalized) is Vector4 and normalized == Color(255, 128, 0, 255).normalize()
assert normalized.x == 1.0 and abs(normalized.y - 128 / 255) < 1e-15 and normalized.z == 0.0
assert cc.color_entries(1, 2, 3, 4, Color(1, 2, 3, 4))["c_equal tint"] is True
assert cc.color_to_int(Color(100, 100, 0, 128)) == 0x64640080
assert cc.color_fade(Color(1, 2, 3, 4), 2.0) == Color(1, 2, 3, 255)  # alpha clamped to 1


class Packed(Color):
    def to_int(self):
        return 7


class Broken(Color):
    def to_int(self):
        raise KeyError("to_int")

    def fade(self, alpha):
        raise KeyError("fade")


# Called from Cython, the entries honour a Python subclass's override, and its exception.
assert cc.color_to_int(Packed(1, 2, 3)) == 7
raises(KeyError, "'to_int'", cc.color_to_int, Broken(1, 2, 3))
raises(KeyError, "'fade'", cc.color_fade, Broken(1, 2, 3), 0.5)

# Rect: every entry.
rect = cc.rect_entries(0, 0, 10, 20)
assert rect == {
    "new": Rect(0, 0, 10, 20),
    "record": {"x": 0.0, "y": 0.0, "width": 10.0, "height": 20.0},
    "get_width": 10.0,
    "get_height": 20.0,
    "collide_point": True,  # the far corner
    "collide_point_vector2": False,  # left of the rectangle
    "collide_point_tuple": True,  # the near corner
    "collide_point_list": False,  # below it
    "collide_rect": False,  # touching on the right edge
    "collide_rect_vector4": True,
    "collide_rect_rect": True,
    "collide_rect_tuple": True,
    "collide_rect_list": False,  # touching at a corner
    "get_vector4": Vector4(0, 0, 10, 20),
    "get_tuple": (0.0, 0.0, 10.0, 20.0),
}, rect
assert type(rect["get_vector4"]) is Vector4
assert cc.rect_entries(0.1, 0, 1, 1)["record"]["x"] == f32(0.1)
raises(ValueError, "Point must be a Vector2, tuple, or list of length 2", cc.rect_collide_point, rect["new"], (1, 2, 3))


class Wide(Rect):
    def get_width(self):
        return "wide"

    def collide_point(self, point):
        raise KeyError("collide_point")


assert cc.rect_width(Wide(0, 0, 1, 1)) == "wide"
raises(KeyError, "'collide_point'", cc.rect_collide_point, Wide(0, 0, 1, 1), (0, 0))

# The parser functions.
assert cc.parse((1, 2), [300, -5, 7], Rect(1, 2, 3, 4)) == (
    {"x": 1.0, "y": 2.0},
    {"r": 255, "g": 0, "b": 7, "a": 255},
    {"x": 1.0, "y": 2.0, "width": 3.0, "height": 4.0},
)
assert cc.parse(Vector2(0.1, 0), Color(1, 2, 3, 4), range(4))[0] == {"x": f32(0.1), "y": 0.0}
raises(ValueError, "tuple for vector2-like argument must have only 2 elements.", cc.parse, (1, 2, 3), (0, 0, 0), (0, 0, 1, 1))
raises(TypeError, "color-like argument must be Color, or any sequence, got int.", cc.parse, (1, 2), 5, (0, 0, 1, 1))
assert (cc.alpha_of(Color(1, 2, 3, 4)), cc.alpha_of((1, 2, 3)), cc.alpha_of(b"\x01\x02\x03\x04")) == (4, 255, 4)
raises(ValueError, "tuple for color-like argument must have only 3-4 elements.", cc.alpha_of, (1, 2))

# Image and GlyphInfo.
g = cc.glyph(65, 2)
assert type(g["glyph"]) is GlyphInfo and type(g["image"]) is Image
assert (g["value"], g["advanceX"], g["pixels kept"], g["flags"]) == (65, 3, True, (0, 1, 0)), g
assert (g["image"].width, g["image"].height, g["image"].mipmaps, g["image"].format) == (2, 2, 1, 1)
raises(ValueError, "invalid image dimensions -1x2 with 1 mipmaps", cc.glyph, 65, -1)

print("cython_client: ok")
