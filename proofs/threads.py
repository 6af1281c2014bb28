"""Shared objects of every type hammered by 8 threads with the GIL off.

    python -X gil=0 proofs/threads.py [--quick | --full] [--iterations N] [--require-gil-off]

Each scenario starts its 8 threads together at a barrier; each thread takes a role (writer, reader,
in-place arithmetic, re-initialisation, list mutation) and runs it for the given number of
iterations on objects all threads share. Writers only ever write values from a known set (for the
vectors and Rect integers below 2**22, for colour channels multiples of 5), and every operation the
others run maps that set into itself, so every value any thread reads must lie in it: a torn
component, a read past the record, or a freed object shows as a value outside the set or as a
crash. Components of one object may come from different writers; that mixture is documented.
Image and GlyphInfo have no writable state at the Python level and are left out.

Prints one line of figures per scenario and exits with status 1 if any check failed.
"""

import argparse
import sys
import threading
import time

import vantor._testclient as client
from vantor.color.color import Color
from vantor.colors.colors import Colors
from vantor.rect.rect import Rect
from vantor.vector2.vector2 import Vector2
from vantor.vector3.vector3 import Vector3
from vantor.vector4.vector4 import Vector4

THREADS = 8
LIMIT = 2**22  # every value written stays below this, so float32 holds it (and sums) exactly


class Failed(Exception):
    pass


def whole(*values):
    """Checks that every value is an integer below LIMIT in magnitude (a torn float is not)."""
    for v in values:
        if not (v == v and abs(v) < 2 * LIMIT and v == int(v)):
            raise Failed(f"read {v!r}, which no thread wrote")
    return len(values)


def fives(*values):
    """Checks colour channels: every channel any thread writes is a multiple of 5."""
    for v in values:
        if not (isinstance(v, int) and 0 <= v <= 255 and v % 5 == 0):
            raise Failed(f"read channel {v!r}, which no thread wrote")
    return len(values)


def value(k, i):
    """The value thread k writes at iteration i: a whole number below LIMIT."""
    return float((k * 1_000_003 + i * 7) % LIMIT)


def vector_roles(T, n):
    shared = T(*([1.0] * n))
    zero, one = T(*([0.0] * n)), T(*([1.0] * n))
    names = "xyzw"[:n]
    swizzle = names[::-1]
    parse = {2: "vector2", 3: None, 4: None}[n]

    def write(k, i):
        v = value(k, i)
        setattr(shared, names[i % n], v)
        shared[(i + 1) % n] = v
        if n == 2 and i % 3 == 0:
            shared.data = {"x": v, "y": v}
        if i % 5 == 0:
            shared.__init__(*([v] * n))  # re-initialisation while others read
        return 0

    def arithmetic(k, i):
        # Each maps whole numbers to whole numbers, whatever mixture of components it reads.
        v = shared
        v += one
        v -= one
        v *= one
        v += zero
        shared.to_neg() if i % 2 else shared.to_abs()
        shared.to_round()
        return whole(*(shared + zero), *(shared * 1.0), *(-shared), *shared.get_abs())

    def read(k, i):
        got = whole(shared[i % n], getattr(shared, names[i % n]), *shared, *tuple(shared), *list(shared))
        got += whole(*shared.get_tuple(), *getattr(shared, swizzle), *shared.copy(), *T(shared))
        if n == 2:
            d = shared.data
            got += whole(d["x"], d["y"])
        if parse:
            fields, exc = client.parse(parse, shared)
            if exc is not None:
                raise exc
            got += whole(*fields)
        hash(shared), repr(shared), shared == one, shared.length, shared.dot(one)
        return got

    return shared, [write, write, arithmetic, arithmetic, read, read, read, read]


def color_roles():
    shared = Color(5, 10, 15, 20)
    white = Color(255, 255, 255, 255)
    # Iterators over the shared colour, shared by all threads: each step is taken by one thread.
    iterators = []

    def write(k, i):
        c = (k * 5 + i * 5) % 255  # multiples of 5 below 255
        channel = ("r", "g", "b", "a", "red", "green", "blue", "alpha")[i % 8]
        setattr(shared, channel, c)
        if i % 7 == 0:
            shared.__init__(c, c, c, c)
        if i % 4 == 0:
            iterators.append(iter(shared))
        return 0

    def read(k, i):
        got = fives(shared.r, shared.g, shared.b, shared.a, shared.red, shared.alpha, *shared, *tuple(shared))
        packed = shared.to_int()
        got += fives(*((packed >> s) & 0xFF for s in (24, 16, 8, 0)))
        got += fives(*shared.tint(white))
        fields, exc = client.parse("color", shared)
        if exc is not None:
            raise exc
        got += fives(*fields)
        if iterators:
            it = iterators[i % len(iterators)]
            got += fives(*(c for c in [next(it, 0)]))
        repr(shared), shared.normalize(), shared.equal(white), shared == white
        return got

    return shared, [write, write, read, read, read, read, read, read]


def rect_roles():
    shared = Rect(0.0, 0.0, 2.0, 2.0)
    point, other = Vector2(1, 1), Rect(1, 1, 4, 4)

    def write(k, i):
        v = value(k, i)
        even = float(int(v) & ~1)  # widths and heights stay even, so every centre is whole
        target = i % 8
        if target == 0:
            shared.x = v
        elif target == 1:
            shared.width = even
        elif target == 2:
            shared.center = (v, v)
        elif target == 3:
            shared.right = v
        elif target == 4:
            shared.height = even
        elif target == 5:
            shared.centery = v
        elif target == 6:
            shared.__init__(v, v, even, even)
        else:
            shared.bottom = v
        return 0

    def read(k, i):
        got = whole(shared.x, shared.y, shared.width, shared.h, shared.left, shared.top)
        got += whole(shared.right, shared.bottom, shared.centerx, *shared.center, *shared)
        got += whole(*shared.get_tuple(), *shared.get_vector4(), shared.get_width())
        fields, exc = client.parse("rect", shared)
        if exc is not None:
            raise exc
        got += whole(*fields)
        tests = (shared.collide_point(point), shared.collide_point_vector2(point), shared.collide_point_tuple((1, 1)),
                 shared.collide_rect(other), shared.collide_rect_rect(other), other.collide_rect_rect(shared),
                 shared.collide_rect_list([1.0, 1.0, 4.0, 4.0]), other.collide_rect(shared))
        if not all(t is True or t is False for t in tests):
            raise Failed(f"collision gave {tests!r}")
        repr(shared)
        return got

    return shared, [write, write, write, read, read, read, read, read]


def palette_roles():
    shared = Colors()
    pool = [Color(5 * j, 5 * j, 5 * j, 255) for j in range(20)]
    fresh = tuple(Colors().Red)

    def write(k, i):
        step = i % 10
        if step < 6:
            shared.Red = pool[(k + i) % len(pool)]
        elif step < 9:
            del shared.Red
        elif k == 0:
            shared.__init__()  # re-initialisation while others read and assign
        else:
            shared.Red = None
        return 0

    def read(k, i):
        c = shared.Red
        if c is None:
            return 1
        if not (c in pool or tuple(c) == fresh):
            raise Failed(f"palette gave {c!r}, which no thread stored")
        shared.Blue, shared.Green  # other places, never written
        return 1

    return shared, [write, write, write, write, read, read, read, read]


def parser_roles():
    # One list, mutated by some threads while others parse it and test collisions against it.
    items = [5.0, 10.0, 15.0, 20.0]
    rect = Rect(0, 0, 100, 100)

    def mutate(k, i):
        try:  # the other mutator may shorten the list between len() and the store
            items[i % len(items)] = float(5 * (i % 40)) if i % 3 else 5 * (i % 40)
        except IndexError:
            pass
        if i % 5 == 0:
            items.append(5.0)
        elif len(items) > 4:
            items.pop()
        if i % 11 == 0:
            del items[2:]
            items.extend([15.0, 20.0])
        return 0

    def parse(k, i):
        got = 0
        for kind, check in (("vector2", whole), ("color", fives), ("rect", whole)):
            fields, exc = client.parse(kind, items)
            if exc is None:
                got += check(*fields)
            elif not isinstance(exc, (ValueError, IndexError)):
                raise exc
        for test in (rect.collide_point_list, rect.collide_rect_list):
            try:
                test(items)
            except (ValueError, IndexError, TypeError):
                pass
        return got

    return items, [mutate, mutate, parse, parse, parse, parse, parse, parse]


SCENARIOS = {
    "Vector2": lambda: vector_roles(Vector2, 2),
    "Vector3": lambda: vector_roles(Vector3, 3),
    "Vector4": lambda: vector_roles(Vector4, 4),
    "Color": color_roles,
    "Rect": rect_roles,
    "Colors": palette_roles,
    "parsers": parser_roles,
}


def run(name, make, iterations):
    _, roles = make()
    barrier = threading.Barrier(THREADS)
    reads = [0] * THREADS
    failures = []

    def work(k):
        role = roles[k]
        try:
            barrier.wait()
            total = 0
            for i in range(iterations):
                total += role(k, i)
            reads[k] = total
        except BaseException as e:  # a thread's exception would otherwise only be printed
            failures.append(f"{role.__name__} thread {k}: {e!r}")

    threads = [threading.Thread(target=work, args=(k,)) for k in range(THREADS)]
    start = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    elapsed = time.perf_counter() - start
    status = "ok" if not failures else f"FAILED: {failures[0]}"
    print(f"  {name:8} {THREADS} threads x {iterations} iterations, {sum(reads):>9,} values read and checked, "
          f"{elapsed:5.2f} s: {status}", flush=True)
    return not failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_const", dest="iterations", const=2000)
    parser.add_argument("--full", action="store_const", dest="iterations", const=50000)
    parser.add_argument("--iterations", type=int)
    parser.add_argument("--require-gil-off", action="store_true",
                        help="fail unless the GIL is off after importing every module")
    parser.add_argument("scenarios", nargs="*", help=f"a subset of: {', '.join(SCENARIOS)}")
    args = parser.parse_args()
    if unknown := set(args.scenarios) - set(SCENARIOS):
        parser.error(f"unknown scenarios: {', '.join(sorted(unknown))}")
    iterations = args.iterations or 2000
    gil = sys._is_gil_enabled() if hasattr(sys, "_is_gil_enabled") else True
    print(f"threads: {sys.version.split()[0]}, GIL {'enabled' if gil else 'disabled'}", flush=True)
    ok = all([run(name, SCENARIOS[name], iterations) for name in args.scenarios or SCENARIOS])
    if args.require_gil_off and gil:
        print("FAILED: the GIL is enabled after importing the modules")
        ok = False
    print("threads: all checks passed" if ok else "threads: FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
