"""A short tour of vantor: `python -m vantor`."""

import sys
import sysconfig
import timeit


def main() -> None:
    free_threaded = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
    print(f"interpreter: {sys.executable} (Python {sys.version.split()[0]})")
    print(f"free-threaded build: {'yes' if free_threaded else 'no'}")
    gil = sys._is_gil_enabled() if hasattr(sys, "_is_gil_enabled") else True
    print(f"GIL enabled before import: {'yes' if gil else 'no'}")

    from vantor.vector2.vector2 import Vector2

    if hasattr(sys, "_is_gil_enabled"):
        print(f"GIL enabled after importing vantor: {'yes' if sys._is_gil_enabled() else 'no'}")

    a, b = Vector2(3, 4), Vector2(1, 2)
    print()
    print(f"a = {a!r}, b = {b!r}")
    print(f"a + b = {a + b!r}")
    print(f"a * 2 = {a * 2!r}, a // 2 = {a // 2!r}")
    print(f"a.length = {a.length}, a.get_normalized() = {a.get_normalized()!r}")
    print(f"a.dot(b) = {a.dot(b)}, a.distance_to(b) = {a.distance_to(b)}")
    print(f"a.yx = {a.yx!r}, a.data = {a.data}")
    print(f"Vector2(0.1, 0).x = {Vector2(0.1, 0).x} (stored in single precision)")

    print()
    print("timings (ns per call, best of 5):")
    cases = {
        "Vector2(1.0, 2.0)": "Vector2(1.0, 2.0)",
        "a + b": "a + b",
        "a * 2.0": "a * 2.0",
        "a.length": "a.length",
        "a.dot(b)": "a.dot(b)",
        "a[0]": "a[0]",
    }
    env = {"Vector2": Vector2, "a": a, "b": b}
    for label, stmt in cases.items():
        timer = timeit.Timer(stmt, globals=env)
        n = 200_000
        best = min(timer.repeat(5, n)) / n * 1e9
        print(f"  {label:<20} {best:7.1f}")


if __name__ == "__main__":
    main()
