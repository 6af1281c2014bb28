"""The benchmark suite, run from a clone: `python benchmarks/bench.py [--quick] [--save PATH]`
(scripts/run-bench provisions the interpreters and peers and runs it on both).

Times vantor's types next to what users pick instead: CPython's complex, plain Python classes with
__slots__, pygame-ce and PyGLM (whichever import). Every figure is nanoseconds per operation: the
best of several repeats, less the cost of an empty loop timed the same way. Each repeat runs every
implementation of every operation once, those of one operation one after another, so that a slow
spell of the machine hits them alike and the repeats of an operation spread over the whole run.
Before anything is timed, each implementation runs once and its result is compared with vantor's,
so that a row never puts different computations side by side.

It prints figures and never judges them; it exits non-zero only when an implementation raised or
computed something else than vantor. --save writes the run's machine, interpreter, libraries and
table as JSON, the recording the documentation's performance page is written from.
"""

from __future__ import annotations

import argparse
import colorsys
import datetime
import functools
import json
import math
import os
import platform
import random
import re
import statistics
import sys
import sysconfig
import threading
import time
import timeit
from dataclasses import dataclass, field
from typing import Any, Callable


def say(*args: object) -> None:
    print(*args, flush=True)


# Plain Python classes with the same operations as vantor's types, written as a user would.


class SlotsVector2:
    __slots__ = ("x", "y")

    def __init__(self, x, y):
        self.x = x
        self.y = y

    def __repr__(self):
        return f"SlotsVector2({self.x!r}, {self.y!r})"

    def __eq__(self, other):
        if not isinstance(other, SlotsVector2):
            return NotImplemented
        return self.x == other.x and self.y == other.y

    def __hash__(self):
        return hash((self.x, self.y))

    def __iter__(self):
        return iter((self.x, self.y))

    def __add__(self, other):
        return SlotsVector2(self.x + other.x, self.y + other.y)

    def __iadd__(self, other):
        self.x += other.x
        self.y += other.y
        return self

    def __mul__(self, k):
        return SlotsVector2(self.x * k, self.y * k)

    def dot(self, other):
        return self.x * other.x + self.y * other.y

    @property
    def length(self):
        return math.sqrt(self.x * self.x + self.y * self.y)

    def get_normalized(self):
        n = math.sqrt(self.x * self.x + self.y * self.y)
        return SlotsVector2(self.x / n, self.y / n) if n else SlotsVector2(0.0, 0.0)

    def to_neg(self):
        self.x = -self.x
        self.y = -self.y
        return self

    @property
    def yx(self):
        return SlotsVector2(self.y, self.x)

    def get_rotated(self, a):
        c, s = math.cos(a), math.sin(a)
        return SlotsVector2(self.x * c - self.y * s, self.x * s + self.y * c)

    def lerp(self, other, t):
        return SlotsVector2(self.x + (other.x - self.x) * t, self.y + (other.y - self.y) * t)

    def get_reflected(self, n):
        f = 2 * self.dot(n) / n.dot(n)
        return SlotsVector2(self.x - f * n.x, self.y - f * n.y)

    def get_moved_toward(self, target, d):
        dx, dy = target.x - self.x, target.y - self.y
        dist = math.hypot(dx, dy)
        if dist <= d or not dist:
            return SlotsVector2(target.x, target.y)
        return SlotsVector2(self.x + dx * d / dist, self.y + dy * d / dist)


class SlotsVector3:
    __slots__ = ("x", "y", "z")

    def __init__(self, x, y, z):
        self.x = x
        self.y = y
        self.z = z

    def __iter__(self):
        return iter((self.x, self.y, self.z))

    def __add__(self, other):
        return SlotsVector3(self.x + other.x, self.y + other.y, self.z + other.z)

    def __mul__(self, k):
        return SlotsVector3(self.x * k, self.y * k, self.z * k)

    def dot(self, other):
        return self.x * other.x + self.y * other.y + self.z * other.z

    def cross(self, other):
        return SlotsVector3(self.y * other.z - self.z * other.y, self.z * other.x - self.x * other.z,
                            self.x * other.y - self.y * other.x)

    @property
    def length(self):
        return math.sqrt(self.x * self.x + self.y * self.y + self.z * self.z)

    def get_normalized(self):
        n = math.sqrt(self.x * self.x + self.y * self.y + self.z * self.z)
        return SlotsVector3(self.x / n, self.y / n, self.z / n) if n else SlotsVector3(0.0, 0.0, 0.0)

    @property
    def zyx(self):
        return SlotsVector3(self.z, self.y, self.x)

    def get_rotated(self, axis, a):
        k = axis * (1 / axis.length)
        c, s = math.cos(a), math.sin(a)
        return self * c + k.cross(self) * s + k * (k.dot(self) * (1 - c))


class SlotsVector4:
    __slots__ = ("x", "y", "z", "w")

    def __init__(self, x, y, z, w):
        self.x = x
        self.y = y
        self.z = z
        self.w = w

    def __iter__(self):
        return iter((self.x, self.y, self.z, self.w))

    def __add__(self, other):
        return SlotsVector4(self.x + other.x, self.y + other.y, self.z + other.z, self.w + other.w)

    def __mul__(self, k):
        return SlotsVector4(self.x * k, self.y * k, self.z * k, self.w * k)

    def dot(self, other):
        return self.x * other.x + self.y * other.y + self.z * other.z + self.w * other.w

    @property
    def length(self):
        return math.sqrt(self.x * self.x + self.y * self.y + self.z * self.z + self.w * self.w)

    def get_normalized(self):
        n = self.length
        if not n:
            return SlotsVector4(0.0, 0.0, 0.0, 0.0)
        return SlotsVector4(self.x / n, self.y / n, self.z / n, self.w / n)

    @property
    def wzyx(self):
        return SlotsVector4(self.w, self.z, self.y, self.x)


def _channel(v):
    return min(max(int(v), 0), 255)


class SlotsColor:
    """RGBA8 whose channels saturate to 0..255, as vantor's Color."""

    __slots__ = ("r", "g", "b", "a")

    def __init__(self, r, g, b, a=255):
        self.r = _channel(r)
        self.g = _channel(g)
        self.b = _channel(b)
        self.a = _channel(a)

    def __iter__(self):
        return iter((self.r, self.g, self.b, self.a))

    def tint(self, t):
        # raylib's ColorTint: each channel scaled by the other colour's, truncated.
        return SlotsColor(self.r * t.r // 255, self.g * t.g // 255, self.b * t.b // 255, self.a * t.a // 255)

    def lerp(self, o, t):
        return SlotsColor(*((1 - t) * p + t * q for p, q in zip(self, o)))

    @staticmethod
    def from_hsv(h, s, v):
        return SlotsColor(*(x * 255 for x in colorsys.hsv_to_rgb(h / 360, s, v)))


class SlotsRect:
    """x, y, width, height; points on an edge collide, rectangles that only touch do not."""

    __slots__ = ("x", "y", "width", "height")

    def __init__(self, x, y, width, height):
        self.x = x
        self.y = y
        self.width = width
        self.height = height

    def __iter__(self):
        return iter((self.x, self.y, self.width, self.height))

    def get_width(self):
        return self.width

    @property
    def center(self):
        return SlotsVector2(self.x + self.width / 2, self.y + self.height / 2)

    def collide_point(self, p):
        if isinstance(p, SlotsVector2):
            px, py = p.x, p.y
        else:
            px, py = p
        return self.x <= px <= self.x + self.width and self.y <= py <= self.y + self.height

    def get_moved(self, dx, dy):
        return SlotsRect(self.x + dx, self.y + dy, self.width, self.height)

    def get_inflated(self, dw, dh):
        return SlotsRect(self.x - dw / 2, self.y - dh / 2, self.width + dw, self.height + dh)

    def get_clipped(self, o):
        x, y = max(self.x, o.x), max(self.y, o.y)
        w, h = min(self.x + self.width, o.x + o.width) - x, min(self.y + self.height, o.y + o.height) - y
        return SlotsRect(x, y, w, h) if w > 0 and h > 0 else SlotsRect(self.x, self.y, 0.0, 0.0)

    def get_union(self, o):
        x, y = min(self.x, o.x), min(self.y, o.y)
        return SlotsRect(x, y, max(self.x + self.width, o.x + o.width) - x, max(self.y + self.height, o.y + o.height) - y)

    def collide_list_all(self, rects):
        return [i for i, o in enumerate(rects) if self.collide_rect(o)]

    def collide_rect(self, o):
        if isinstance(o, SlotsRect):
            ox, oy, ow, oh = o.x, o.y, o.width, o.height
        elif isinstance(o, SlotsVector4):
            ox, oy, ow, oh = o.x, o.y, o.z, o.w
        else:
            ox, oy, ow, oh = o
        return self.x < ox + ow and ox < self.x + self.width and self.y < oy + oh and oy < self.y + self.height


# The libraries compared. Statements name a library's types by these keys, so that one statement
# serves every library that spells the operation the same way.
TYPE_KEYS = {"V2": "Vector2", "V3": "Vector3", "V4": "Vector4", "Color": "Color", "Rect": "Rect"}


@dataclass
class Library:
    key: str  # how cases name it
    name: str  # how tables name it
    types: dict[str, Any] = field(default_factory=dict)  # TYPE_KEYS -> the library's classes
    names: dict[str, str] = field(default_factory=dict)  # TYPE_KEYS -> the classes' names, for display
    extra: dict[str, Any] = field(default_factory=dict)  # other names its statements use
    version: str = ""
    missing: str = ""  # why it is not there

    def namespace(self) -> dict[str, Any]:
        return {**self.types, **self.extra}

    def show(self, stmt: str) -> str:
        return re.sub(r"\b(V2|V3|V4|Color|Rect)\(", lambda m: self.names.get(m[1], m[1]) + "(", stmt)


def _version(dist: str) -> str:
    from importlib import metadata

    try:
        return metadata.version(dist)
    except metadata.PackageNotFoundError:
        return "?"


def libraries(only: str | None = None) -> list[Library]:
    """The libraries compared, vantor first; with `only` (a library key), that library alone, and
    no other is imported (a child process that counts one library's instructions)."""
    makers = {"vantor": _vantor, "complex": _complex, "slots": _slots, "pygame": _pygame, "glm": _glm}
    return [make() for key, make in makers.items() if only is None or key == only]


def _vantor() -> Library:
    from vantor.color.color import Color
    from vantor.rect.rect import Rect
    from vantor.vector2.vector2 import Vector2
    from vantor.vector3.vector3 import Vector3
    from vantor.vector4.vector4 import Vector4

    return Library("vantor", "vantor", {"V2": Vector2, "V3": Vector3, "V4": Vector4, "Color": Color, "Rect": Rect},
                   dict(TYPE_KEYS), version=_version("vantor"))


def _complex() -> Library:
    return Library("complex", "complex", {"V2": complex}, {"V2": "complex"}, version="built in")


def _slots() -> Library:
    return Library("slots", "py-slots",
                   {"V2": SlotsVector2, "V3": SlotsVector3, "V4": SlotsVector4, "Color": SlotsColor, "Rect": SlotsRect},
                   {"V2": "SlotsVector2", "V3": "SlotsVector3", "V4": "SlotsVector4", "Color": "SlotsColor",
                    "Rect": "SlotsRect"}, version="this file")


def _pygame() -> Library:
    # pygame: no window, no greeting on import.
    os.environ.setdefault("SDL_VIDEODRIVER", "dummy")
    os.environ.setdefault("PYGAME_HIDE_SUPPORT_PROMPT", "1")
    try:
        import pygame
        import pygame.math

        types = {"V2": pygame.math.Vector2, "V3": pygame.math.Vector3, "Color": pygame.Color}
        if hasattr(pygame, "FRect"):
            types["Rect"] = pygame.FRect
        name = "pygame-ce" if getattr(pygame, "IS_CE", False) else "pygame"
        names = {"V2": "pygame.Vector2", "V3": "pygame.Vector3", "Color": "pygame.Color", "Rect": "pygame.FRect"}
        return Library("pygame", name, types, names, version=pygame.version.ver)
    except Exception as e:  # not installed, or no wheel for this interpreter
        return Library("pygame", "pygame-ce", missing=f"{type(e).__name__}: {e}")


def _glm() -> Library:
    try:
        import glm

        return Library("glm", "PyGLM", {"V2": glm.vec2, "V3": glm.vec3, "V4": glm.dvec4},
                       {"V2": "glm.vec2", "V3": "glm.vec3", "V4": "glm.dvec4"}, {"glm": glm},
                       version=getattr(glm, "__version__", _version("PyGLM")))
    except Exception as e:
        return Library("glm", "PyGLM", missing=f"{type(e).__name__}: {e}")


# The operations.


@dataclass(frozen=True)
class NA:
    """An operation a library does not have, and why; the reasons worth a note are printed beside
    the figures (not "no Vector4", which the table shows)."""

    reason: str
    note: bool = True


@dataclass(frozen=True)
class Case:
    group: str
    label: str  # vantor's spelling
    stmt: str  # the timed statement, for every library without its own
    setup: str  # makes the operands, outside the timing
    result: str | None = ""  # compared between libraries: "" the statement's value, None nothing
    needs: tuple[str, ...] = ()  # TYPE_KEYS the library must have
    peers: dict[str, str | NA] = field(default_factory=dict)  # library key -> its own statement

    @property
    def name(self) -> str:
        return f"{self.group}: {self.label}"


def cases() -> list[Case]:
    out: list[Case] = []

    def group(name: str, setup: str, needs: tuple[str, ...]):
        def add(label: str, stmt: str | None = None, *, result: str | None = "", more: str = "",
                more_needs: tuple[str, ...] = (), **peers: str | NA) -> None:
            out.append(Case(name, label, stmt or label, f"{setup}; {more}" if more else setup, result,
                            needs + more_needs, peers))
        return add

    v2 = group("Vector2", "a = V2(3.0, 4.0); b = V2(1.0, 2.0)", ("V2",))
    v2("Vector2(1.0, 2.0)", "V2(1.0, 2.0)")
    v2("Vector2(3, 4)", "V2(3, 4)")
    v2("a + b")
    v2("a * 2.0")
    v2("a += b", result="a")
    v2("a == b")
    v2("hash(a)", result=None, pygame=NA("unhashable"))
    v2("a.dot(b)", complex="(a.conjugate() * b).real", glm="glm.dot(a, b)")
    v2("a.get_normalized()", complex="a / abs(a)", pygame="a.normalize()", glm="glm.normalize(a)")
    v2("a.yx", complex="complex(a.imag, a.real)")
    v2("repr(a)", result=None)
    v2("a.length", complex="abs(a)", pygame="a.length()", glm="glm.length(a)")
    v2("a.x", complex="a.real")
    v2("a.x = 1.0", result="a", complex=NA("immutable"))
    v2("x, y = a", result="(x, y)", complex="x, y = a.real, a.imag")
    v2("tuple(a)", complex="(a.real, a.imag)")
    v2("list(a)", complex="[a.real, a.imag]")
    # The toolbox: operations complex numbers do not have.
    new = dict(complex=NA("no such operation", note=False))
    v2("a.get_rotated(0.5)", pygame="a.rotate_rad(0.5)", glm="glm.rotate(a, 0.5)", **new)
    v2("a.lerp(b, 0.5)", glm="glm.lerp(a, b, 0.5)", **new)
    v2("a.get_reflected(b)", pygame="a.reflect(b)", glm=NA("needs a unit normal"), **new)
    v2("a.get_moved_toward(b, 0.5)", pygame="a.move_towards(b, 0.5)", glm=NA("no such operation"), **new)

    v3 = group("Vector3", "a = V3(3.0, 4.0, 5.0); b = V3(1.0, 2.0, 3.0)", ("V3",))
    v3("Vector3(1.0, 2.0, 3.0)", "V3(1.0, 2.0, 3.0)")
    v3("a + b")
    v3("a * 2.0")
    v3("a.dot(b)", glm="glm.dot(a, b)")
    v3("a.cross(b)", glm="glm.cross(a, b)")
    v3("a.get_normalized()", pygame="a.normalize()", glm="glm.normalize(a)")
    v3("a.length", pygame="a.length()", glm="glm.length(a)")
    v3("a.zyx")
    v3("tuple(a)")
    v3("a.get_rotated(b, 0.5)", pygame="a.rotate_rad(0.5, b)", glm="glm.rotate(a, 0.5, b)")

    v4 = group("Vector4", "a = V4(3.0, 4.0, 5.0, 6.0); b = V4(1.0, 2.0, 3.0, 4.0)", ("V4",))
    v4("Vector4(1.0, 2.0, 3.0, 4.0)", "V4(1.0, 2.0, 3.0, 4.0)")
    v4("a + b")
    v4("a * 2.0")
    v4("a.dot(b)", glm="glm.dot(a, b)")
    v4("a.get_normalized()", glm="glm.normalize(a)")
    v4("a.length", glm="glm.length(a)")
    v4("a.wzyx")
    v4("tuple(a)")

    color = group("Color", "c = Color(10, 20, 30, 40); d = Color(200, 100, 50, 255)", ("Color",))
    color("Color(10, 20, 30, 40)", "Color(10, 20, 30, 40)")
    color("c.r")
    color("c.tint(d)", pygame=NA("c * d multiplies channels unscaled"))
    # raylib truncates the blend, pygame rounds it (147.5 gives 147 and 148): at most one unit apart,
    # so this row's d makes every channel's midpoint whole and the two agree exactly.
    color("c.lerp(d, 0.5)", more="d = Color(200, 100, 50, 250)")
    # pygame's hsva takes saturation and value in percent.
    color("Color.from_hsv(200.0, 0.5, 0.75)", "x = Color.from_hsv(200.0, 0.5, 0.75)", result="x",
          pygame="x = Color(0, 0, 0); x.hsva = (200.0, 50.0, 75.0, 100.0)")

    rect = group("Rect", "r = Rect(0.0, 0.0, 100.0, 50.0)", ("Rect",))
    point = dict(more="p = V2(10.0, 20.0)", more_needs=("V2",))
    pair, pair_list = dict(more="t = (10.0, 20.0)"), dict(more="l = [10.0, 20.0]")
    other = dict(more="o = Rect(50.0, 25.0, 100.0, 50.0)")
    vec4 = dict(more="q = V4(50.0, 25.0, 100.0, 50.0)", more_needs=("V4",))
    quad, quad_list = dict(more="t = (50.0, 25.0, 100.0, 50.0)"), dict(more="l = [50.0, 25.0, 100.0, 50.0]")
    rect("Rect(1.0, 2.0, 3.0, 4.0)", "Rect(1.0, 2.0, 3.0, 4.0)")
    rect("r.x")
    rect("r.get_width()", pygame=NA("no method for it"))
    rect("r.center")
    rect("r.collide_point(vector2)", "r.collide_point(p)", pygame="r.collidepoint(p)", **point)
    rect("r.collide_point((x, y))", "r.collide_point(t)", pygame="r.collidepoint(t)", **pair)
    rect("r.collide_point_vector2(p)", slots="r.collide_point(p)", pygame="r.collidepoint(p)", **point)
    rect("r.collide_point_tuple(t)", slots="r.collide_point(t)", pygame="r.collidepoint(t)", **pair)
    rect("r.collide_point_list(l)", slots="r.collide_point(l)", pygame="r.collidepoint(l)", **pair_list)
    rect("r.collide_rect(rect)", "r.collide_rect(o)", pygame="r.colliderect(o)", **other)
    rect("r.collide_rect_rect(o)", slots="r.collide_rect(o)", pygame="r.colliderect(o)", **other)
    rect("r.collide_rect_vector4(q)", slots="r.collide_rect(q)", **vec4)
    rect("r.collide_rect_tuple(t)", slots="r.collide_rect(t)", pygame="r.colliderect(t)", **quad)
    rect("r.collide_rect_list(l)", slots="r.collide_rect(l)", pygame="r.colliderect(l)", **quad_list)
    rect("r.get_moved(dx, dy)", "r.get_moved(3.0, 4.0)", pygame="r.move(3.0, 4.0)")
    rect("r.get_inflated(dw, dh)", "r.get_inflated(4.0, 2.0)", pygame="r.inflate(4.0, 2.0)")
    rect("r.get_clipped(o)", pygame="r.clip(o)", **other)
    rect("r.get_union(o)", pygame="r.union(o)", **other)
    rect("r.collide_list_all(rects)", pygame="r.collidelistall(rects)",
         more="rects = [Rect(i * 10.0, 0.0, 20.0, 20.0) for i in range(100)]")
    return out


# Timing.


@dataclass
class Measurement:
    """The implementations of one operation, timed together: each one's timer by library key, the
    runs per timing and, once measured, ns per operation."""

    timers: dict[str, Any]
    number: int
    ns: dict[str, float] = field(default_factory=dict)


def batch_size(timers: list[Any], target_s: float, floor: int) -> int:
    """Runs per timing such that the slowest statement takes about target_s; the first runs also
    warm the interpreter's caches."""
    worst = max(t.timeit(floor) / floor for t in timers)
    return max(floor, round(target_s / worst)) if worst > 0 else floor


def measure(measurements: list[Measurement], repeats: int, progress: Callable[[int], None] | None = None) -> None:
    """Keeps the best of `repeats` timings of every implementation, less the best of an empty loop
    timed the same way. Each repeat runs every implementation of every operation once, one after
    another: a slow spell of the machine hits the implementations of an operation alike, and the
    repeats of one operation spread over the whole run, so that one spell cannot spoil them all."""
    empty = timeit.Timer("pass")
    best = [dict.fromkeys([*m.timers, None], math.inf) for m in measurements]
    for r in range(repeats):
        for m, b in zip(measurements, best):
            for key, t in [*m.timers.items(), (None, empty)]:
                b[key] = min(b[key], t.timeit(m.number))
        if progress:
            progress(r + 1)
    for m, b in zip(measurements, best):
        floor = b.pop(None)
        m.ns = {key: max(0.0, (t - floor) / m.number * 1e9) for key, t in b.items()}


@dataclass
class Settings:
    repeats: int
    target_s: float  # seconds per timing of the slowest implementation
    floor: int  # fewest runs per timing
    particles: int
    frames: int  # frames per particle timing
    thread_s: float  # seconds of arithmetic per thread in the scaling test


FULL = Settings(repeats=7, target_s=0.02, floor=1000, particles=10_000, frames=5, thread_s=0.05)
QUICK = Settings(repeats=2, target_s=0.0003, floor=50, particles=1_000, frames=1, thread_s=0.005)


# Checking that every library computes what vantor computes.


def plain(value: Any) -> Any:
    """Numbers, truth values and strings as they are; anything else as a tuple of its components."""
    if isinstance(value, complex):
        return (value.real, value.imag)
    if value is None or isinstance(value, (bool, int, float, str)):
        return value
    return tuple(plain(v) for v in value)


def same(x: Any, y: Any) -> bool:
    """Equal, floats to single precision (vantor's Vector2, Vector3 and Rect are float32)."""
    if isinstance(x, tuple) and isinstance(y, tuple):
        return len(x) == len(y) and all(same(a, b) for a, b in zip(x, y))
    if isinstance(x, bool) or isinstance(y, bool):
        return x is y
    if isinstance(x, (int, float)) and isinstance(y, (int, float)):
        return math.isclose(x, y, rel_tol=1e-6, abs_tol=1e-9)
    return x == y


def run_once(case: Case, stmt: str, namespace: dict[str, Any]) -> Any:
    """The statement run once on fresh operands; its result as `plain` gives it."""
    local: dict[str, Any] = {}
    exec(case.setup, namespace, local)
    if case.result == "":
        return plain(eval(stmt, namespace, local))
    exec(stmt, namespace, local)
    return None if case.result is None else plain(eval(case.result, namespace, local))


# One cell of a table: ns, or why there is none.
Cell = float | str


@dataclass
class Row:
    group: str
    label: str
    cells: dict[str, Cell]  # library key -> ns, or why there is none
    notes: list[str] = field(default_factory=list)  # the peers' own spellings, reasons for n/a
    measurement: Measurement | None = None
    reasons: dict[str, str] = field(default_factory=dict)  # library key -> why its cell has no figure


def statement(case: Case, lib: Library) -> str | NA:
    if lib.missing:
        return NA("missing", note=False)
    stmt = case.peers.get(lib.key, case.stmt)
    if isinstance(stmt, NA):
        return stmt
    for need in case.needs:
        if need not in lib.types:
            return NA(f"no {TYPE_KEYS[need]}", note=False)
    return stmt


def prepare(case: Case, libs: list[Library], s: Settings, problems: list[str]) -> Row:
    """Runs each library's statement once, compares its result with vantor's, and sets up the
    timing of those that agree."""
    row = Row(case.group, case.label, {})
    timers: dict[str, timeit.Timer] = {}
    expected = None
    for lib in libs:
        stmt = statement(case, lib)
        if isinstance(stmt, NA):
            row.cells[lib.key] = "missing" if lib.missing else "n/a"
            row.reasons[lib.key] = stmt.reason
            if stmt.note:
                row.notes.append(f"{lib.name} n/a: {stmt.reason}")
            continue
        namespace = lib.namespace()
        try:
            got = run_once(case, stmt, namespace)
        except Exception as e:
            problems.append(f"{case.name}: {lib.name} `{lib.show(stmt)}` raised {type(e).__name__}: {e}")
            row.cells[lib.key] = "error"
            continue
        if lib.key == "vantor":
            expected = got
        elif case.result is not None and expected is not None and not same(got, expected):
            problems.append(f"{case.name}: {lib.name} `{lib.show(stmt)}` gives {got!r}, vantor {expected!r}")
            row.cells[lib.key] = "differs"
            continue
        timers[lib.key] = timeit.Timer(stmt, setup=case.setup, globals=namespace)
        if lib.key != "vantor" and stmt != case.stmt:
            row.notes.append(f"{lib.name}: {lib.show(stmt)}")
    if timers:
        row.measurement = Measurement(timers, batch_size(list(timers.values()), s.target_s, s.floor))
    return row


def fmt(cell: Cell) -> str:
    return f"{cell:.1f}" if isinstance(cell, float) else cell


def detail(row: Row, libs: list[Library]) -> list[str]:
    """The row's figures with the statements the peers ran where they differ from vantor's."""
    figures = "  ".join(f"{lib.name} {fmt(row.cells[lib.key])}" for lib in libs
                        if row.cells[lib.key] not in ("missing", "n/a"))
    lines = [f"  {row.label:<28} {figures}"]
    if row.notes:
        lines.append(f"  {'':<28}   ({'; '.join(row.notes)})")
    return lines


# The particle workload: each frame moves every particle by its velocity and reverses the velocity
# of those that left the box.

BOX = (0.0, 0.0, 800.0, 600.0)
DT = 1.0 / 60.0


def _frame(pos, vel, box, dt):
    for p, v in zip(pos, vel):
        p += v * dt
        if not box.collide_point(p):
            v.to_neg()


def _frame_pygame(pos, vel, box, dt):
    for p, v in zip(pos, vel):
        p += v * dt
        if not box.collidepoint(p):
            v *= -1.0


def particle_systems(libs: list[Library], count: int) -> dict[str, tuple[Callable[..., None], tuple]]:
    """Library key -> (frame function, its arguments): the same `count` particles for each, in the
    box, with velocities of up to 200 units a second."""
    rng = random.Random(1)
    start = [(rng.uniform(0, BOX[2]), rng.uniform(0, BOX[3]), rng.uniform(-200, 200), rng.uniform(-200, 200))
             for _ in range(count)]
    systems = {}
    for lib in libs:
        if lib.key not in ("vantor", "slots", "pygame") or lib.missing or "Rect" not in lib.types:
            continue
        V2, Rect = lib.types["V2"], lib.types["Rect"]
        pos = [V2(x, y) for x, y, _, _ in start]
        vel = [V2(vx, vy) for _, _, vx, vy in start]
        frame = _frame_pygame if lib.key == "pygame" else _frame
        systems[lib.key] = (frame, (pos, vel, Rect(*BOX), DT))
    return systems


def run_particles(libs: list[Library], s: Settings) -> dict[str, float]:
    """µs per frame for each library, the best of the repeats, libraries interleaved."""
    systems = particle_systems(libs, s.particles)
    best = {key: math.inf for key in systems}
    for _ in range(s.repeats):
        for key, (frame, args) in systems.items():
            t0 = time.perf_counter()
            for _ in range(s.frames):
                frame(*args)
            best[key] = min(best[key], (time.perf_counter() - t0) / s.frames * 1e6)
    return best


# Calls through the operation tables and the parsers, by the native test client.

NATIVE = [
    # label, through the table, at Python level, setup
    ("Vector2 _add", 'vector2_slot("_add", a, b)', "a + b", "a = V2(3.0, 4.0); b = V2(1.0, 2.0)"),
    ("Vector2 dot", 'vector2_slot("dot", a, b, 1)', "a.dot(b)", "a = V2(3.0, 4.0); b = V2(1.0, 2.0)"),
    ("Color c_tint", 'color_slot("c_tint", c, d)', "c.tint(d)", "c = Color(10, 20, 30, 40); d = Color(200, 100, 50, 255)"),
    ("Rect collide_point_vector2", 'rect_slot("collide_point_vector2", r, p, 1)', "r.collide_point_vector2(p)",
     "r = Rect(0.0, 0.0, 100.0, 50.0); p = V2(10.0, 20.0)"),
    ("parse_vector2_like(Vector2)", 'parse("vector2", a)', "V2(a)", "a = V2(3.0, 4.0)"),
    ("parse_vector2_like(tuple)", 'parse("vector2", t)', "V2(t)", "t = (3.0, 4.0)"),
    ("parse_color_like(Color)", 'parse("color", c)', "Color(c.r, c.g, c.b, c.a)", "c = Color(10, 20, 30, 40)"),
    ("parse_color_like(tuple)", 'parse("color", t)', "Color(*t)", "t = (10, 20, 30, 40)"),
    ("parse_rect_like(Rect)", 'parse("rect", r)', "Rect(r)", "r = Rect(0.0, 0.0, 100.0, 50.0)"),
    ("parse_rect_like(tuple)", 'parse("rect", t)', "Rect(t)", "t = (0.0, 0.0, 100.0, 50.0)"),
    ("record read (call floor)", "vector2_record(a)", "a.get_tuple()", "a = V2(3.0, 4.0)"),
]


@dataclass
class NativeRow:
    label: str
    table: str  # the test client's call
    python: str  # the Python-level equivalent, as vantor spells it
    measurement: Measurement  # keys "table" and "python"


def prepare_native(vantor: Library, s: Settings, problems: list[str]) -> list[NativeRow] | str:
    """The NATIVE rows, set up for timing, or why the test client is not there."""
    try:
        import vantor._testclient as client
    except ImportError as e:
        return f"missing (vantor built without VANTOR_BUILD_TESTS: {e})"
    namespace = {**vantor.namespace(), **{n: getattr(client, n) for n in dir(client) if not n.startswith("_")}}
    out = []
    for label, table, python, setup in NATIVE:
        try:
            for stmt in (table, python):
                exec(f"{setup}\n{stmt}", dict(namespace))
        except Exception as e:
            problems.append(f"test client, {label}: raised {type(e).__name__}: {e}")
            continue
        timers = {"table": timeit.Timer(table, setup=setup, globals=namespace),
                  "python": timeit.Timer(python, setup=setup, globals=namespace)}
        number = batch_size(list(timers.values()), s.target_s, s.floor)
        out.append(NativeRow(label, table, vantor.show(python), Measurement(timers, number)))
    return out


# Thread scaling: independent arithmetic on each thread's own vectors.


def _arithmetic(V2, n):
    a = V2(1.0, 2.0)
    b = V2(0.5, 0.25)
    for _ in range(n):
        a += b
        c = a * 0.5
        c = c + b


def _count(n):
    i = 0
    while i < n:
        i += 1


# The key of the bare counting loop among the thread-scaling results: it makes no objects and
# touches nothing shared, so its scaling is what the machine itself allows.
BARE_LOOP = "bare loop"


def _threads_seconds(work: Callable[[int], None], n: int, count: int) -> float:
    """Wall-clock seconds for `count` threads each running work(n), started together."""
    start = threading.Barrier(count + 1)

    def run():
        start.wait()
        work(n)

    threads = [threading.Thread(target=run) for _ in range(count)]
    for t in threads:
        t.start()
    start.wait()
    t0 = time.perf_counter()
    for t in threads:
        t.join()
    return time.perf_counter() - t0


def gil_enabled() -> bool:
    return sys._is_gil_enabled() if hasattr(sys, "_is_gil_enabled") else True


def run_threads(libs: list[Library], s: Settings) -> dict[str, float] | str:
    """Library key (and BARE_LOOP) -> 2-thread throughput over 1-thread throughput (2.0 scales
    perfectly), or why this does not apply. Each repeat times one thread, two threads, and one
    thread again, and compares the two threads with the mean of the one-thread runs around them, so
    that the machine speeding up or slowing down between runs cancels out; the median of the
    repeats is kept."""
    if gil_enabled():
        return "n/a (GIL enabled)"
    work: dict[str, Callable[[int], None]] = {
        lib.key: functools.partial(_arithmetic, lib.types["V2"]) for lib in libs if not lib.missing and "V2" in lib.types
    }
    work[BARE_LOOP] = _count
    # Rounds per thread such that one thread takes about thread_s, long enough for the threads'
    # start-up and the scheduler's noise to vanish.
    rounds = {}
    for key, w in work.items():
        t0 = time.perf_counter()
        w(1000)
        rounds[key] = max(1000, round(s.thread_s / (time.perf_counter() - t0) * 1000))
    ratios: dict[str, list[float]] = {key: [] for key in work}
    for _ in range(s.repeats):
        for key, w in work.items():
            before = _threads_seconds(w, rounds[key], 1)
            both = _threads_seconds(w, rounds[key], 2)
            after = _threads_seconds(w, rounds[key], 1)
            ratios[key].append((before + after) / both)
    return {key: statistics.median(r) for key, r in ratios.items()}


# The report.


def summary(libs: list[Library], rows: list[Row]) -> list[str]:
    """The compact table: ns per operation for each library; for each peer, vantor's time over its
    time in parentheses (below 1: vantor is faster)."""
    peers = libs[1:]
    lines = [f"{'operation':<30}{'vantor':>9}" + "".join(f"{lib.name:>16}" for lib in peers)]
    group = None
    for row in rows:
        if row.group != group:
            group = row.group
            lines.append(group)
        ours = row.cells.get("vantor", "n/a")
        cells = []
        for lib in peers:
            theirs = row.cells.get(lib.key, "n/a")
            if isinstance(theirs, float) and isinstance(ours, float) and theirs > 0:
                cells.append(f"{theirs:.1f} ({ours / theirs:.2f})")
            else:
                cells.append(fmt(theirs))
        lines.append(f"  {row.label:<28}{fmt(ours):>9}" + "".join(f"{c:>16}" for c in cells))
    return lines


def cpu_model() -> str:
    """The processor's name as the kernel reports it, else what the platform module knows."""
    try:
        with open("/proc/cpuinfo", encoding="utf-8", errors="replace") as f:
            for line in f:
                key, _, value = line.partition(":")
                if key.strip() in ("model name", "Model", "Hardware", "cpu model") and value.strip():
                    return value.strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def recording(libs: list[Library], rows: list[Row], s: Settings) -> dict[str, Any]:
    """The run as --save writes it: where it ran, what it compared, and every row's figures in ns
    by library key, or why a library has none."""
    return {
        "date": datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds"),
        "machine": {"arch": platform.machine(), "cpu": cpu_model(), "cores": os.cpu_count()},
        "interpreter": {"implementation": platform.python_implementation(), "version": platform.python_version(),
                        "build": "free-threaded" if sysconfig.get_config_var("Py_GIL_DISABLED") else "default",
                        "gil": gil_enabled()},
        "repeats": s.repeats,
        "libraries": [{"key": lib.key, "name": lib.name, "version": lib.version, "missing": lib.missing}
                      for lib in libs],
        "rows": [{"group": row.group, "label": row.label,
                  "ns": {key: round(cell, 2) for key, cell in row.cells.items() if isinstance(cell, float)},
                  "n/a": {key: row.reasons.get(key, cell) for key, cell in row.cells.items()
                          if not isinstance(cell, float)}}
                 for row in rows],
    }


def to_json(record: dict[str, Any]) -> str:
    """The recording with each library and each row on a line of its own, so that two recordings
    diff by row."""
    def item(value: Any) -> str:
        return json.dumps(value, ensure_ascii=False)

    fields = [f" {item(key)}: [\n  " + ",\n  ".join(map(item, value)) + "\n ]" if isinstance(value, list)
              else f" {item(key)}: {item(value)}" for key, value in record.items()]
    return "{\n" + ",\n".join(fields) + "\n}\n"


def name_of(libs: list[Library], key: str) -> str:
    return next((lib.name for lib in libs if lib.key == key), key)


def main(argv: list[str] | None = None, prog: str = "benchmarks/bench.py") -> int:
    parser = argparse.ArgumentParser(prog=prog, description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="tiny counts: every benchmark in a few seconds")
    parser.add_argument("--repeats", type=int, help="repeats per measurement (the best is kept)")
    parser.add_argument("-k", "--only", metavar="TEXT",
                        help="only the operations (and sections: particles, native, threads) whose name holds TEXT")
    parser.add_argument("--save", metavar="PATH", help="also write the run's table as JSON to PATH")
    args = parser.parse_args(argv)
    s = QUICK if args.quick else FULL
    if args.repeats:
        s = Settings(**{**s.__dict__, "repeats": max(1, args.repeats)})

    def wanted(name: str) -> bool:
        return not args.only or args.only.lower() in name.lower()

    started = time.perf_counter()
    free_threaded = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
    libs = libraries()
    say(f"interpreter: {sys.executable} (Python {sys.version.split()[0]}, "
        f"{'free-threaded' if free_threaded else 'default'} build, GIL {'enabled' if gil_enabled() else 'disabled'})")
    for lib in libs:
        say(f"  {lib.name:<10} {'missing: ' + lib.missing if lib.missing else lib.version}")

    problems: list[str] = []
    rows = [prepare(case, libs, s, problems) for case in cases() if wanted(case.name)]
    native = prepare_native(libs[0], s, problems) if wanted("native") else []
    measurements = [r.measurement for r in rows if r.measurement]
    if isinstance(native, list):
        measurements += [n.measurement for n in native]
    if measurements:
        print(f"timing {len(measurements)} operation{'s' if len(measurements) > 1 else ''}, best of {s.repeats} repeats, empty-loop cost subtracted"
              f"{' (--quick: tiny counts)' if args.quick else ''}; repeat", end="", flush=True)
        measure(measurements, s.repeats, lambda r: print(f" {r}", end="", flush=True))
        say()
    group = None
    for row in rows:
        if row.measurement:
            row.cells.update(row.measurement.ns)
        if row.group != group:
            group = row.group
            say(f"{group}, ns per operation")
        for line in detail(row, libs):
            say(line)

    if wanted("native"):
        say("native: operation tables and parsers called through the test client (vantor._testclient), ns per call;")
        say("  its calls pick the entry by name and box the result, so they bound a native caller's cost from above")
        if isinstance(native, str):
            say(f"  {native}")
        for n in native if isinstance(native, list) else []:
            say(f"  {n.label:<28} table {n.measurement.ns['table']:.1f}  Python {n.measurement.ns['python']:.1f}"
                f"   ({n.table} / {n.python})")

    particles = {}
    if wanted("particles"):
        say(f"particles: {s.particles:,} particles, µs per frame (pos += vel * dt; bounce off a box by collide_point)")
        particles = run_particles(libs, s)
        say("  " + "  ".join(f"{name_of(libs, key)} {us:.0f}" for key, us in particles.items()))

    threads: dict[str, float] | str = {}
    if wanted("threads"):
        threads = run_threads(libs, s)

    say()
    say("summary: ns per operation; in parentheses vantor's time over the peer's (below 1: vantor is faster)")
    if rows:
        for line in summary(libs, rows):
            say(line)
    construct = {r.label: r.cells for r in rows}
    floats, ints = construct.get("Vector2(1.0, 2.0)"), construct.get("Vector2(3, 4)")
    if floats and ints:
        ratios = [f"{lib.name} {ints[lib.key] / floats[lib.key]:.2f}" for lib in libs
                  if isinstance(ints.get(lib.key), float) and isinstance(floats.get(lib.key), float) and floats[lib.key]]
        say(f"Vector2 from ints over from floats: {', '.join(ratios)}")
    if particles:
        vantor_us = particles.get("vantor")
        figures = []
        for key, us in particles.items():
            ratio = f" ({vantor_us / us:.2f})" if key != "vantor" and vantor_us else ""
            figures.append(f"{name_of(libs, key)} {us:.0f}{ratio}")
        say(f"particles, µs per frame for {s.particles:,}: {', '.join(figures)}")
    if isinstance(native, str):
        say(f"native table calls: {native}")
    elif native:
        say("native table calls, ns: through the table, Python level (table over Python)")
        for n in native:
            ns_table, ns_python = n.measurement.ns["table"], n.measurement.ns["python"]
            ratio = f"{ns_table / ns_python:.2f}" if ns_python else "-"
            say(f"  {n.label:<28}{ns_table:>9.1f}{ns_python:>9.1f}  ({ratio})")
    if wanted("threads"):
        if isinstance(threads, str):
            say(f"2 threads over 1, throughput: {threads}")
        else:
            say(f"2 threads over 1, throughput (2.00 scales perfectly; the {BARE_LOOP}, which makes no objects, "
                "shows what this machine allows):")
            say("  " + ", ".join(f"{name_of(libs, key)} {r:.2f}" for key, r in threads.items()))
    if args.save:
        with open(args.save, "w", encoding="utf-8") as f:
            f.write(to_json(recording(libs, rows, s)))
        say(f"saved: {args.save}")
    for p in problems:
        say(f"PROBLEM: {p}")
    say(f"({time.perf_counter() - started:.1f} s)")
    return 1 if problems else 0
