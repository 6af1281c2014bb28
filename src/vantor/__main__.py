"""A short tour of vantor: `python -m vantor`."""

import sys
import sysconfig
import timeit


# Paths for native clients, as pybind11 and nanobind print them: `python -m vantor --cmake-dir`.
PATH_OPTIONS = {
    "--include": "get_include",
    "--cmake-dir": "get_cmake_dir",
    "--pkgconfig-dir": "get_pkgconfig_dir",
}


def print_path(option: str) -> int:
    import vantor

    if option == "--raylib-version":
        print(vantor.raylib_version)
    elif option in PATH_OPTIONS:
        print(getattr(vantor, PATH_OPTIONS[option])())
    else:
        options = ", ".join([*PATH_OPTIONS, "--raylib-version"])
        print(f"usage: python -m vantor [{options}]; with no option, a short tour (the benchmark suite runs "
              "from a clone: python benchmarks/bench.py, or scripts/run-bench)", file=sys.stderr)
        return 2
    return 0


def main() -> None:
    free_threaded = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
    print(f"interpreter: {sys.executable} (Python {sys.version.split()[0]})")
    print(f"free-threaded build: {'yes' if free_threaded else 'no'}")
    gil = sys._is_gil_enabled() if hasattr(sys, "_is_gil_enabled") else True
    print(f"GIL enabled before import: {'yes' if gil else 'no'}")

    from vantor.vector2.vector2 import Vector2
    from vantor.vector3.vector3 import Vector3
    from vantor.vector4.vector4 import Vector4
    from vantor.color.color import Color
    from vantor.colors.colors import Colors
    from vantor.rect.rect import Rect

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
    u, w = Vector3(1, 0, 0), Vector3(0, 1, 0)
    print(f"Vector3: {u!r} x {w!r} = {u.cross(w)!r}; (1, 2, 3).zyx = {Vector3(1, 2, 3).zyx!r}")
    q = Vector4(1, 2, 3, 4)
    print(f"Vector4 (doubles): {q!r}.wzyx = {q.wzyx!r}; Vector4(0.1, 0, 0, 0).x = {Vector4(0.1, 0, 0, 0).x}")
    c, palette = Color(300, 128, -5), Colors()
    print(f"Color(300, 128, -5) = {c!r}; tinted by Colors().Gray: {c.tint(palette.Gray)!r}")
    print(f"  normalized: {c.normalize()!r}; packed: {c.to_int()}; faded to 0.5: ", end="")
    c.fade(0.5)
    print(f"{c!r}")
    r = Rect(0, 0, 10, 20)
    print(f"{r!r}: center {r.center!r}, collides with (10, 20): {r.collide_point((10, 20))}, "
          f"with Rect(10, 0, 5, 5): {r.collide_rect(Rect(10, 0, 5, 5))}")

    print()
    print("timings, ns per operation (best of 5), next to CPython's own complex number as a yardstick:")
    cases = [
        ("construct", "Vector2(1.0, 2.0)", "complex(1.0, 2.0)"),
        ("add", "a + b", "c + d"),
        ("scale", "a * 2.0", "c * 2.0"),
        ("component", "a.x", "c.real"),
        ("equality", "a == b", "c == d"),
        ("hash", "hash(a)", "hash(c)"),
        ("repr", "repr(a)", "repr(c)"),
    ]
    colour_cases = [
        ("Color(...)", "Color(10, 20, 30, 40)"),
        ("tint", "k.tint(k)"),
        ("Colors()", "Colors()"),
        ("Rect(...)", "Rect(1.0, 2.0, 3.0, 4.0)"),
        ("collide", "q.collide_rect_rect(q)"),
    ]
    env = {"Vector2": Vector2, "a": a, "b": b, "c": complex(3, 4), "d": complex(1, 2)}
    env.update(Color=Color, Colors=Colors, k=Color(1, 2, 3, 4), Rect=Rect, q=Rect(0, 0, 2, 2))

    def ns(stmt: str) -> float:
        n = 100_000
        return min(timeit.Timer(stmt, globals=env).repeat(5, n)) / n * 1e9

    print(f"  {'':<10} {'vantor':>8} {'complex':>8} {'ratio':>6}")
    for label, ours, theirs in cases:
        t_ours, t_theirs = ns(ours), ns(theirs)
        print(f"  {label:<10} {t_ours:8.1f} {t_theirs:8.1f} {t_ours / t_theirs:6.2f}  ({ours})")
    for label, stmt in colour_cases:
        print(f"  {label:<10} {ns(stmt):8.1f}")


if __name__ == "__main__":
    if len(sys.argv) > 1:
        sys.exit(print_path(sys.argv[1]))
    main()
