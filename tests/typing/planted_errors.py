"""Mistakes the stubs must make mypy report: scripts/check-typing runs `mypy --strict` on this file
and requires exactly the errors marked `# error: [code]`, on exactly those lines. Never run."""

from vantor.color.color import Color
from vantor.colors.colors import Colors
from vantor.rect.rect import Rect
from vantor.vector2.vector2 import Vector2

v = Vector2(1, 2)
twice = 2 * v  # error: [operator]
v *= 2  # error: [arg-type]
v.yx = Vector2(2, 1)  # error: [misc]
w = Vector2(x=1, y=2)  # error: [call-overload]
sum_ = v + (1, 2)  # error: [operator]
tinted = Color(1, 2, 3).tint((4, 5, 6))  # error: [arg-type]
Colors().Red = (255, 0, 0)  # error: [assignment]
hit = Rect(0, 0, 1, 1).collide_rect_rect((0, 0, 1, 1))  # error: [arg-type]

# What these lines do is fine: no error may be reported for them.
v *= Vector2(2, 2)
v /= 2
Colors().Red = None
ok = Rect(0, 0, 1, 1).collide_rect((0, 0, 1, 1))
