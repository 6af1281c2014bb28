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
