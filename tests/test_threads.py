"""One vector shared by many threads with the GIL disabled: nothing crashes, and the record read
or written as a whole (`data`) is never torn."""

import textwrap

from conftest import free_threaded_only, run_python

HAMMER = textwrap.dedent(
    """
    import threading
    from vantor.vector2.vector2 import Vector2
    from vantor.vector4.vector4 import Vector4
    from vantor.color.color import Color
    from vantor.colors.colors import Colors
    import sys
    assert not sys._is_gil_enabled()

    shared = Vector2()
    other = Vector2(1, 1)
    shared4 = Vector4(1, 2, 3, 4)
    palette = Colors()
    barrier = threading.Barrier(8)
    torn = []
    errors = []

    def guarded(work):
        def run(*args):
            try:
                work(*args)
            except BaseException as e:  # a thread's exception would otherwise only be printed
                errors.append(repr(e))
        return run

    def writer(k):
        barrier.wait()
        for i in range(20000):
            shared.data = {"x": k * 100000 + i, "y": k * 100000 + i}
            palette.Red = Color(i, k, 0) if i % 3 else None

    def reader():
        barrier.wait()
        for _ in range(20000):
            c = palette.Red
            if c is not None:
                c.r + c.g
            d = shared.data
            if d["x"] != d["y"]:
                torn.append(d)

    def mixer():
        barrier.wait()
        for i in range(20000):
            v = shared + other
            v += shared
            shared[i % 2]
            repr(shared); hash(shared); shared.get_normalized(); shared.yx
            Vector2(shared)
            w = shared4
            w += Vector4(shared4.wzyx) * 0.5
            shared4.to_normalized(); shared4[i % 4] = i; shared4.sadd(shared4, shared4)

    threads = [threading.Thread(target=guarded(writer), args=(k,)) for k in range(3)]
    threads += [threading.Thread(target=guarded(reader)) for _ in range(3)]
    threads += [threading.Thread(target=guarded(mixer)) for _ in range(2)]
    for t in threads: t.start()
    for t in threads: t.join()
    assert not errors, errors[:3]
    assert not torn, torn[:3]
    print("ok", shared.x == shared.y)
    """
)


@free_threaded_only
def test_shared_vector_under_free_threading():
    r = run_python("-X", "gil=0", "-c", HAMMER)
    assert r.returncode == 0, r.stderr
    assert r.stdout.split() == ["ok", "True"]


PARSE_WHILE_MUTATING = textwrap.dedent(
    """
    import sys, threading
    import vantor._testclient as client
    assert not sys._is_gil_enabled()

    items = [1.5, 2.5]
    stop = threading.Event()
    barrier = threading.Barrier(4)
    outcomes = set()
    errors = []

    def mutate():
        barrier.wait()
        i = 0
        while not stop.is_set():
            i += 1
            items[i % 2] = float(i)          # the old float is released right away
            if i % 3 == 0:
                items.append(float(i))
            elif len(items) > 2:
                items.pop()

    def parse():
        barrier.wait()
        try:
            for _ in range(30000):
                fields, exc = client.parse("vector2", items)
                outcomes.add(type(exc).__name__)
                if exc is None:
                    assert all(f == int(f) or f in (1.5, 2.5) for f in fields), fields
        except BaseException as e:
            errors.append(repr(e))

    threads = [threading.Thread(target=mutate)] + [threading.Thread(target=parse) for _ in range(3)]
    for t in threads: t.start()
    for t in threads[1:]: t.join()
    stop.set(); threads[0].join()
    assert not errors, errors
    assert outcomes <= {"NoneType", "ValueError", "IndexError"}, outcomes
    print("ok")
    """
)


@free_threaded_only
def test_parsing_a_list_another_thread_changes():
    r = run_python("-X", "gil=0", "-c", PARSE_WHILE_MUTATING)
    assert r.returncode == 0, r.stderr
    assert r.stdout.split() == ["ok"]


SHARED_ITERATORS = textwrap.dedent(
    """
    import sys, threading
    from vantor.color.color import Color
    from vantor.rect.rect import Rect
    from vantor.vector4.vector4 import Vector4
    assert not sys._is_gil_enabled()

    # Each iterator holds the only reference to its object, so a double release frees it twice.
    kinds = [lambda: Color(10, 20, 30, 40), lambda: Vector4(10, 20, 30, 40), lambda: Rect(10, 20, 30, 40)]
    iterators = [iter(kinds[i % 3]()) for i in range(20000)]
    closed = set(range(0, len(iterators), 7))
    barrier = threading.Barrier(8)
    taken = [[] for _ in range(8)]
    errors = []

    def work(k):
        try:
            barrier.wait()
            for i, it in enumerate(iterators):
                if k == 0 and i in closed and hasattr(it, "close"):
                    it.close()
                for value in it:
                    taken[k].append((i, value))
        except BaseException as e:
            errors.append(repr(e))

    threads = [threading.Thread(target=work, args=(k,)) for k in range(8)]
    for t in threads: t.start()
    for t in threads: t.join()
    assert not errors, errors[:3]
    per_iterator = {}
    for pairs in taken:
        for i, value in pairs:
            per_iterator.setdefault(i, []).append(value)
    # Every step is taken exactly once: no channel twice, none after the end, all four unless closed.
    for i in range(len(iterators)):
        values = per_iterator.get(i, [])
        assert len(values) == len(set(values)) <= 4 and set(values) <= {10, 20, 30, 40}, (i, values)
        assert (i in closed and i % 3 == 0) or sorted(values) == [10, 20, 30, 40], (i, values)
    print("ok")
    """
)


@free_threaded_only
def test_one_iterator_shared_by_threads_yields_each_item_once():
    r = run_python("-X", "gil=0", "-c", SHARED_ITERATORS)
    assert r.returncode == 0, r.stderr[-2000:]
    assert r.stdout.split() == ["ok"]


COLLIDE_WHILE_MUTATING = textwrap.dedent(
    """
    import sys, threading
    from vantor.rect.rect import Rect
    assert not sys._is_gil_enabled()

    r = Rect(0, 0, 10, 10)
    items = [1.5, 2.5, 3.5, 4.5]
    stop = threading.Event()
    barrier = threading.Barrier(4)
    outcomes = set()
    errors = []

    def mutate():
        barrier.wait()
        i = 0
        while not stop.is_set():
            i += 1
            items[i % 4] = float(i % 20) if i % 5 else i % 20   # the old item is released at once
            if i % 7 == 0:
                items.append(1.0)
            elif len(items) > 4:
                items.pop()
            elif i % 11 == 0:
                del items[2:]
                items.extend([3.5, 4.5])

    def collide():
        barrier.wait()
        try:
            for _ in range(30000):
                for test in (r.collide_point_list, r.collide_rect_list):
                    try:
                        outcomes.add(test(items))
                    except IndexError:
                        outcomes.add("IndexError")
        except BaseException as e:
            errors.append(repr(e))

    threads = [threading.Thread(target=mutate)] + [threading.Thread(target=collide) for _ in range(3)]
    for t in threads: t.start()
    for t in threads[1:]: t.join()
    stop.set(); threads[0].join()
    assert not errors, errors
    assert outcomes <= {True, False, "IndexError"}, outcomes
    print("ok")
    """
)


@free_threaded_only
def test_collision_tests_on_a_list_another_thread_changes():
    r = run_python("-X", "gil=0", "-c", COLLIDE_WHILE_MUTATING)
    assert r.returncode == 0, r.stderr[-2000:]
    assert r.stdout.split() == ["ok"]


@free_threaded_only
def test_every_type_hammered_by_eight_threads():
    """proofs/threads.py: every shared object of every type, with the GIL off; its figures go to the
    end-of-run summary."""
    from pathlib import Path

    from conftest import FULL, figure

    script = Path(__file__).resolve().parent.parent / "proofs" / "threads.py"
    r = run_python("-X", "gil=0", str(script), "--full" if FULL else "--quick", timeout=900)
    assert r.returncode == 0, r.stdout[-3000:] + r.stderr[-3000:]
    for line in r.stdout.splitlines()[1:-1]:
        figure("threads", line.strip())
