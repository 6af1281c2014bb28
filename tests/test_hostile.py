"""Hostile input: every constructor, setter, method, operator, table entry and parser meets generated
objects whose conversions (__float__, __index__, __int__, __len__, __iter__, __getitem__, comparisons,
arithmetic, attribute reads, overrides a native caller dispatches to) raise, lie, return the wrong
type, re-enter the object being built or assigned, or change the container being read.

Every call must end in a result or an ordinary exception: never a crash, a hang or SystemError (the
calls go through a C caller that turns a result returned with an exception set, or an error return
without one, into SystemError). An exception the hostile code raised that no one may swallow (a
BaseException) must come out unchanged. Afterwards the object reads as documented: a failed setter,
and every call that only reads, leave it as it was; a successful setter changes only its own fields;
a failed parse returns an all-zero struct. When hostile code changed the object in the middle of a
call, "as it was" is the state that change left.

Each family runs in a child process, so that a crash or a hang is reported (with the case that
caused it) instead of ending the run. A case is reproduced alone with
    python -X gil=0 tests/test_hostile.py FAMILY SEED 1 --first INDEX --trace
"""

import gc
import json
import math
import operator
import os
import struct
import sys
import warnings

FAMILIES = ["vector2", "vector3", "vector4", "color", "colors", "rect", "parser", "tables", "runecell"]
SEED = int(os.environ.get("VANTOR_HOSTILE_SEED", "1"))


# ---- the hostile objects ------------------------------------------------------------------------

class Alarm(BaseException):
    """Raised by hostile code; nothing in the package may swallow or replace it."""


class Broken(Exception):
    """A broken contract found inside a call (a failed parse returning a non-zero struct)."""


class Ctx:
    """The case being run: its random source, the object under test and what may change it."""

    rng = subject = snap = alarm = last = None
    pokes, live, depth, wrote, objects, budget = [], False, 0, False, 0, 0


CTX = Ctx()
FloatSub = type("FloatSub", (float,), {})
IntSub = type("IntSub", (int,), {})
ERRORS = (ValueError, TypeError, OverflowError, IndexError, KeyError, AttributeError, ZeroDivisionError,
          RuntimeError, StopIteration, MemoryError)
FLOATS = (0.0, -0.0, 0.5, -2.5, 1e39, -1e-320, 3.4e38, math.nan, math.inf, -math.inf, 16777217.0)
INTS = (0, 1, -1, 2, 3, 255, 256, -7, 2**31 - 1, 2**31, -2**31 - 1, 2**53 + 1, 2**64, -2**1000, True, IntSub(5))
WRONG = ("1", None, b"x", 1j, (), NotImplemented, FloatSub(1.5), IntSub(2), 2**1000, -2**64, math.nan, 1.5, 7,
         False)
LENGTHS = (-1, 2**62, "2", 2.0, IntSub(2), 0)
# The methods a hostile number may have (one or two of them: each set of names is one class, and
# classes are cached); subclasses of float, int, Color and Rect get one of the second list.
NUMBER_METHODS = ("__float__", "__index__", "__int__", "__bool__", "__len__", "__le__", "__lt__", "__ge__", "__eq__",
                  "__add__", "__sub__", "__rsub__", "__rmul__", "__getattr__", "__del__", "__getitem__")
SUBCLASS_METHODS = ("__float__", "__index__", "__int__", "__le__", "__ge__", "__lt__", "__gt__", "__add__", "__del__",
                    "__eq__")
GOOD = {"clamp_magnitude_ip": (None,), "clamp_magnitude_ip@": (None,), "__float__": FLOATS, "__index__": INTS,
        "__int__": INTS, "__bool__": (True, False), "to_int": INTS, "__add__": FLOATS, "__sub__": FLOATS,
        "fade": (None,), "get_width": FLOATS, "get_height": FLOATS, "get_tuple": ((1.0, 2.0, 3.0, 4.0), None),
        "get_vector4": (None,), "keys": (["x", "y"], ["y"], "xy")}
# What a native caller dispatches to with flag 0 ("fade@": a property, which may raise or give a
# non-callable).
OVERRIDES = {"Color": ("fade", "to_int", "fade@", "to_int@"),
             "Rect": ("collide_point", "collide_point_vector2", "collide_point_tuple", "collide_point_list",
                      "collide_rect", "collide_rect_rect", "collide_rect_vector4", "collide_rect_tuple",
                      "collide_rect_list", "get_width", "get_height", "get_vector4", "get_tuple", "collide_rect@",
                      "get_tuple@")}


def poke():
    """Hostile code changing the object under test or a container being read, then going on."""
    if not CTX.live or CTX.depth or not CTX.pokes or CTX.budget <= 0:
        return
    CTX.depth, CTX.budget = CTX.depth + 1, CTX.budget - 1
    try:
        CTX.rng.choice(CTX.pokes)()
    except Exception:
        pass
    finally:
        CTX.depth -= 1
        CTX.last, CTX.wrote = CTX.snap(CTX.subject), True


def alarm():
    a = Alarm("hostile")
    if CTX.live and CTX.alarm is None:
        CTX.alarm = a
    raise a


def behaviour(rng, depth, good):
    """What one special method does: give a good value or a wrong one, raise, or raise the alarm;
    perhaps after changing the object under test. Returns the function and its description."""
    touch, r = rng.random() < 0.5, rng.random()
    if r < 0.75:
        value = rng.choice(good) if r < 0.55 else odd(rng, depth)
        act, text = (lambda: value), f"-> {value!r}"
    elif r < 0.93:
        error = rng.choice(ERRORS)

        def act():
            raise error("hostile")
        text = f"raise {error.__name__}"
    else:
        act, text = alarm, "raise Alarm"

    def method(*args):
        if touch:
            poke()
        return act()
    return method, ("poke; " if touch else "") + text


def odd(rng, depth):
    """A value of the wrong kind, or another hostile object."""
    return hostile(rng, depth + 1, "a") if depth < 2 and rng.random() < 0.3 else rng.choice(WRONG)


def item_access(rng, depth, items):
    """__getitem__ and __iter__ that lie about the items, raise, or change things while read."""
    mode, k, extra = rng.choice(("items", "short", "odd", "raise", "poke", "alarm")), rng.randrange(4), odd(rng, depth)
    error = rng.choice(ERRORS)

    def getitem(self, i):
        if mode == "poke":
            poke()
        if mode == "alarm":
            alarm()
        if mode == "raise" or mode in ("short", "odd") and isinstance(i, int) and i >= (k if mode == "short" else 8):
            raise IndexError(i) if mode != "raise" else error("hostile")
        return extra if mode == "odd" else items[i]

    def iterate(self):
        listed = list(items)  # a dict's keys
        if mode == "poke":
            poke()
        if mode in ("raise", "alarm"):
            yield from listed[:k]
            alarm() if mode == "alarm" else None
            raise error("hostile")
        yield from listed[:k] if mode == "short" else listed + [extra] if mode == "odd" else listed
    return getitem, iterate, mode


CLASSES = {}


def hostile_class(base, names, meta=type):
    """The class over `base` with the methods `names` ("x@": a property x); what each does is kept on
    the instance, so that one class serves every instance with the same methods (making a class
    costs a hundred times more than making an instance)."""
    cls = CLASSES.get((base, names)) if meta is type else None
    if cls is None:
        ns = {"__repr__": lambda self: self.__dict__["_desc"]}
        for name in names:
            if name.endswith("@"):
                ns[name[:-1]] = property(lambda self, name=name: self.__dict__["_h"][name]())
            else:
                ns[name] = lambda self, *args, name=name: self.__dict__["_h"][name](*args)
        cls = meta("H", (base,), ns)
        if meta is type:
            CLASSES[(base, names)] = cls
    return cls


def build(rng, depth, base, names, items=None, value=None):
    """An instance of a class over `base` whose methods `names` are hostile."""
    h, text = {}, []
    for name in names:
        if name == "__del__":
            h[name], what = poke, "poke"
        elif name in ("__getitem__", "__iter__"):
            getitem, iterate, what = item_access(rng, depth, items if items is not None else [1.0, 2.0])
            h[name] = getitem if name == "__getitem__" else iterate
        else:
            good = (len(items or ()), len(items or ()) + 1, *LENGTHS) if name == "__len__" else FLOATS if name in (
                "__getattr__", "x@", "y@", "z@", "w@") else GOOD.get(name, (True, False, NotImplemented))
            h[name], what = behaviour(rng, depth, good)
        text.append(f"{name}: {what}")
    meta = type
    if rng.random() < 0.01:  # a metaclass whose classes report a hostile __name__ (costly: rare)
        f, what = behaviour(rng, depth, ("Renamed", 5))
        meta, text = type("Meta", (type,), {"__name__": property(lambda cls: f())}), text + [f"name: {what}"]
    cls = hostile_class(base, tuple(sorted(names)), meta)
    CTX.objects += 1
    if base is object:
        obj = cls()
    else:
        obj = cls(*value) if isinstance(value, tuple) and base not in (tuple, list) else cls(value)
    obj.__dict__.update(_h=h, _desc=f"{base.__name__}<{', '.join(text)}>" + (f"({value!r})" if value else ""))
    return obj


def number(rng, depth, conversions=NUMBER_METHODS[:3]):
    """A number, or a hostile object that converts through one of `conversions` (mostly)."""
    if rng.random() < 0.3:
        return rng.choice(INTS if "__float__" not in conversions else FLOATS + INTS)
    from vantor.color.color import Color
    from vantor.rect.rect import Rect

    base = rng.choice((object, object, object, float, int, Color, Rect))
    if base is not object:
        names = [rng.choice(SUBCLASS_METHODS + OVERRIDES.get(base.__name__, ()))]
    elif rng.random() < 0.8:  # mostly something that converts, so that calls get past their first test
        names = [rng.choice(conversions)] + rng.sample(NUMBER_METHODS[3:], rng.randint(0, 1))
    else:
        names = rng.sample(NUMBER_METHODS, rng.randint(1, 2))
    value = {float: rng.choice(FLOATS), int: rng.choice(INTS[:9]), Color: (1, 2, 3, 4), Rect: (1, 2, 3, 4)}.get(base)
    return build(rng, depth, base, names, value=value)


def sequence(rng, depth, length, kind=None):
    """About `length` items, as an exact tuple or list (kind "t" or "l") or a lying container."""
    n = length if rng.random() < 0.75 else rng.choice((0, 1, length - 1, length + 1))
    items = [number(rng, depth + 1) if depth < 2 else rng.choice(FLOATS) for _ in range(max(n, 0))]
    if kind == "t" or kind is None and rng.random() < 0.3:
        seq = tuple(items)
    elif kind == "l" or kind is None and rng.random() < 0.4:
        seq = items
    else:
        base = rng.choice((tuple, list, object))
        names = rng.sample(("__len__", "__getitem__", "__iter__"), rng.randint(1, 3))
        seq = build(rng, depth, base, names, items=list(items), value=items if base is not object else None)
    if isinstance(seq, list):
        CTX.pokes.extend(container_pokes(seq))
    return seq


def mapping(rng, depth, n):
    items = {k: number(rng, depth + 1) for k in rng.sample("xyzwq", rng.randint(max(n - 1, 0), 5))}
    r = rng.random()
    if r < 0.4:
        obj = items
    else:
        base = dict if r < 0.7 else object
        names = rng.sample(("__getitem__", "keys", "__len__", "__iter__", "__contains__"), rng.randint(1, 3))
        obj = build(rng, depth, base, names, items=items, value=items if base is dict else None)
    CTX.pokes.extend(container_pokes(obj if isinstance(obj, dict) else items))
    return obj


def foreign(rng, depth):
    """Another library's vector: clamp_magnitude_ip and x, y, z, w that may be anything."""
    names = ["clamp_magnitude_ip@" if rng.random() < 0.2 else "clamp_magnitude_ip"]
    return build(rng, depth, object, names + [c + "@" for c in "xyzw" if rng.random() < 0.9])


def package(rng):
    from vantor.color.color import Color
    from vantor.colors.colors import Colors
    from vantor.rect.rect import Rect
    from vantor.runecell.runecell import GlyphInfo
    from vantor.vector2.vector2 import Vector2
    from vantor.vector3.vector3 import Vector3
    from vantor.vector4.vector4 import Vector4

    f = rng.choice(FLOATS)
    return rng.choice((lambda: Vector2(f, 1), lambda: Vector3(f, 1, 2), lambda: Vector4(f, 1, 2, 3),
                       lambda: Color(1, 2, 3), lambda: Rect(f, 1, 2, 3), Colors, GlyphInfo))()


def hostile(rng, depth, want, n=2):
    """An argument for a parameter that wants `want`: "n" a number ("i" for an integer conversion, "p"
    a plain one), "s"/"t"/"l" a sequence (any, an exact tuple, an exact list), "m" a mapping, "a"
    anything; now and then something else."""
    if want == "p":  # a plain number, for the test client's own conversions
        return rng.choice(FLOATS + INTS)
    if want == "i":  # a number for an integer conversion
        return number(rng, depth, ("__int__", "__int__", "__index__"))
    if want in ("t", "l"):
        return sequence(rng, depth, n, want)
    if want == "a" or rng.random() < 0.3:
        want = rng.choice("nnsmfpo")
        if want == "p":
            return package(rng)
        if want == "o":  # sometimes the object under test itself
            others = ("ab", b"\x01\x02", None, object(), range(n), {}, [], 1j)
            return CTX.subject if CTX.subject is not None and rng.random() < 0.3 else rng.choice(others)
        if want == "f":
            return foreign(rng, depth)
    return number(rng, depth) if want == "n" else sequence(rng, depth, n) if want == "s" else mapping(rng, depth, n)


def container_pokes(c):
    if isinstance(c, dict):
        return [c.clear, lambda: c.pop("x", None), lambda: c.update({str(i): i for i in range(40)}),
                lambda: c.__setitem__("y", 3.0), lambda: c.popitem() if c else None]
    return [c.clear, lambda: c.extend([1.0] * 9), lambda: c.pop() if c else None, lambda: c.insert(0, 2.0),
            lambda: c.__setitem__(slice(None), [5.0]), lambda: c.__setitem__(0, 6.0) if c else None, c.reverse]


# ---- the objects under test: how to make one, read its state, and change it -------------------

def subjects():
    from vantor.color.color import Color
    from vantor.colors.colors import Colors
    from vantor.rect.rect import Rect
    from vantor.runecell.runecell import GlyphInfo
    from vantor.vector2.vector2 import Vector2
    from vantor.vector3.vector3 import Vector3
    from vantor.vector4.vector4 import Vector4
    import vantor._testclient as client

    names = [n for n, v in vars(Colors).items() if type(v).__name__ == "getset_descriptor"]
    palette_fields = operator.attrgetter("Red", *(n for n in names if n != "Red"))  # field 0 is Red

    def fields(fmt):
        return lambda s: struct.unpack(fmt, bytes(memoryview(s)))

    def vector(T):
        n = len(T())
        comps = "xyzw"[:n]

        def make(rng):
            return T(*(rng.choice(FLOATS) for _ in range(n)))

        def pokes(s, rng):
            f = rng.choice(FLOATS)
            return [lambda: s.__init__(*[f] * n), lambda: setattr(s, rng.choice(comps), f), s.to_neg,
                    lambda: s.__setitem__(rng.randrange(n), f)] + (
                [lambda: setattr(s, "data", {"x": f, "y": 1.0})] if n == 2 else [])

        def readable(s):
            assert len(s) == n and repr(s) == f"{T.__name__}({', '.join(map(repr, s.get_tuple()))})"
        return make, fields(f"{n}{'I' if n < 4 else 'Q'}"), pokes, readable

    def color(rng):
        return Color(1, 2, 3, 4) if rng.random() < 0.5 else build(
            rng, 0, Color, [rng.choice(("fade", "to_int", "__int__", "__index__", "__del__", "__iter__"))],
            value=(10, 20, 30, 40))

    def rect(rng):
        return Rect(1, 2, 3, 4) if rng.random() < 0.5 else build(
            rng, 0, Rect, [rng.choice(OVERRIDES["Rect"] + ("__float__", "__len__", "__del__"))], value=(1, 2, 3, 4))

    def all_colors(s):
        assert all(c is None or isinstance(c, Color) for c in palette_fields(s))

    def palette(rng):
        p = Colors() if rng.random() < 0.8 else type("Palette", (Colors,), {})()
        for name in rng.sample(names, 1) + ["Red"]:  # released, with their hostile __del__, while in use
            setattr(p, name, build(rng, 0, Color, ["__del__"], value=(1, 2, 3, 4)))
        return p

    def tame_color(rng):
        return Color(*(rng.randrange(256) for _ in range(4)))

    return {
        **{f"vector{len(T())}": vector(T) for T in (Vector2, Vector3, Vector4)},
        "color": (color, fields("4B"), lambda s, rng: [
            lambda: Color.__init__(s, 5, 6, 7, 8), lambda: setattr(s, rng.choice("rgba"), rng.randrange(300)),
            lambda: Color.fade(s, 0.3)], repr),
        "rect": (rect, fields("4I"), lambda s, rng: [
            lambda: Rect.__init__(s, 5, 6, 7, 8), lambda: setattr(s, rng.choice(("x", "h", "right")), 9.5),
            lambda: Rect.center.__set__(s, (0.5, 1.5))], repr),
        "colors": (palette, lambda s: tuple(map(id, palette_fields(s))), lambda s, rng: [
            lambda: setattr(s, rng.choice(("Red", "Blue", names[0])), tame_color(rng)),
            lambda: delattr(s, rng.choice(("Red", "Blue"))), lambda: Colors.__init__(s)], all_colors),
        "runecell": (lambda rng: rng.choice((GlyphInfo(), client.glyph_new(65, 1, 2, 3, 2, 2, 1, 7, None))),
                     lambda s: client.glyph_record(s)[:9], lambda s, rng: [], client.glyph_record),
    }


# ---- the calls: one row per call site; `s` is the object under test, `a` the arguments -------------
#
# Wants: "n" number ("i" for an integer conversion, "p" plain), "a" anything, "s"/"t"/"l" sequence,
# exact tuple, exact list (a digit gives the length, else the type's own), "m" mapping; "V2"/"V4"/
# "R"/"C" what a native caller must pass (a Vector2, Vector4, Rect or Color, a hostile subclass of
# the last two, or None); "#" repeats a want once per component, "*" a random number of times.
# Effects: "new" (makes a new object of the type named), "pure" (changes nothing), "set F" (a
# setter: on failure nothing changes, on success at most fields F; "set" alone: any field),
# "partial" (stores as it converts: no claim).

def vector_rows(n):
    c = "xyzw"[:n]
    rows = [
        ("T(*a)", "a*", "new T"), ("T(a[0])", "s", "new T"), ("T(*a[1:], **{'x': a[0]})", "a a*", "new T"),
        ("s.__init__(*a)", "a*", "partial"), ("s.__init__(a[0])", "s", "partial"),
        ("T.from_tuple(a[0])", "t", "new T"), ("T.from_list(a[0])", "l", "new T"),
        (f"T.from_vector{n}(a[0])", "a", "new T"), ("T.from_ints(*a)", "i#", "new T"),
        ("T.from_floats(*a)", "n#", "new T"), (f"T.from_{c}(*a)", "n#", "new T"),
        ("T.from_ints(**dict(zip(R.sample(C, len(C)), a)))", "i#", "new T"),
        ("s.x = a[0]", "n", "set 0"), ("s.y = a[0]", "n", "set 1"),
        *([(f"s.{c[-1]} = a[0]", "n", f"set {n - 1}")] if n > 2 else []),
        ("del s.y", "", "set -"), ("s[a[0]] = a[1]", "n n", "set"), ("s[a[0]]", "n", "pure"),
        ("del s[a[0]]", "n", "set -"),
        ("s + a[0]", "a", "pure"), ("s - a[0]", "a", "pure"), ("s * a[0]", "n", "pure"), ("s / a[0]", "n", "pure"),
        ("s // a[0]", "n", "pure"), ("a[0] * s", "n", "pure"), ("a[0] + s", "a", "pure"), ("s == a[0]", "a", "pure"),
        ("a[0] != s", "a", "pure"), ("s < a[0]", "a", "pure"),
        ("s += a[0]", "a", "set"), ("s -= a[0]", "a", "set"), ("s *= a[0]", "n", "set"), ("s /= a[0]", "n", "pure"),
        ("s.sadd(*a)", "a a", "set"), ("s.sadd(old_vec=a[0], new_vec=a[1])", "a a", "set"),
        ("s.dot(a[0])", "a", "pure"), ("s.distance_to(other=a[0])", "a", "pure"),
        ("s.distance_squared_to(a[0])", "a", "pure"), ("s.to_round(*a)", "a*", "set"),
        ("s.get_normalized(*a)", "a*", "pure"), ("s.__deepcopy__(*a)", "a*", "pure"),
        ("s.__setstate__(*a)", "a*", "pure"), ("s.get_int_tuple(*a)", "a*", "pure"),
    ]
    return rows + ([("s.data = a[0]", "m", "set")] if n == 2 else []) + (
        [("s.cross(a[0])", "a", "pure")] if n == 3 else [])


ROWS = {
    **{f"vector{n}": vector_rows(n) for n in (2, 3, 4)},
    "color": [
        ("Color(*a)", "i*", "new Color"),
        ("Color(*a[:2], **dict(zip(R.sample('rgbax', 5), a[2:])))", "i*", "new Color"),
        ("Color.__init__(s, *a)", "i*", "set"), ("Color.__init__(s, *a[:1], **dict(zip('bga', a[1:])))", "i*", "set"),
        ("s.r = a[0]", "i", "set 0"), ("s.green = a[0]", "i", "set 1"), ("s.b = a[0]", "i", "set 2"),
        ("s.alpha = a[0]", "i", "set 3"), ("del s.a", "", "set -"), ("Color.fade(s, a[0])", "n", "set 3"),
        ("Color.fade(s, alpha=a[0])", "n", "set 3"), ("Color.tint(s, a[0])", "a", "pure"),
        ("Color.equal(s, a[0])", "a", "pure"), ("s == a[0]", "a", "pure"), ("a[0] != s", "a", "pure"),
        ("Color.from_normalized(a[0])", "a", "new Color"), ("Color.normalize(s, *a)", "a*", "pure"),
        ("Color.to_int(s, *a)", "a*", "pure"), ("s.__setstate__(*a)", "a*", "pure"), ("list(s)", "", "pure"),
    ],
    "colors": [
        ("Colors(*a)", "a*", "new Colors"), ("Colors(**{R.choice(NAMES): a[0]})", "a", "new Colors"),
        ("Colors.__init__(s, *a)", "a*", "set"), ("s.Red = a[0]", "a", "set 0"),
        ("del s.Red", "", "set 0"), ("s.Red", "", "pure"), ("setattr(s, R.choice(NAMES), a[0])", "a", "set"),
    ],
    "rect": [
        ("Rect(*a)", "a*", "new Rect"), ("Rect(a[0], a[1])", "s2 s2", "new Rect"), ("Rect(a[0])", "s", "new Rect"),
        ("Rect(x=a[0])", "a", "new Rect"), ("Rect.__init__(s, *a)", "a*", "partial"),
        ("Rect.__init__(s, a[0], a[1])", "s2 s2", "partial"),
        ("s.x = a[0]", "n", "set 0"), ("s.top = a[0]", "n", "set 1"), ("s.width = a[0]", "n", "set 2"),
        ("s.h = a[0]", "n", "set 3"), ("s.right = a[0]", "a", "set 0"), ("s.bottom = a[0]", "a", "set 1"),
        ("s.centerx = a[0]", "a", "set 0"), ("s.centery = a[0]", "a", "set 1"), ("s.center = a[0]", "s2", "set 01"),
        ("del s.center", "", "set -"), ("s[a[0]] = a[1]", "n n", "set"), ("s[a[0]]", "n", "pure"),
        ("del s[a[0]]", "n", "set -"), ("s == a[0]", "a", "pure"), ("Rect.get_tuple(s, *a)", "a*", "pure"),
        ("Rect.collide_point(s, a[0])", "s2", "pure"), ("Rect.collide_point_vector2(s, a[0])", "a", "pure"),
        ("Rect.collide_point_tuple(s, a[0])", "t2", "pure"), ("Rect.collide_point_list(s, point=a[0])", "l2", "pure"),
        ("Rect.collide_rect(s, a[0])", "s", "pure"), ("Rect.collide_rect_rect(s, a[0])", "a", "pure"),
        ("Rect.collide_rect_vector4(s, a[0])", "a", "pure"), ("Rect.collide_rect_tuple(s, a[0])", "t", "pure"),
        ("Rect.collide_rect_list(s, a[0])", "l", "pure"),
    ],
    "parser": [("parse('vector2', a[0])", "s2", "pure"), ("parse('color', a[0])", "s4", "pure"),
               ("parse('color', a[0])", "s3", "pure"), ("parse('rect', a[0])", "s4", "pure")],
    "tables": [
        *[(f"client.vector{n}_slot({name!r}, *a)", want, f"new Vector{n}")
          for n in (2, 3, 4) for name, want in [("new", "p " * n), ("cfrom_" + "xyzw"[:n], "p " * n),
                                                 ("cfrom_ints", "p " * n), ("cfrom_floats", "p " * n),
                                                 (f"cfrom_list", f"l{n}"), ("cfrom_tuple", f"t{n}")]],
        ("client.color_slot('new', *a)", "p p p p", "new Color"),
        ("client.color_slot('fade', s, a[0], R.choice((0, 1)))", "n", "set 3", "color"),
        ("client.color_slot('to_int', s, R.choice((0, 1)))", "", "pure", "color"),
        ("client.color_slot('c_tint', s, a[0])", "C", "pure", "color"),
        ("client.color_slot('c_equal', a[0], s)", "C", "pure", "color"),
        *[(f"client.rect_slot({name!r}, s, a[0], R.choice((0, 1)))", want, "pure", "rect")
          for name, want in [("collide_point", "s2"), ("collide_point_tuple", "t2"), ("collide_point_list", "l2"),
                             ("collide_rect", "s"), ("collide_rect_tuple", "t"), ("collide_rect_list", "l"),
                             ("collide_point_vector2", "V2"), ("collide_rect_vector4", "V4"),
                             ("collide_rect_rect", "R")]],
        *[(f"client.rect_slot({name!r}, s, R.choice((0, 1)))", "", "pure", "rect")
          for name in ("get_width", "get_height", "get_vector4", "get_tuple")],
    ],
    "runecell": [
        ("GlyphInfo(*a, **{'k': a[0]} if a else {})", "a*", "new GlyphInfo"),
        ("s.__reduce__(*a)", "a*", "pure"), ("s.__setstate__(*a)", "a*", "pure"),
        ("client.glyph_new(*a, R.choice((None, bytearray(64))))", "p p p p p p p p", "new GlyphInfo"),
        ("client.image_new(*a)", "p p p p p p", "new Image"),
    ],
}
# Whose object a row's `s` is, when neither the row (a fourth item) nor its family names one.
SUBJECT = {"parser": "vector2", "tables": "vector2"}


# ---- one case ------------------------------------------------------------------------------------

def namespace(family):
    import vantor._testclient as client
    from vantor.color.color import Color
    from vantor.colors.colors import Colors
    from vantor.image.image import Image
    from vantor.rect.rect import Rect
    from vantor.runecell.runecell import GlyphInfo
    from vantor.vector2.vector2 import Vector2
    from vantor.vector3.vector3 import Vector3
    from vantor.vector4.vector4 import Vector4

    def parse(kind, obj):
        fields, exc = client.parse(kind, obj)
        if exc is not None and any(fields):
            raise Broken(f"a failed parse returned {fields}")
        if exc is not None:
            raise exc
        return fields

    names = [n for n, v in vars(Colors).items() if type(v).__name__ == "getset_descriptor"]
    rng = type("R", (), {"__getattr__": lambda self, name: getattr(CTX.rng, name)})()
    vector = {"vector2": Vector2, "vector3": Vector3, "vector4": Vector4}.get(family)
    return dict(client=client, Color=Color, Colors=Colors, Image=Image, Rect=Rect, GlyphInfo=GlyphInfo, T=vector,
                C="xyzw"[:len(vector())] if vector else "",
                Vector2=Vector2, Vector3=Vector3, Vector4=Vector4, parse=parse, NAMES=names, R=rng)


def compile_row(code, ns):
    local = {}
    try:
        exec(compile(f"def call(s, a):\n    return {code}\n", code, "exec"), ns, local)
    except SyntaxError:  # a statement
        exec(compile(f"def call(s, a):\n    {code}\n", code, "exec"), ns, local)
    return local["call"]


def arguments(rng, wants, n, ns):
    tame = {"V2": lambda: ns["Vector2"](1, 2), "V4": lambda: ns["Vector4"](1, 2, 3, 4),
            "R": lambda: ns["Rect"](0, 0, 1, 1), "C": lambda: ns["Color"](9, 9, 9)}
    out = []
    for want in wants.split():
        count = n if want.endswith("#") else rng.choice((0, 1, 2, n - 1, n, n, n, n + 1)) if want.endswith("*") else 1
        want = want.rstrip("#*")
        for _ in range(count):
            if want in tame:  # what a native caller must pass: the type (or a subclass of it), or None
                base = {"R": ns["Rect"], "C": ns["Color"]}.get(want)
                out.append(rng.choice((tame[want](), tame[want](), None, build(rng, 0, base, [rng.choice(
                    OVERRIDES[base.__name__] + ("__del__", "__float__"))], value=(1, 2, 3, 4)) if base else None)))
            else:
                out.append(hostile(rng, 0, want[0], int(want[1:]) if want[1:] else n))
    return out


def run_case(family, index, row, call, ns, kinds, trace):
    """Runs case `index` of `family`: returns the problems found."""
    import random

    code, wants, effect = row[:3]
    rng = random.Random(f"{SEED}:{family}:{index}")
    CTX.rng, CTX.pokes, CTX.alarm, CTX.wrote, CTX.live, CTX.depth, CTX.budget = rng, [], None, False, False, 0, 8
    make, snap, pokes, readable = kinds[row[3] if len(row) > 3 else SUBJECT.get(family, family)]
    s = CTX.subject = make(rng)
    CTX.snap = snap
    CTX.pokes += pokes(s, rng)
    a = arguments(rng, wants, {"vector2": 2, "vector3": 3}.get(family, 4), ns)
    if trace:
        print(f"case {index}: {code}  s={s!r}  a={a!r}", file=sys.stderr, flush=True)
    pre = snap(s)
    result = error = None
    with warnings.catch_warnings():
        warnings.simplefilter(rng.choice(("ignore", "error")))
        CTX.live = True
        try:  # map calls through the checked C-level call: a result with an exception set is SystemError
            result = next(map(call, [s], [a]))
        except BaseException as e:
            error = e
        finally:
            CTX.live = False
    problems = []
    if isinstance(error, (SystemError, Broken)) or not isinstance(error, (Exception, Alarm, type(None))):
        problems.append(f"{type(error).__name__}: {error}")
    if CTX.alarm is not None and error is not CTX.alarm:
        problems.append("the hostile Alarm was swallowed or replaced")
    effect, _, detail = effect.partition(" ")
    if effect == "new" and error is None and not isinstance(result, ns[detail]):
        problems.append(f"returned {type(result).__name__}, not {detail}")
    post, before = snap(s), CTX.last if CTX.wrote else pre
    if effect == "pure" or effect == "set" and error is not None:
        if post != before:
            problems.append(f"{'failed' if error else 'read-only'} call changed the object: {before} -> {post}")
    elif effect == "set" and detail and not CTX.wrote:
        allowed = set() if detail == "-" else {int(i) for i in detail}
        changed = {i for i, (x, y) in enumerate(zip(pre, post)) if x != y}
        if changed - allowed:
            problems.append(f"the setter changed fields {sorted(changed)}; it may change {sorted(allowed)}")
    try:
        readable(s)
    except Exception as e:
        problems.append(f"unreadable afterwards: {type(e).__name__}: {e}")
    return [f"case {index} [{code}]: {p} (error {type(error).__name__}: {error})" for p in problems]


def main(argv):
    import faulthandler

    faulthandler.enable()
    family, count = argv[0], int(argv[2])
    first = int(argv[argv.index("--first") + 1]) if "--first" in argv else 0
    trace = "--trace" in argv
    warnings.simplefilter("ignore")
    unraisable = []
    sys.unraisablehook = lambda u: unraisable.append(u.exc_value)
    ns = namespace(family)
    kinds = subjects()
    rows = ROWS[family]
    calls = [compile_row(row[0], ns) for row in rows]
    failures = []
    gc.freeze()
    gc.disable()  # collection only between cases, so that a case runs the same alone
    for index in range(first, first + count):
        i = index % len(rows)
        failures += run_case(family, index, rows[i], calls[i], ns, kinds, trace)
        if index % 500 == 499:
            gc.collect()
    gc.collect()
    failures += [f"unraisable {type(e).__name__}: {e}" for e in unraisable if isinstance(e, SystemError)]
    print(json.dumps({"calls": count, "objects": CTX.objects, "failures": failures[:50]}))


if __name__ == "__main__":
    main(sys.argv[1:])
else:  # the proof, as pytest runs it (the child process needs neither pytest nor conftest)
    import subprocess

    import pytest

    from conftest import figure, run_python, scale

    @pytest.fixture(scope="module")
    def tally():
        totals = {"calls": 0, "objects": 0}
        yield totals
        figure("hostile input", f"all families: {totals['calls']} calls with {totals['objects']} hostile objects")

    @pytest.mark.parametrize("family", FAMILIES)
    def test_hostile_input(family, tally):
        flags = [] if sys._is_gil_enabled() else ["-X", "gil=0"]
        count = scale(1200, 40000)

        def child(*extra, timeout=600):
            return run_python(*flags, __file__, family, str(SEED), *extra, timeout=timeout)

        try:
            run = child(str(count), timeout=60 + count // 20)
            died = run.returncode != 0 and "failures" not in run.stdout
        except subprocess.TimeoutExpired:
            died, run = True, None
        if died:  # a crash or a hang: find the case by running again with each case announced first
            try:
                traced = child(str(count), "--trace", timeout=60 + count // 10)
                tail = traced.stderr.strip().splitlines()[-12:]
            except subprocess.TimeoutExpired as e:
                tail = (e.stderr or b"").decode(errors="replace").strip().splitlines()[-4:] + ["(hung)"]
            last = [line.split(":")[0].split()[-1] for line in tail if line.startswith("case ")][-1:] or ["0"]
            pytest.fail(f"{family}: the child process died or hung; the last cases and output:\n" + "\n".join(tail)
                        + f"\nreproduce: python -X gil=0 tests/test_hostile.py {family} {SEED} 1 --first {last[0]}"
                        " --trace")
        report = json.loads(run.stdout.strip().splitlines()[-1])
        tally["calls"] += report["calls"]
        tally["objects"] += report["objects"]
        figure("hostile input", f"{family}: {report['calls']} calls with {report['objects']} hostile objects")
        assert not report["failures"], f"{family}: {len(report['failures'])} failures, first:\n" + "\n".join(
            report["failures"][:8])
