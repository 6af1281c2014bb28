"""Reference and memory-block leaks, hunted the way CPython's own `-R` option does.

    python3.15d proofs/refleaks.py [--quick | --full]

Needs a debug build of CPython (sys.gettotalrefcount) and vantor built against its debug headers.
Every operation of every type is generated from the types themselves and from a pool of
arguments, most of them wrong, so the error paths run as often as the normal ones: constructors,
methods, properties (read, assigned, deleted), operators and protocol slots, the native tables and
the parsers through the test client. The calls are grouped in batches (one per type and family);
each batch runs a few times to warm the interpreter's caches, then several times more while the
total reference count and the number of allocated memory blocks are compared before and after.
A batch leaks when every measured repetition grows a count (CPython's rule, which tolerates the
odd cache filling late); a leaking batch is split to name the calls that leak.

Prints the figures and exits with status 1 if anything leaks.
"""

import argparse
import copy
import gc
import itertools
import operator
import pickle
import sys
import time
import warnings

import vantor._testclient as client
from vantor.color.color import Color
from vantor.colors.colors import Colors
from vantor.image.image import Image
from vantor.rect.rect import Rect
from vantor.runecell.runecell import GlyphInfo
from vantor.vector2.vector2 import Vector2
from vantor.vector3.vector3 import Vector3
from vantor.vector4.vector4 import Vector4


class Raises:
    """A number and a sequence that fail in every way they are asked."""

    def __float__(self):
        raise ArithmeticError("float")

    def __index__(self):
        raise ArithmeticError("index")

    def __len__(self):
        return 2

    def __getitem__(self, i):
        raise LookupError("item")


class Lies(list):
    """A list subclass whose length and items disagree."""

    def __len__(self):
        return 2

    def __getitem__(self, i):
        return "no"


class FloatSub(float):
    pass


class Point:
    x, y = 1.0, 2.0


def pool():
    return [
        None, 0, 1, -1, 3, 2.5, -0.0, float("nan"), float("inf"), 10**30, -(2**70), True, "x", b"ab",
        (1, 2), (1.0, 2.0, 3.0), (1, 2, 3, 4), (1, "a"), (), [1, 2], [1.0, 2.0, 3.0, 4.0], [None, 1],
        {"x": 1, "y": 2}, {"x": 1}, {"r": 1, "g": 2, "b": 3}, Vector2(1, 2), Vector3(1, 2, 3),
        Vector4(0.1, 0.2, 0.3, 0.4), Color(1, 2, 3, 4), Rect(1, 2, 3, 4), Raises(), Lies([1, 2]),
        FloatSub(1.5), Point(), object(),
    ]


def instances():
    return {
        Vector2: lambda: Vector2(3, 4),
        Vector3: lambda: Vector3(1, 2, 3),
        Vector4: lambda: Vector4(1, 2, 3, 4),
        Color: lambda: Color(10, 20, 30, 40),
        Rect: lambda: Rect(1, 2, 3, 4),
        Colors: Colors,
        Image: lambda: client.image_new(4, 4, 1, 7, -1, 0),
        GlyphInfo: lambda: client.glyph_new(65, 1, 2, 3, 4, 4, 1, 7, None),
    }


def attempt(f, *args):
    try:
        f(*args)
    except Exception:
        pass


def type_batches(T, make, args, few, pairs, quick):
    """The batches of one type: constructors, methods, properties, operators and slots."""
    out = []
    name = T.__name__
    ctor_args = [a for n in range(5) for a in itertools.combinations(few, n)]
    if not quick:
        ctor_args += [a for n in (1, 2) for a in itertools.product(args, repeat=n)]
    ctor = [lambda a=a: attempt(T, *a) for a in ctor_args]
    out.append((f"{name} constructors", ctor))
    methods, props = [], []
    for attr, d in vars(T).items():
        if attr.startswith("__") or attr in ("__init__",):
            continue
        if hasattr(d, "__get__") and hasattr(d, "__set__"):
            props.append(lambda attr=attr: attempt(getattr, make(), attr))
            props.append(lambda attr=attr: attempt(delattr, make(), attr))
            props += [lambda attr=attr, v=v: attempt(setattr, make(), attr, v) for v in args]
        else:
            calls = [()] + [(a,) for a in few] + pairs[:: 4 if quick else 1]
            methods += [lambda attr=attr, a=a: attempt(lambda: getattr(make(), attr)(*a)) for a in calls]
    out.append((f"{name} methods", methods))
    out.append((f"{name} properties", props))
    binary = [operator.add, operator.sub, operator.mul, operator.truediv, operator.eq, operator.lt,
              operator.getitem, operator.contains, operator.iadd, operator.isub, operator.imul,
              operator.itruediv, operator.matmul]
    slots = [lambda f=f, v=v: attempt(f, make(), v) for f in binary for v in args]
    slots += [lambda f=f, v=v: attempt(f, v, make()) for f in (operator.add, operator.mul, operator.eq) for v in args]
    slots += [lambda v=v, k=k: attempt(operator.setitem, make(), k, v) for v in args for k in (0, 1, 5, -1, "x")]
    unary = [hash, repr, str, len, list, tuple, bytes, memoryview, bool, operator.neg, operator.pos, abs,
             copy.copy, copy.deepcopy, pickle.dumps, dir, lambda o: [*iter(o)],
             lambda o: o.__reduce_ex__(2), lambda o: o.__init__(), lambda o: o.__init__(*args[:4])]
    slots += [lambda f=f: attempt(f, make()) for f in unary]
    out.append((f"{name} operators and slots", slots))
    return out


def batches(args, quick):
    """(name, [calls]) for every type and family; each call takes no arguments."""
    out = []
    few = args[:: 3] if quick else args
    pairs = list(itertools.product(few, repeat=2))
    for T, make in instances().items():
        out += type_batches(T, make, args, few, pairs, quick)
    # The native tables and the parsers, through the test client.
    entries = ["new", "cfrom_ints", "cfrom_floats", "cfrom_list", "cfrom_tuple", "cfrom_struct", "cfrom_xy",
               "cfrom_xyz", "cfrom_xyzw", "cfrom_vector2", "cfrom_vector3", "cfrom_vector4", "_add", "_sub",
               "_iadd", "_isub", "_imul", "_sadd", "sadd", "c_get_tuple", "distance_to", "distance_squared_to",
               "dot", "cross", "get_tuple", "to_round", "get_round", "to_abs", "get_abs", "to_neg", "get_neg",
               "get_int_tuple", "get_rounded_tuple", "copy", "to_normalized", "get_normalized", "c_normalize",
               "c_equal", "c_tint", "fade", "to_int", "collide_point", "collide_point_vector2",
               "collide_point_tuple", "collide_point_list", "collide_rect", "collide_rect_vector4",
               "collide_rect_rect", "collide_rect_tuple", "collide_rect_list", "get_width", "get_height",
               "get_vector4"]
    tables = []
    for slot, make in ((client.vector2_slot, instances()[Vector2]), (client.vector3_slot, instances()[Vector3]),
                       (client.vector4_slot, instances()[Vector4]), (client.color_slot, instances()[Color]),
                       (client.rect_slot, instances()[Rect])):
        shapes = [lambda m=make: (m(),), lambda m=make: (m(), m()), lambda m=make: (m(), m(), 0),
                  lambda m=make: (m(), m(), 1), lambda m=make: (m(), m(), m(), 0), lambda m=make: (m(), 0),
                  lambda m=make: (m(), 1), lambda: ((1, 2),), lambda: ((1, 2, 3),), lambda: ((1, 2, 3, 4),),
                  lambda m=make: (m(), 0.5), lambda: (10, 20, 30, 40)]
        shapes += [lambda v=v, make=make: (make(), v, 0) for v in few] + [lambda v=v: (v,) for v in few]
        tables += [lambda slot=slot, e=e, s=s: attempt(lambda: slot(e, *s())) for e in entries for s in shapes]
    out.append(("native tables", tables))
    parsers = [lambda k=k, v=v: attempt(client.parse, k, v) for k in ("vector2", "color", "rect") for v in args]
    out.append(("parsers", parsers))
    return out


def counts():
    gc.collect()
    return sys.gettotalrefcount(), sys.getallocatedblocks()


def deltas(calls, warmups, repetitions):
    """Per measured repetition, the growth of the reference and block counts over `calls`."""
    refs, blocks = [], []
    for i in range(warmups + repetitions):
        r0, b0 = counts()
        for call in calls:
            call()
        r1, b1 = counts()
        if i >= warmups:
            refs.append(r1 - r0)
            blocks.append(b1 - b0)
    return refs, blocks


def leaks(refs, blocks):
    return all(d >= 1 for d in refs) or all(d >= 1 for d in blocks)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_const", dest="mode", const="quick")
    parser.add_argument("--full", action="store_const", dest="mode", const="full")
    args = parser.parse_args()
    quick = args.mode != "full"
    if not hasattr(sys, "gettotalrefcount"):
        print("refleaks: needs a debug build of CPython (sys.gettotalrefcount)")
        return 2
    warnings.simplefilter("ignore")
    warmups, repetitions = (3, 3) if quick else (4, 8)
    start = time.perf_counter()
    print(f"refleaks: {sys.version.split()[0]}, {warmups} warm-up and {repetitions} measured repetitions "
          f"per batch ({'quick' if quick else 'full'} form)", flush=True)
    total, leaking = 0, []
    for name, calls in batches(pool(), quick):
        refs, blocks = deltas(calls, warmups, repetitions)
        total += len(calls)
        bad = leaks(refs, blocks)
        print(f"  {name:34} {len(calls):6,} calls  references {refs}  blocks {blocks}"
              f"{'  LEAKS' if bad else ''}", flush=True)
        if bad:
            # Name the calls: each measured on its own, repeated so that one leaked reference shows.
            for call in calls:
                r, b = deltas([call] * 20, warmups, repetitions)
                if leaks(r, b):
                    leaking.append((name, call, r, b))
                    print(f"    leaks: {call.__defaults__!r}: references {r}, blocks {b}", flush=True)
    elapsed = time.perf_counter() - start
    print(f"refleaks: {total:,} distinct calls, each run {warmups + repetitions} times; "
          f"{len(leaking)} leaking; {elapsed:.1f} s")
    return 1 if leaking else 0


if __name__ == "__main__":
    sys.exit(main())
