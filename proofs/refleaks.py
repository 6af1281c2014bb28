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
import os
import pickle
import re
import sys
import time
import warnings
from typing import NamedTuple

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import surface as S  # noqa: E402

client = S.client()


def fail(error):
    raise error


# A number and a sequence that fail in every way they are asked; a list subclass whose length and
# items disagree; a float subclass; something with x and y.
Raises = type("Raises", (), {"__float__": lambda self: fail(ArithmeticError("float")), "__len__": lambda self: 2,
                             "__index__": lambda self: fail(ArithmeticError("index")),
                             "__getitem__": lambda self, i: fail(LookupError("item"))})
Lies = type("Lies", (list,), {"__len__": lambda self: 2, "__getitem__": lambda self, i: "no"})
FloatSub = type("FloatSub", (float,), {})
Point = type("Point", (), {"x": 1.0, "y": 2.0})


def pool():
    V2, V3, V4, C, R = (S.sample(S.owner_type(n)) for n in ("Vector2", "Vector3", "Vector4", "Color", "Rect"))
    return [
        None, 0, 1, -1, 3, 2.5, -0.0, float("nan"), float("inf"), 10**30, -(2**70), True, "x", b"ab",
        (1, 2), (1.0, 2.0, 3.0), (1, 2, 3, 4), (1, "a"), (), [1, 2], [1.0, 2.0, 3.0, 4.0], [None, 1],
        {"x": 1, "y": 2}, {"x": 1}, {"r": 1, "g": 2, "b": 3}, V2, V3, V4, C, R, Raises(), Lies([1, 2]),
        FloatSub(1.5), Point(), object(),
    ]


def attempt(f, *args):
    try:
        f(*args)
    except Exception:
        pass


class Call(NamedTuple):
    """One call, and the member of the surface it reaches (or what it is, for the generic protocols)."""

    member: str
    f: object
    args: tuple

    def __call__(self):
        attempt(self.f, *self.args)


BINARY = [operator.add, operator.sub, operator.mul, operator.truediv, operator.eq, operator.lt, operator.getitem,
          operator.contains, operator.iadd, operator.isub, operator.imul, operator.itruediv, operator.matmul]
UNARY = [hash, repr, str, len, list, tuple, bytes, memoryview, bool, operator.neg, operator.pos, abs, copy.copy,
         copy.deepcopy, pickle.dumps, dir, lambda o: [*iter(o)], lambda o: o.__reduce_ex__(2), lambda o: o.__init__()]


def type_batches(T, args, few, pairs, quick):
    """The batches of one type: constructors, methods, properties, slots, and every protocol."""
    out, name, make = [], S.label(T), lambda: S.sample(T)
    ctor_args = [a for n in range(5) for a in itertools.combinations(few, n)]
    if not quick:
        ctor_args += [a for n in (1, 2) for a in itertools.product(args, repeat=n)]
    methods, props, slots = [], [], []
    if T not in S.LEADERS:  # (a type without a constructor refuses, which is a path too)
        out.append((f"{name} constructors", [Call(f"{name}.__new__", T, a) for a in ctor_args]))
    for m in S.members(T):
        on = lambda m=m: getattr(m.owner, m.name) if m.kind == "static" else getattr(make(), m.name)  # noqa: E731
        if m.kind == "new":
            continue
        elif m.kind == "init":
            props += [Call(m.key, lambda *a: make().__init__(*a), a) for a in ((), *((v,) for v in few), args[:4])]
        elif m.kind == "property":
            props.append(Call(m.key, lambda n: getattr(make(), n), (m.name,)))
            props.append(Call(m.key, lambda n: delattr(make(), n), (m.name,)))  # read-only ones refuse
            props += [Call(m.key, lambda n, v: setattr(make(), n, v), (m.name, v)) for v in args]
        elif m.kind == "slot":
            for form in S.SLOTS[m.name]:
                code = compile(form, form, "eval")
                for x, y in pairs[:: 4 if quick else 1] if re.search(r"\b[xa]\b", form) else [(None, None)]:
                    slots.append(Call(m.key, lambda c, x, y: eval(c, vars(operator), {
                        "s": make(), "x": x, "y": y, "a": (x, y)}), (code, x, y)))
        else:
            calls = [()] + [(a,) for a in few] + pairs[:: 4 if quick else 1]
            methods += [Call(m.key, lambda on, *a: on()(*a), (on, *a)) for a in calls]
    slots += [Call("protocols", f, (make(), v)) for f in BINARY for v in args]
    slots += [Call("protocols", f, (v, make())) for f in (operator.add, operator.mul, operator.eq) for v in args]
    slots += [Call("protocols", operator.setitem, (make(), k, v)) for v in args for k in (0, 1, 5, -1, "x")]
    slots += [Call("protocols", f, (make(),)) for f in UNARY + [lambda o: o.__init__(*args[:4])]]
    out += [(f"{name} methods", methods), (f"{name} properties", props), (f"{name} operators and slots", slots)]
    return out


NEW = object()  # in a table entry's arguments: a new object of the table's type


def batches(args, quick):
    """(name, [calls]) for every type and family; each call takes no arguments."""
    out = []
    few = args[:: 3] if quick else args
    pairs = list(itertools.product(few, repeat=2))
    for T in S.types():
        out += type_batches(T, args, few, pairs, quick)
    # The native tables through the test client: every entry name of every header, on every table
    # (a wrong name or shape is an error path too), and the constructors of the structs-only tables.
    names = list(dict.fromkeys(e.name for e in S.everything() if e.kind == "entry"))
    shapes = [(NEW,), (NEW, NEW), (NEW, NEW, 0), (NEW, NEW, 1), (NEW, NEW, NEW, 0), (NEW, 0), (NEW, 1), ((1, 2),),
              ((1, 2, 3),), ((1, 2, 3, 4),), (NEW, 0.5), (10, 20, 30, 40)] + [(NEW, v, 0) for v in few] + [(v,) for v in few]
    tables = []
    for m in S.tables():
        if m in S.CLIENT:
            e = next(e for e in S.everything() if e.kind == "entry" and e.owner == m)
            numbers = [1] * len(S.wants(e))
            tables += [Call(e.key, getattr(client, S.CLIENT[m]), (*numbers[:i], v, *numbers[i + 1:]))
                       for i in range(len(numbers)) for v in (None, *few)]
            continue
        slot, own, T = getattr(client, f"{m}_slot"), {e.name: e.key for e in S.entries(m)}, S.table_type(m)
        tables += [Call(own.get(n, "another table's entry"), lambda slot, n, shape, T=T: slot(n, *(
            S.sample(T) if x is NEW else x for x in shape)), (slot, n, s)) for n in names for s in shapes]
    out.append(("native tables", tables))
    parsers = [Call(p.key, client.parse, (p.name, v)) for p in S.everything() if p.kind == "parser" for v in args]
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
                    print(f"    leaks: {call!r}: references {r}, blocks {b}", flush=True)
    elapsed = time.perf_counter() - start
    print(f"refleaks: {total:,} distinct calls, each run {warmups + repetitions} times; "
          f"{len(leaking)} leaking; {elapsed:.1f} s")
    return 1 if leaking else 0


if __name__ == "__main__":
    sys.exit(main())
