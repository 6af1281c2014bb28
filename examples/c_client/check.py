"""Runs the C client built from this folder against the installed vantor."""

import c_client
from vantor.color.color import Color
from vantor.rect.rect import Rect
from vantor.vector2.vector2 import Vector2

assert c_client.describe((1, 2), [300, -5, 7], Rect(1, 2, 3, 4)) == ((1.0, 2.0), (255, 0, 7, 255), (1.0, 2.0, 3.0, 4.0))
assert c_client.describe(Vector2(0.1, 0), Color(1, 2, 3, 4), (0, 0, 5, 5))[0] == (0.10000000149011612, 0.0)
try:
    c_client.describe((1, 2, 3), (0, 0, 0), (0, 0, 1, 1))
except ValueError as e:
    assert str(e) == "tuple for vector2-like argument must have only 2 elements.", e
else:
    raise AssertionError("a 3-tuple passed as a vector2-like argument")

moved, dot, inside = c_client.step(Vector2(1, 1), Vector2(2, 4), 0.5, Rect(0, 0, 2, 3))
assert (moved, dot, inside) == (Vector2(2, 3), 6.0, True), (moved, dot, inside)
assert c_client.step(Vector2(1, 1), Vector2(2, 4), 1.0, Rect(0, 0, 2, 3))[2] is False

tinted, packed = c_client.blend(Color(200, 100, 50, 255), Color(128, 255, 0, 128))
assert (tinted, packed) == (Color(100, 100, 0, 128), 0x64640080), (tinted, packed)
print("c_client: ok")
