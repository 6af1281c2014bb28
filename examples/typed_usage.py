"""vantor as a typed program uses it: every type, checked by `mypy --strict` against the package's
stubs (scripts/check-typing does both that and running it). `assert_type` makes mypy confirm each
inferred type; at run time it does nothing, and the asserts check the values."""

import copy
import pickle
from typing import assert_type

from vantor.color.color import Color
from vantor.colors.colors import Colors
from vantor.rect.rect import Rect
from vantor.runecell.runecell import GlyphInfo
from vantor.vector2.vector2 import Vector2
from vantor.vector3.vector3 import Vector3
from vantor.vector4.vector4 import Vector4


def describe(value: Vector2 | Color | Rect) -> str:
    """A match statement binds components, channels and fields positionally."""
    match value:
        case Vector2(0.0, 0.0):
            return "the origin"
        case Vector2(x, y):
            return f"the point ({x}, {y})"
        case Color(r, g, b, 255):
            return f"opaque rgb({r}, {g}, {b})"
        case Color(a=alpha):
            return f"a colour with alpha {alpha}"
        case Rect(x, y, width, height):
            return f"{width} x {height} at ({x}, {y})"


def vectors() -> None:
    a = Vector2(3, 4)
    b = Vector2.from_tuple((1.0, 2.0))
    assert_type(a + b, Vector2)
    assert_type(a * 2, Vector2)
    assert_type(a / 2.0, Vector2)
    assert_type(a // b, Vector2)
    assert_type(-a, Vector2)
    assert a.length == 5.0 and a.dot(b) == 11.0
    assert_type(a.length, float)
    assert_type(a.dot(other=b), float)
    a += b
    a -= Vector2(1, 1)
    a *= Vector2(2, 2)
    a /= 2
    assert a == Vector2(3, 5)
    assert_type(a.yx, Vector2)
    assert a.yx.get_tuple() == (5.0, 3.0)
    assert_type(a.get_int_tuple(), tuple[int, int])
    assert_type(a.data, dict[str, float])
    a.data = {"x": 1, "y": 2.5}
    a.x = 7
    a[1] = 0.5
    assert (a[0], a.y) == (7.0, 0.5)
    assert [c for c in a] == [7.0, 0.5]
    assert a.to_round() is a and a == Vector2(7, 1)
    assert Vector2([1, 2]) == Vector2.from_list([1.0, 2.0]) == Vector2.from_ints(1, 2)
    assert copy.deepcopy(a) == a.copy() == Vector2(a)
    assert hash(Vector2(1, 2)) == hash((1.0, 2.0))

    u, w = Vector3(1, 0, 0), Vector3.from_xyz(x=0, y=1, z=0)
    assert_type(u.cross(w), Vector3)
    assert u.cross(w) == Vector3(0, 0, 1)
    assert_type(Vector3(1, 2, 3).zyx, Vector3)
    assert Vector3(1, 2, 3).zyx.get_tuple() == (3.0, 2.0, 1.0)

    q = Vector4(1, 2, 3, 4)
    assert_type(q.wzyx, Vector4)
    assert q.wzyx == Vector4.from_xyzw(4, 3, 2, 1)
    assert abs(q.get_normalized().length - 1.0) < 1e-12

    # The buffer protocol: a view of the components themselves.
    view = memoryview(Vector2(1.5, -2))
    assert_type(view, memoryview)
    assert (view.format, view.tolist()) == ("f", [1.5, -2.0])
    assert memoryview(q).format == "d"

    assert describe(Vector2()) == "the origin"
    assert describe(Vector2(1, 2)) == "the point (1.0, 2.0)"


def colours() -> None:
    c = Color(300, 128, -5)
    assert (c.r, c.g, c.b, c.a) == (255, 128, 0, 255)
    palette = Colors()
    assert_type(palette.Gray, Color)
    tinted = c.tint(palette.Gray)
    assert_type(tinted, Color)
    assert tinted == Color(128, 64, 0, 255)
    assert_type(c.normalize(), Vector4)
    assert Color.from_normalized(c.normalize()).equal(c)
    c.fade(0.5)
    assert c.alpha == 127
    c.green = 1.9
    assert list(c) == [255, 1, 0, 127]
    assert_type(c.to_int(), int)
    assert memoryview(c).tolist() == [255, 1, 0, 127]
    palette.Red = None
    del palette.Blue
    palette.Green = Color(0, 255, 0)
    assert describe(Color(1, 2, 3)) == "opaque rgb(1, 2, 3)"
    assert describe(c) == "a colour with alpha 127"


def rectangles() -> None:
    r = Rect(0, 0, 10, 20)
    assert Rect((0, 0), (10, 20)) == Rect(Vector2(0, 0), [10, 20]) == Rect(Vector4(0, 0, 10, 20)) == r
    assert_type(r.center, Vector2)
    assert r.center == Vector2(5, 10)
    assert r.collide_point((10, 20)) and r.collide_point_vector2(Vector2(1, 1))
    assert r.collide_rect(Rect(9, 19, 5, 5)) and not r.collide_rect_rect(Rect(10, 0, 5, 5))
    assert r.collide_rect_tuple((1, 1, 1, 1)) and r.collide_point_list([0, 0])
    assert_type(r.get_vector4(), Vector4)
    r.center = (0, 0)
    r.right = 15
    assert (r.x, r.y, r.right, r.bottom) == (5.0, -10.0, 15.0, 10.0)
    assert r[2] == r.width == r.get_width()
    assert memoryview(r).tolist() == [5.0, -10.0, 10.0, 20.0]
    assert describe(Rect(1, 2, 3, 4)) == "3.0 x 4.0 at (1.0, 2.0)"


def refusals() -> None:
    # No type pickles; from Python a glyph can only be made empty.
    for value in (Vector2(), Color(0, 0, 0), Rect(), GlyphInfo()):
        try:
            pickle.dumps(value)
        except TypeError:
            pass
        else:
            raise AssertionError(f"{value!r} pickled")


if __name__ == "__main__":
    vectors()
    colours()
    rectangles()
    refusals()
    print("typed usage: all checks passed")
