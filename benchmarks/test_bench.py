"""The benchmark suite's own checks: every row compares the same computation, the timing runs
implementations interleaved and subtracts the empty loop, and the report shows what is missing.
Nothing here measures or judges a time."""

import itertools
import json
import math
import os
import subprocess
import sys
import sysconfig
import timeit
from pathlib import Path

import pytest

import suite as bench

LIBS = bench.libraries()
TINY = bench.Settings(repeats=1, target_s=0.0, floor=5, particles=100, frames=1, thread_s=0.0)
FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))


@pytest.mark.parametrize("case", bench.cases(), ids=lambda c: c.name)
def test_every_peer_computes_what_vantor_computes(case):
    vantor = LIBS[0]
    expected = bench.run_once(case, bench.statement(case, vantor), vantor.namespace())
    compared = 0
    for lib in LIBS[1:]:
        stmt = bench.statement(case, lib)
        if isinstance(stmt, bench.NA):
            continue
        got = bench.run_once(case, stmt, lib.namespace())
        if case.result is not None:
            assert bench.same(got, expected), f"{lib.name}: {stmt} gives {got!r}, vantor {expected!r}"
            compared += 1
    # Every operation has at least the plain-class baseline to compare with.
    assert compared or case.result is None


def test_results_compare_to_single_precision_and_no_looser():
    assert bench.same(bench.plain(bench.SlotsVector2(0.6, 0.8)), (0.6000000238418579, 0.800000011920929))
    assert bench.plain(3 + 4j) == (3.0, 4.0)
    assert bench.plain([bench.SlotsVector2(1, 2), (3, 4)]) == ((1, 2), (3, 4))
    assert not bench.same((1.0, 2.0), (2.0, 1.0))
    assert not bench.same((1.0, 2.0), (1.0, 2.0, 0.0))
    assert not bench.same(1.0, 1.0001)
    assert not bench.same(True, 1)  # a truth value is not a number that happens to equal it
    assert bench.same(5, 5.0)


def test_a_peer_computing_something_else_or_raising_is_reported_not_timed():
    case = bench.Case("Vector2", "a + b", "a + b", "a = V2(3.0, 4.0); b = V2(1.0, 2.0)",
                      needs=("V2",), peers={"complex": "a * 2.0", "slots": "a.no_such_method()"})
    problems = []
    row = bench.prepare(case, LIBS, TINY, problems)
    assert row.cells["complex"] == "differs" and row.cells["slots"] == "error"
    assert "vantor" in row.measurement.timers
    assert not {"complex", "slots"} & row.measurement.timers.keys()
    assert len(problems) == 2 and "gives (6.0, 8.0), vantor (4.0, 6.0)" in problems[0]
    assert "AttributeError" in problems[1]


class FakeTimer:
    """Costs the next of `ns_per_run` (cycling) per run, and logs the order in which timers run."""

    def __init__(self, name, ns_per_run, log):
        self.name, self.costs, self.log = name, itertools.cycle(ns_per_run), log

    def timeit(self, number):
        self.log.append(self.name)
        return next(self.costs) * number / 1e9


def test_timing_interleaves_implementations_and_subtracts_the_empty_loop(monkeypatch):
    log = []
    monkeypatch.setattr(timeit, "Timer", lambda stmt: FakeTimer("empty", [10], log))
    first = bench.Measurement({"a": FakeTimer("a", [50, 30, 40], log), "b": FakeTimer("b", [70, 90, 80], log)}, 1000)
    # An operation cheaper than the empty loop (noise) reads as zero, never negative.
    second = bench.Measurement({"c": FakeTimer("c", [5], log)}, 10)
    repeats = []
    bench.measure([first, second], 3, repeats.append)
    # Each repeat runs every implementation of every operation, each operation's empty loop too.
    assert log == ["a", "b", "empty", "c", "empty"] * 3
    assert repeats == [1, 2, 3]
    # The best of each, less the empty loop's.
    assert first.ns == pytest.approx({"a": 20.0, "b": 60.0})
    assert second.ns == {"c": 0.0}


def test_batch_size_gives_the_slowest_statement_the_target_time():
    timers = [FakeTimer("fast", [10], []), FakeTimer("slow", [1000], [])]
    assert bench.batch_size(timers, target_s=0.001, floor=10) == 1000
    assert bench.batch_size(timers, target_s=1e-9, floor=10) == 10


def test_summary_shows_ratios_and_why_a_cell_is_empty():
    libs = [bench.Library("vantor", "vantor"), bench.Library("complex", "complex"),
            bench.Library("glm", "PyGLM", missing="ModuleNotFoundError")]
    rows = [bench.Row("Vector2", "a + b", {"vantor": 10.0, "complex": 20.0, "glm": "missing"}),
            bench.Row("Vector2", "a.x = 1.0", {"vantor": 5.0, "complex": "n/a", "glm": "missing"}),
            bench.Row("Rect", "r.x", {"vantor": 7.0, "complex": "n/a", "glm": "missing"})]
    lines = bench.summary(libs, rows)
    assert lines[0].split() == ["operation", "vantor", "complex", "PyGLM"]
    assert lines[1] == "Vector2" and lines[4] == "Rect"
    assert lines[2].split() == ["a", "+", "b", "10.0", "20.0", "(0.50)", "missing"]
    assert lines[3].split()[-3:] == ["5.0", "n/a", "missing"]


def test_particles_move_and_bounce_alike_in_every_library():
    systems = bench.particle_systems(LIBS, 200)
    assert {"vantor", "slots"} <= systems.keys()
    for frame, args in systems.values():
        for _ in range(30):
            frame(*args)
    states = {key: ([tuple(p) for p in args[0]], [tuple(v) for v in args[1]]) for key, (_, args) in systems.items()}
    pos, vel = states["vantor"]
    x, y, w, h = bench.BOX
    step = 200 * bench.DT * math.sqrt(2)
    # A particle that left the box turned back: it is never more than one step outside.
    assert all(x - step <= px <= x + w + step and y - step <= py <= y + h + step for px, py in pos)
    start_vel = [tuple(v) for v in bench.particle_systems(LIBS[:1], 200)["vantor"][1][1]]
    assert sum(v != s for v, s in zip(vel, start_vel)) > 20, "too few particles bounced to exercise the bounce"
    for key, (other_pos, other_vel) in states.items():
        assert all(math.isclose(a, b, abs_tol=0.05) for p, q in zip(pos, other_pos) for a, b in zip(p, q)), key
        assert [tuple(map(math.copysign, (1, 1), v)) for v in vel] == \
            [tuple(map(math.copysign, (1, 1), v)) for v in other_vel], key


def test_thread_scaling_runs_only_with_the_gil_off(monkeypatch):
    monkeypatch.setattr(bench, "gil_enabled", lambda: True)
    assert bench.run_threads(LIBS, TINY) == "n/a (GIL enabled)"
    # With the GIL off (forced here when it is on, which only changes what the figure means), every
    # library with a Vector2 runs on one and on two threads.
    monkeypatch.setattr(bench, "gil_enabled", lambda: False)
    ratios = bench.run_threads(LIBS, TINY)
    assert {"vantor", "complex", "slots"} <= ratios.keys()
    assert all(r > 0 and math.isfinite(r) for r in ratios.values())


def run(*args):
    env = {**os.environ, "SDL_VIDEODRIVER": "dummy", "PYGAME_HIDE_SUPPORT_PROMPT": "1"}
    return subprocess.run([sys.executable, *args], capture_output=True, text=True, cwd="/", env=env, timeout=300)


def test_the_quick_suite_runs_every_section():
    gil_off = ["-X", "gil=0"] if FREE_THREADED else []
    r = run(*gil_off, str(Path(__file__).with_name("bench.py")), "--quick")
    assert r.returncode == 0, r.stdout + r.stderr
    out = r.stdout
    assert "PROBLEM" not in out
    summary = out[out.index("\nsummary:"):]
    for case in bench.cases():
        assert f"  {case.label} " in summary
    for lib in LIBS:
        assert (f"{lib.name:<10} missing: " in out) == bool(lib.missing)
    assert "particles, µs per frame for 1,000: vantor" in summary
    assert "parse_vector2_like(tuple)" in summary
    threads = next(line for line in summary.splitlines() if line.startswith("2 threads over 1"))
    assert ("n/a (GIL enabled)" in threads) == (not FREE_THREADED)


def test_the_entry_point_takes_the_suite_options():
    r = run(str(Path(__file__).with_name("bench.py")), "--quick", "-k", "Color: c.r")
    assert r.returncode == 0, r.stdout + r.stderr
    summary = r.stdout[r.stdout.index("\nsummary:"):].splitlines()
    assert [line.split()[0] for line in summary if line.startswith("  ")] == ["c.r"]
    r = run(str(Path(__file__).with_name("bench.py")), "--no-such-option")
    assert r.returncode == 2 and "usage: benchmarks/bench.py" in r.stderr


def test_save_records_every_library_and_why_a_cell_has_no_figure(tmp_path):
    saved = tmp_path / "run.json"
    r = run(str(Path(__file__).with_name("bench.py")), "--quick", "-k", "Vector2: hash", "--save", str(saved))
    assert r.returncode == 0, r.stdout + r.stderr
    record = json.loads(saved.read_text())
    assert record["interpreter"]["build"] == ("free-threaded" if FREE_THREADED else "default")
    assert [(lib["name"], lib["missing"]) for lib in record["libraries"]] == [(lib.name, lib.missing) for lib in LIBS]
    [row] = record["rows"]
    assert (row["group"], row["label"]) == ("Vector2", "hash(a)")
    assert sorted([*row["ns"], *row["n/a"]]) == sorted(lib.key for lib in LIBS)
    pygame = next(lib for lib in LIBS if lib.key == "pygame")
    assert row["n/a"]["pygame"] == ("missing" if pygame.missing else "unhashable")
