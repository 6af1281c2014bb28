"""Hostile input: every constructor, method, property, slot, table entry and parser of the package (as
proofs/surface.py enumerates them) meets generated objects whose conversions (__float__, __index__,
__int__, __len__, __iter__, __getitem__, comparisons, arithmetic, attribute reads, overrides a native
caller dispatches to) raise, lie, return the wrong type, re-enter the object being built or assigned,
or change the container being read.

Every call must end in a result or an ordinary exception: never a crash, a hang or SystemError (the
calls go through a C caller that turns a result returned with an exception set, or an error return
without one, into SystemError). An exception the hostile code raised that no one may swallow (a
BaseException) must come out unchanged. Afterwards the object reads as documented: a failed setter,
and every call that only reads, leave it as it was; a successful setter changes only its own fields;
a failed parse returns an all-zero struct. When hostile code changed the object in the middle of a
call, "as it was" is the state that change left.

    python -X gil=0 proofs/hostile.py FAMILY SEED COUNT [--first INDEX] [--trace]

runs COUNT cases (or COUNT per call site: "5x") of one family (a module's types, the types they lead
to, its table entries or parsers) in a forked child (proofs/runner.py): a crash or a hang is reported
with its case, and the run goes on after it. --trace runs them in this process, each announced first.
Prints the figures as JSON.
"""

import functools
import gc
import itertools
import json
import math
import operator
import os
import random
import re
import sys
import warnings
from typing import NamedTuple

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import runner  # noqa: E402
import surface as S  # noqa: E402

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
# What a special method gives when it behaves; the overrides below add theirs.
GOOD = {"clamp_magnitude_ip": (None,), "clamp_magnitude_ip@": (None,), "__float__": FLOATS, "__index__": INTS,
        "__int__": INTS, "__bool__": (True, False), "__add__": FLOATS, "__sub__": FLOATS,
        "keys": (["x", "y"], ["y"], "xy")}


# What a native caller dispatches to with flag 0, by type: each method whose override it runs, also
# as a property ("fade@", which may raise or give a non-callable); each gives, when it behaves, what
# the type's own method gives (or None instead of an object).
OVERRIDES = {T: [n + at for n in S.overridden(T) for at in ("", "@")] for T in S.types() if S.overridden(T)}
for _T, _names in OVERRIDES.items():
    for _n in _names[::2]:
        _x = getattr(_T, _n)(S.sample(_T), *S.fresh(S.tame(S.member(_T, _n))))
        GOOD[_n] = GOOD[_n + "@"] = FLOATS if type(_x) is float else INTS if type(_x) is int else (
            True, False, NotImplemented) if type(_x) is bool else (_x, None)


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
    base = rng.choice((object, object, object, float, int, *OVERRIDES))
    if base is not object:
        names = [rng.choice(SUBCLASS_METHODS + tuple(OVERRIDES.get(base, ())))]
    elif rng.random() < 0.8:  # mostly something that converts, so that calls get past their first test
        names = [rng.choice(conversions)] + rng.sample(NUMBER_METHODS[3:], rng.randint(0, 1))
    else:
        names = rng.sample(NUMBER_METHODS, rng.randint(1, 2))
    value = {float: rng.choice(FLOATS), int: rng.choice(INTS[:9])}.get(base, tuple(range(1, S.fields(base) + 1)))
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
    """An object of one of the package's types that Python code can make."""
    T = rng.choice([T for T in S.types() if "__new__" in vars(T)])
    return T(*values(T, rng))


def values(T, rng):
    """Field values for T (numbers for a float field, channels for an integer one)."""
    return [rng.choice(FLOATS) if want(T) == "n" else rng.randrange(256) for _ in range(S.fields(T))]


def want(T):  # what T's fields want: numbers ("n") or integers ("i")
    return S.wants(S.member(T, T.__match_args__[0]))[0]


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

@functools.cache
def kind(T):
    """(make, snap, pokes, readable) for objects of T: a new one (maybe a hostile subclass, made by a
    native caller, or holding hostile objects); its state field by field (its buffer's items as bits,
    so that NaN equals itself, else the numbers the client reads from its record, else which objects
    it holds); functions changing it as its setters and in-place methods do; a check that it reads."""
    names, sample = getattr(T, "__match_args__", ()), S.sample(T)
    new = next((e for e in S.everything() if e.kind == "entry" and e.owner == S.home(T) and e.name == "new"), None)
    new_args = new and S.fresh(S.tame(new))  # (numbers and None: shared by every call)
    props = [m for m in S.members(T) if m.kind == "property"]
    held = [(m.name, type(v)) for m in props if m.settable and type(v := getattr(sample, m.name)) in S.types()]
    settable = [m.name for m in props if m.settable and S.leads(m)]
    writers = [(getattr(T, m.name), S.tame(m)) for m in S.members(T) if m.kind == "method" and S.in_place(m)]
    shown = [(vars(T)[m.name], type(getattr(sample, m.name))) for m in props if m.settable or S.leads(m)]

    def make(rng):
        if T in S.LEADERS:  # the iterator of the type's own __iter__, even on a hostile subclass
            return S.LEADERS[T].__iter__(kind(S.LEADERS[T])[0](rng)) if "__next__" in vars(T) else sample
        if T in OVERRIDES and rng.random() < 0.5:
            extra = ["__float__", "__int__", "__index__", "__len__", "__iter__", "__del__"]
            return build(rng, 0, T, [rng.choice(OVERRIDES[T] + extra)], value=tuple(values(T, rng)))
        if new and rng.random() < 0.3:  # made by a native caller
            return S.caller(new)(*new_args)
        if names or "__new__" not in vars(T):
            return T(*values(T, rng)) if names else S.sample(T)
        s = T() if rng.random() < 0.8 or not S.subclassable(T) else type("Sub", (T,), {})()
        for name, V in held and (rng.sample(held, 1) + held[:1]):  # released, with a hostile __del__, while in use
            setattr(s, name, build(rng, 0, V, ["__del__"], value=tuple(values(V, rng))))
        return s

    def pokes(s, rng):
        fresh = T(*values(T, rng)) if names else S.sample(T, 1)
        return [lambda n=n: setattr(s, n, getattr(fresh, n)) for n in settable] + [
            lambda n=n: delattr(s, n) for n in settable] + [lambda f=f, k=k: f(s, *S.fresh(k)) for f, k in writers] + [
            lambda: T.__init__(s, *values(T, rng))] * ("__init__" in vars(T)) + [
            lambda: T.__setitem__(s, rng.randrange(len(names)), rng.choice(FLOATS))] * ("__setitem__" in vars(T))

    def readable(s):
        for d, held_type in shown:  # every property reads as what a sample holds there, or None
            assert (v := d.__get__(s)) is None or isinstance(v, held_type), f"{d.__name__} reads {v!r}"
        if names:  # the representation shows the fields, in order; the length counts them
            text, at = T.__repr__(s), 0
            for name in names:
                at = text.index(repr(vars(T)[name].__get__(s)), at)
            assert T.__len__(s) == len(names)
    record, held_at = S.record(T), [vars(T)[m.name] for m in props if m.settable]
    snap = (lambda s: tuple(memoryview(s).cast("B").cast({1: "B", 4: "I", 8: "Q"}[memoryview(s).itemsize]))) if (
        "__buffer__" in vars(T)) else (lambda s: tuple(x for x in record(s) if isinstance(x, (int, float)))) if (
        record) else (lambda s: tuple(id(d.__get__(s)) for d in held_at))
    return make, snap, pokes, readable


# ---- the calls, from the surface: `s` is the object under test, `a` the arguments --------------
#
# Wants: those of surface.wants(), "*" repeating one a random number of times. Effects: "new" (makes
# an object of the type in `detail`), "pure" (changes nothing), "set" (on failure nothing changes, on
# success at most the fields in `detail`, or any when None), "partial" (stores as it converts). A
# property may change the fields a tame assignment changes; a method whose docstring says "in place",
# an entry that returns nothing or is such a method, in-place operators, item assignment and
# re-initialisation (field by field where surface.FIELDWISE says so) may change their object.

Row = NamedTuple("Row", [("code", str), ("wants", str), ("effect", str), ("detail", object), ("subject", type),
                         ("key", str)])  # (subject: the type of `s`; key: the member's)
CHANGING = {"__iadd__", "__isub__", "__imul__", "__setitem__", "__delitem__"}


def keywords(f, a, keys, *lead):
    """f(*lead, *a) with a random tail of `a` given by random keywords of `keys` (a type's fields,
    or its properties, and "k", which no constructor takes)."""
    return f(*lead, *a[:(k := CTX.rng.randrange(len(a) + 1))], **dict(zip(CTX.rng.sample(keys, len(keys)), a[k:])))


def compile_row(code, ns):
    return eval(compile(f"lambda s, a: {code}", code, "eval"), ns)


def observe(code, T, args, ns, others=()):
    """What the call gives, with tame arguments, on a sample whose fields are all negative and not
    whole (rounding, negation or absolute value change each); and the fields it changed there and on
    the samples numbered `others` (which fields a method changes may depend on where the object is:
    a union moves x only when the other rectangle lies further left)."""
    result, changed, snap = None, set(), kind(T)[1]
    for i in (-1, *others):
        s = S.sample(T, i)
        before = snap(s)
        try:
            got = compile_row(code, dict(ns, T=T))(s, args)
        except Exception:
            got = None
        result = got if i == -1 else result
        changed |= {k for k, (x, y) in enumerate(zip(before, snap(s))) if x != y}
    return result, changed


def spread(code, words, effect, detail, T, key):  # a row for each choice among the alternatives ("t2|t3")
    return [Row(code, " ".join(w), effect, detail, T, key) for w in itertools.product(*(w.split("|") for w in words))]


def type_rows(T, ns):
    F, out = S.fields(T), []
    for m in filter(S.leads, S.members(T)):
        key, name = m.key, m.name
        words = [w if w[0] != "@" else "a" for w in S.wants(m)] if m.kind in ("method", "static", "slot") else []
        if m.kind in ("new", "init"):
            keys = [*(getattr(T, "__match_args__", ()) or [n.name for n in S.members(T) if n.settable]), "k"]
            head, tail = ("T(", f"keywords(T, a, {keys})") if m.kind == "new" else (
                "T.__init__(s, ", f"keywords(T.__init__, a, {keys}, s)")
            effect, detail = ("new", T) if m.kind == "new" else ("partial" if T.__name__ in S.FIELDWISE else "set", None)
            forms = [(tail, "a*"), (head + "*a)", "a*")] + ([(head + "*a)", f"{want(T)}*"), (head + "a[0])", f"s{F}")]
                                                          if F else [])
            forms += [(head + "a[0], a[1])", f"s{F // 2} s{F // 2}")] if F >= 4 else []
            out += [Row(code, w, effect, detail, T, key) for code, w in forms]
        elif m.kind == "property":
            pick = f"R.choice(G[{m.group!r}])" if m.group != m.name else repr(name)
            out.append(Row(f"getattr(s, {pick})", "", "pure", None, T, key))
            if m.settable:
                for code, ws, args in ((f"setattr(s, {name!r}, a[0])", S.wants(m), S.fresh(S.tame(m))),
                                       (f"delattr(s, {name!r})", [], [])):
                    out += spread(code, ws, "set", observe(code, T, args, ns)[1], T, key)
                out += spread(f"setattr(s, {pick}, a[0])", S.wants(m), "set", None, T, key) if m.group != m.name else []
        elif m.kind == "slot":
            for form in S.SLOTS[name]:
                code = re.sub(r"\by\b", "a[1]", re.sub(r"\bx\b", "a[0]", form))
                used = ["a*"] if "*" in words else [w for w, v in zip(words, "xy") if re.search(rf"\b{v}\b", form)]
                out += spread(code, used, "set" if name in CHANGING else "pure", None, T, key)
        else:
            call = f"T.{name}(" if m.kind == "static" else f"T.{name}(s, "
            result, changed = observe(call + "*a)", T, S.fresh(S.tame(m) or ()), ns, (5,) if S.in_place(m) else ())
            effect, detail = ("new", type(result)) if m.kind == "static" and type(result) in S.types() else (
                ("set", changed or None) if S.in_place(m) else ("pure", None))
            keyed = [call + f"**dict(R.sample(list(zip({m.params!r}, a)), {len(m.params)})))"] if m.params else []
            out += [Row(call + "*a)", "a*", effect, detail, T, key)] + [
                r for c in ([call + "*a)"] + keyed) * (words != ["*"]) for r in spread(c, words, effect, detail, T, key)]
    return out


def table_rows(e, ns):
    """The rows of a table entry or a parser, called through the test client."""
    if e.kind == "parser":
        T = next(T for T in S.types() if T.__name__.lower() == e.name)
        return spread(f"parse({e.name!r}, a[0])", S.wants(e), "pure", None, T, e.key)
    words, own = list(S.wants(e)), e.params[0][1] == "self"
    T = S.owner_type(words.pop(0)[1:]) if own else S.table_type(e.owner)
    call = f"client.{S.CLIENT.get(e.owner, f'{e.owner}_slot')}(" + ("" if e.owner in S.CLIENT else f"{e.name!r}, ")
    result, changed = observe(call + ("s, *a)" if own else "*a)"), T, S.fresh(S.tame(e))[own:], ns)
    void = next(r for n, r, _ in S.header_entries(e.owner) if n in (e.name, e.name + "_")) == "void"
    effect, detail = ("new", type(result)) if not own and type(result) in S.types() else ("set", changed or None) if (
        own and (void or e.name in vars(T) and S.in_place(S.member(T, e.name)))) else ("pure", None)
    out = spread(call + ("s, *a)" if own else "*a)"), words, effect, detail, T, e.key)
    for i, w in enumerate(words):  # the object under test as another argument, which only reads it
        if own and w == f"@{T.__name__}":
            out += spread(call + f"*a[:{i + 1}], s, *a[{i + 1}:])", [w] + words[:i] + words[i + 1:], "pure", None, T, e.key)
    return out


def rows(family, ns):
    return [r for T in S.types() if S.home(T) == family for r in type_rows(T, ns)] + [
        r for e in S.everything() if e.kind in ("entry", "parser") and e.owner == family for r in table_rows(e, ns)]


# ---- one case ------------------------------------------------------------------------------------

def namespace():
    client = S.client()

    def parse(kind, obj):
        fields, exc = client.parse(kind, obj)
        if exc is not None:
            raise Broken(f"a failed parse returned {fields}") if any(fields) else exc
        return fields

    groups = {m.group: [n.name for n in S.members(m.owner) if n.group == m.group] for m in S.everything()
              if m.kind == "property"}
    rng = type("R", (), {"__getattr__": lambda self, name: getattr(CTX.rng, name)})()
    return dict(vars(operator), client=client, parse=parse, keywords=keywords, R=rng, G=groups)


def arguments(rng, wants, n):
    out = []
    for want in wants.split():
        for _ in range(rng.choice((0, 1, 2, n - 1, n, n, n, n + 1)) if want.endswith("*") else 1):
            want = want.rstrip("*")
            if want[0] == "@":  # what a native caller must pass: the type (or a subclass of it), or None
                T = S.owner_type(want[1:])
                out.append(rng.choice([S.sample(T), S.sample(T), None] + ([build(rng, 0, T, [rng.choice(
                    OVERRIDES[T] + ["__del__", "__float__"])], value=tuple(values(T, rng)))] if T in OVERRIDES else [])))
            elif want == "p" and rng.random() < 0.5:  # what the test client converts: plain, or hostile
                out.append(hostile(rng, 0, "n"))
            elif want in "fb":
                out.append(rng.choice((0, 1) if want == "f" else (None, bytearray(64))))
            else:
                out.append(hostile(rng, 0, want[0], int(want[1:]) if want[1:] else n))
    return out


def run_case(family, index, row, call, trace):
    """Runs case `index` of `family`: returns the problems found."""
    rng = random.Random(f"{SEED}:{family}:{index}")
    CTX.rng, CTX.pokes, CTX.alarm, CTX.wrote, CTX.live, CTX.depth, CTX.budget = rng, [], None, False, False, 0, 8
    make, snap, pokes, readable = kind(row.subject)
    s, CTX.snap = make(rng), snap
    CTX.subject, CTX.pokes = s, CTX.pokes + pokes(s, rng)
    a = arguments(rng, row.wants, S.fields(row.subject) or 4)
    if trace:
        print(f"case {index}: {row.code}  s={s!r}  a={a!r}", file=sys.stderr, flush=True)
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
    if row.effect == "new" and error is None and not isinstance(result, row.detail):
        problems.append(f"returned {type(result).__name__}, not {row.detail.__name__}")
    post, before = snap(s), CTX.last if CTX.wrote else pre
    if row.effect == "pure" or row.effect == "set" and error is not None:
        if post != before:
            problems.append(f"{'failed' if error else 'read-only'} call changed the object: {before} -> {post}")
    elif row.effect == "set" and row.detail is not None and not CTX.wrote:
        changed = {i for i, (x, y) in enumerate(zip(pre, post)) if x != y}
        if changed - row.detail:
            problems.append(f"the setter changed fields {sorted(changed)}; it may change {sorted(row.detail)}")
    try:
        readable(s)
    except Exception as e:
        problems.append(f"unreadable afterwards: {type(e).__name__}: {e}")
    return [f"case {index} [{row.code}]: {p} (error {type(error).__name__}: {error})" for p in problems]


def cases(family, rows, calls, first, last, trace, where):
    """Cases first .. last - 1, each reported as it ends (with the case running marked in `where`)."""
    unraisable = []
    sys.unraisablehook = lambda u: unraisable.append(u.exc_value)
    gc.freeze()
    gc.disable()  # collection only between cases, so that a case runs the same alone
    for index in range(first, last):
        runner.mark(where, index)
        failures = run_case(family, index, rows[index % len(rows)], calls[index % len(rows)], trace)
        gc.collect() if index % 500 == 499 else None
        failures += [f"case {index}: unraisable {type(e).__name__}: {e}" for e in unraisable if isinstance(e, SystemError)]
        yield {"objects": CTX.objects, "failures": failures}
        CTX.objects = unraisable.clear() or 0


def main(argv):
    import faulthandler

    faulthandler.enable()
    family, count, trace = argv[0], argv[2], "--trace" in argv
    first = int(argv[argv.index("--first") + 1]) if "--first" in argv else 0
    warnings.simplefilter("ignore")
    ns = namespace()
    table = rows(family, ns)
    calls = [compile_row(r.code, dict(ns, T=r.subject)) for r in table]
    # "5x": 5 cases a call site, and for a family with few call sites at least 240 times as many.
    count = max(int(count[:-1]) * len(table), 240 * int(count[:-1])) if count.endswith("x") else int(count)
    summary, start, where = {"calls": count, "rows": len(table), "objects": 0, "failures": []}, first, runner.progress()
    while start < first + count:  # in a forked child (or, with --trace, in this process for a debugger)
        items = list(cases(family, table, calls, start, first + count, True, where)) if trace else runner.forked(
            where, 60, cases, family, table, calls, start, first + count, False, where)
        start = first + count
        if items and "crash" in items[-1]:  # a crash or a hang: report the case, and go on after it
            crash = items.pop()
            at, start = crash["at"][0], crash["at"][0] + 1
            summary["failures"].append(f"case {at} [{table[at % len(table)].code}]: the process died or hung "
                                       f"({crash['crash']}); reproduce: python -X gil=0 proofs/hostile.py {family} "
                                       f"{SEED} 1 --first {at} --trace")
        summary["objects"] += sum(item.get("objects", 0) for item in items)
        summary["failures"] += [f for item in items for f in item.get("failures", [item.get("proof error")])]
    print(json.dumps(dict(summary, failures=summary["failures"][:50])))


if __name__ == "__main__":
    main(sys.argv[1:])
