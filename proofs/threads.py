"""Shared objects of every type hammered by 8 threads with the GIL off.

    python -X gil=0 proofs/threads.py [--quick | --full] [--iterations N] [--require-gil-off] [SCENARIO...]

Each scenario starts its threads (8, or 4 around a list) together at a barrier; each thread takes a
role (writer, reader, in-place arithmetic, re-initialisation, list mutation) and runs it for the
given number of iterations (some scenarios a multiple of it; a list's mutator until the others are
done) on objects all threads share. Writers only ever write values from a known set (for the
vectors and Rect integers below 2**22, for colour channels multiples of 5), and every operation the
others run maps that set into itself, so every value any thread reads must lie in it: a torn
component, a read past the record, or a freed object shows as a value outside the set or as a
crash. Components of one object may come from different writers; that mixture is documented.
The
later scenarios check whole records (never torn), parses and collision tests on a changing list
(values some thread wrote, or an error of the list's length) and iterators shared by all threads
(each step taken once). Image and GlyphInfo have no writable state at the Python level and are left
out.

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


def parsed_fields(kind, obj):  # what the parser of `kind` reads from obj (its error raised)
    fields, exc = client.parse(kind, obj)
    if exc is not None:
        raise exc
    return fields


def vector_roles(T, n):
    shared = T(*([1.0] * n))
    zero, one = T(*([0.0] * n)), T(*([1.0] * n))
    names = "xyzw"[:n]
    swizzle = names[::-1]
    parse = {2: "vector2", 3: None, 4: None}[n]
    unit = T(*([1.0] + [0.0] * (n - 1)))
    rotation = (0.0,) if n == 2 else (unit, 0.0)

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
        # The in-place toolbox, each with arguments that keep whole numbers whole whatever the other
        # threads write meanwhile: bounds, a target within reach, a reflection off an axis, a rotation
        # by zero.
        shared.to_clamped(zero - one * LIMIT, one * LIMIT)
        if i % 7 == 0:
            shared.to_moved_toward(one, 2.0 * LIMIT * n)
        if n < 4:
            shared.to_reflected(unit)
            shared.to_rotated(*rotation)
            shared.to_clamped_length(0.0, 4.0 * LIMIT)
        return whole(*(shared + zero), *(shared * 1.0), *(-shared), *shared.get_abs(), *shared.get_min(one),
                     *shared.lerp(one, 0.0))

    def read(k, i):
        got = whole(shared[i % n], getattr(shared, names[i % n]), *shared, *tuple(shared), *list(shared))
        got += whole(*shared.get_tuple(), *getattr(shared, swizzle), *shared.copy(), *T(shared))
        if n == 2:
            d = shared.data
            got += whole(d["x"], d["y"])
        if parse:
            got += whole(*parsed_fields(parse, shared))
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
        got += fives(*parsed_fields("color", shared))
        if iterators:
            it = iterators[i % len(iterators)]
            got += fives(*(c for c in [next(it, 0)]))
        repr(shared), shared.normalize(), shared.equal(white), shared == white
        return got

    return shared, [write, write, read, read, read, read, read, read]


def rect_roles():
    shared = Rect(0.0, 0.0, 2.0, 2.0)
    point, other = Vector2(1, 1), Rect(1, 1, 4, 4)

    box = Rect(0, 0, LIMIT, LIMIT)
    # In-place methods that keep every field whole and widths and heights even: moves and growth
    # come in pairs that undo each other, clamping keeps the size, a union with nothing copies.
    methods = [lambda: shared.to_moved(1, -1), lambda: shared.to_moved((-1, 1)), lambda: shared.to_inflated(2, 2),
               lambda: shared.to_inflated(-2, -2), lambda: shared.to_scaled_by(1), lambda: shared.to_clamped(box),
               lambda: shared.to_normalized(), lambda: shared.to_union_all([])]

    def write(k, i):
        v = value(k, i)
        even = float(int(v) & ~1)  # widths and heights stay even, so every centre is whole
        name, x = [("x", v), ("width", even), ("center", (v, v)), ("right", v), ("height", even), ("centery", v),
                   (None, None), ("bottom", v), ("topleft", (v, v)), ("bottomright", (v, v)), ("midtop", (v, v)),
                   ("midright", Vector2(v, v)), ("size", (even, even)), ("method", None)][i % 14]
        if name == "method":
            methods[(k + i) % len(methods)]()
        else:
            shared.__init__(v, v, even, even) if name is None else setattr(shared, name, x)
        return 0

    def read(k, i):
        got = whole(shared.x, shared.y, shared.width, shared.h, shared.left, shared.top)
        got += whole(shared.right, shared.bottom, shared.centerx, *shared.center, *shared)
        got += whole(*shared.get_tuple(), *shared.get_vector4(), shared.get_width())
        got += whole(*parsed_fields("rect", shared))
        got += whole(*shared.topleft, *shared.topright, *shared.bottomleft, *shared.midbottom, *shared.midleft,
                     *shared.size, *shared.get_moved(1, 1), *shared.get_clipped(other), *shared.get_inflated(2, 2),
                     *shared.get_normalized())
        shared.get_union(other), shared.get_union_all([other, (0, 0, 2, 2)])  # may span more than LIMIT
        got += whole(*shared.collide_list_all([other, other]), shared.collide_list([shared, other]))
        if shared.clip_line(0, 0, 3, 3) and not all(len(p) == 2 for p in shared.clip_line((0, 0), (3, 3))):
            raise Failed("clip_line gave a malformed line")
        tests = (shared.collide_point(point), shared.collide_point_vector2(point), shared.collide_point_tuple((1, 1)),
                 shared.collide_rect(other), shared.collide_rect_rect(other), other.collide_rect_rect(shared),
                 shared.collide_rect_list([1.0, 1.0, 4.0, 4.0]), other.collide_rect(shared), shared.contains(other),
                 shared.collide_circle(point, 2.0), other.collide_list([shared]) >= -1)
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


def record_roles():
    """Whole-record writes (`data`) and palette assignments against readers and arithmetic on the
    same objects: no read of `data` is torn (x and y are always written equal), and afterwards the
    vector holds a record some writer wrote whole."""
    shared, other, shared4, palette = Vector2(), Vector2(1, 1), Vector4(1, 2, 3, 4), Colors()

    def write(k, i):
        shared.data = {"x": k * 100000 + i, "y": k * 100000 + i}
        palette.Red = Color(i, k, 0) if i % 3 else None
        return 0

    def read(k, i):
        if (c := palette.Red) is not None:
            c.r + c.g
        if (d := shared.data)["x"] != d["y"]:
            raise Failed(f"read the torn record {d}")
        return 2

    def mix(k, i):
        v = shared + other
        v += shared
        shared[i % 2], repr(shared), hash(shared), shared.get_normalized(), shared.yx, Vector2(shared)
        w = shared4
        w += Vector4(shared4.wzyx) * 0.5
        shared4.to_normalized()
        shared4[i % 4] = i
        shared4.sadd(shared4, shared4)
        return 0

    def check():
        if shared.x != shared.y:
            raise Failed(f"left {shared!r}, which no writer wrote")
    return shared, [write] * 3 + [read] * 3 + [mix] * 2, check


def list_roles(items, mutate, check):
    """`mutate` changing `items` (item assignment releases the old item at once) until three threads
    running `check` on it are done."""
    mutate.background = True
    return items, [mutate] + [lambda k, i: check(items)] * 3


def parse_list_roles():
    items = [1.5, 2.5]

    def mutate(k, i):
        items[i % 2] = float(i)
        items.append(float(i)) if i % 3 == 0 else items.pop() if len(items) > 2 else None
        return 0
    return list_roles(items, mutate, parsed)


def collide_list_roles():
    items = [1.5, 2.5, 3.5, 4.5]

    def mutate(k, i):
        items[i % 4] = float(i % 20) if i % 5 else i % 20
        if i % 7 == 0:
            items.append(1.0)
        elif len(items) > 4:
            items.pop()
        elif i % 11 == 0:
            del items[2:]
            items.extend([3.5, 4.5])
        return 0
    return list_roles(items, mutate, collided)


def rect_list_roles():
    """Rect list tests while the list changes: exact Rects (read under the list's lock) give way to a
    tuple and back, items are replaced (the old Rect freed at once), appended and popped."""
    items = [Rect(j, 0, 2, 2) for j in range(8)]

    def mutate(k, i):
        items[i % 8] = Rect(i % 20, 0, 2, 2) if i % 3 else (i % 20, 0, 2, 2)
        if i % 7 == 0:
            items.append(Rect(1, 1, 1, 1))
        elif len(items) > 8:
            items.pop()
        return 0
    return list_roles(items, mutate, rect_listed)


def rect_listed(items, r=Rect(0, 0, 10, 10)):
    """Indices of items some thread put there; unions of rectangles some thread wrote."""
    hits, first = r.collide_list_all(items), r.collide_list(items)
    if not all(type(j) is int and 0 <= j < 9 for j in hits) or not -1 <= first < 9:
        raise Failed(f"collide_list_all gave {hits}, collide_list {first}")
    whole(*r.get_union_all(items))
    return 2


def parsed(items):
    """The vector2 parser on the list gives numbers some thread wrote, or says its length is wrong."""
    fields, exc = client.parse("vector2", items)
    if exc is None and not all(f == int(f) or f in (1.5, 2.5) for f in fields):
        raise Failed(f"parsed {fields}, which no thread wrote")
    if exc is not None and not isinstance(exc, (ValueError, IndexError)):
        raise exc
    return 2


def collided(items, r=Rect(0, 0, 10, 10)):
    """The list collision tests give True or False, or say the list is too short."""
    for test in (r.collide_point_list, r.collide_rect_list):
        try:
            out = test(items)
        except IndexError:
            continue
        if out is not True and out is not False:
            raise Failed(f"{test.__name__} gave {out!r}")
    return 2


def iterator_roles(count):
    """`count` iterators over colours, vectors and rectangles, each holding the only reference to its
    object (a double release frees it twice), walked by 8 threads at once, one closing every seventh:
    each step is taken by one thread, none after the end, and one not closed yields all four values."""
    kinds = [lambda: Color(10, 20, 30, 40), lambda: Vector4(10, 20, 30, 40), lambda: Rect(10, 20, 30, 40)]
    iterators, closed = [iter(kinds[i % 3]()) for i in range(count)], set(range(0, count, 7))
    taken = [[] for _ in range(THREADS)]  # (i, value) by the thread that took it

    def walk(k, i):
        if k == 0 and i in closed and hasattr(iterators[i], "close"):
            iterators[i].close()
        taken[k].extend((i, value) for value in iterators[i])
        return 1

    def check():
        per_iterator = {}
        for i, value in (pair for pairs in taken for pair in pairs):
            per_iterator.setdefault(i, []).append(value)
        for i in range(count):
            values = per_iterator.get(i, [])
            if len(values) != len(set(values)) or not set(values) <= {10, 20, 30, 40} or not (
                    i in closed and i % 3 == 0 or sorted(values) == [10, 20, 30, 40]):
                raise Failed(f"iterator {i} gave {values}")
    return iterators, [walk] * THREADS, check


# Each scenario: how to make its objects and roles (given its iteration count), and the multiple of
# the common iteration count it runs.
SCENARIOS = {
    "Vector2": (lambda n: vector_roles(Vector2, 2), 1),
    "Vector3": (lambda n: vector_roles(Vector3, 3), 1),
    "Vector4": (lambda n: vector_roles(Vector4, 4), 1),
    "Color": (lambda n: color_roles(), 1),
    "Rect": (lambda n: rect_roles(), 1),
    "Colors": (lambda n: palette_roles(), 1),
    "parsers": (lambda n: parser_roles(), 1),
    "records": (lambda n: record_roles(), 10),
    "parse-list": (lambda n: parse_list_roles(), 15),
    "collide-list": (lambda n: collide_list_roles(), 15),
    "rect-list": (lambda n: rect_list_roles(), 15),
    "iterators": (iterator_roles, 10),
}


def run(name, iterations):
    make, factor = SCENARIOS[name]
    iterations *= factor
    _, roles, *check = make(iterations)
    barrier, reads, failures, done = threading.Barrier(len(roles)), [0] * len(roles), [], threading.Event()

    def work(k):
        role = roles[k]
        try:
            barrier.wait()
            total, i = 0, 0
            while (i < iterations) if not hasattr(role, "background") else not done.is_set():
                total += role(k, i)
                i += 1
            reads[k] = total
        except BaseException as e:  # a thread's exception would otherwise only be printed
            failures.append(f"{role.__name__} thread {k}: {e!r}")

    threads = [threading.Thread(target=work, args=(k,)) for k in range(len(roles))]
    start = time.perf_counter()
    for t in threads:
        t.start()
    for t in [t for t, role in zip(threads, roles) if not hasattr(role, "background")]:
        t.join()
    done.set()  # then the background roles stop
    for t in threads:
        t.join()
    try:
        for c in check:
            c()
    except Failed as e:
        failures.append(f"afterwards: {e}")
    elapsed = time.perf_counter() - start
    status = "ok" if not failures else f"FAILED: {failures[0]}"
    print(f"  {name:12} {len(roles)} threads x {iterations} iterations, {sum(reads):>9,} values read and checked, "
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
    ok = all([run(name, iterations) for name in args.scenarios or SCENARIOS])
    if args.require_gil_off and gil:
        print("FAILED: the GIL is enabled after importing the modules")
        ok = False
    print("threads: all checks passed" if ok else "threads: FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
