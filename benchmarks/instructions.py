#!/usr/bin/env python3
"""Instructions per operation: `python benchmarks/instructions.py [--quick] [--check] [--record]`.

The benchmark suite's rows and peers (benchmarks/suite.py), counted in machine instructions instead of
timed: each statement runs in a child process under `valgrind --tool=cachegrind --cache-sim=no`,
with address-space randomisation off and PYTHONHASHSEED=0, at two loop counts; the difference of the
two totals over the difference of the counts is the cost of one iteration, from which the empty
loop's cost, found the same way, is subtracted. Start-up, imports and set-up cost the same in both
runs and cancel, so a figure is repeatable to a fraction of an instruction whatever else the
machine does, where a timed ratio of a 30 ns operation moves by 30 % from run to run.

The counts of vantor's rows are kept in benchmarks/instructions.json, per interpreter (its version
and build). `--check` compares this interpreter's counts with that baseline and exits non-zero
when a vantor row grew by more than 3 %; `--record` writes them into it. Peers' rows are reported
and never checked. The children run in parallel on every core; valgrind must be on PATH
(scripts/run-bench --instructions installs it).
"""

from __future__ import annotations

import argparse
import json
import os
import platform
import re
import shutil
import subprocess
import sys
import sysconfig
import time
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field
from pathlib import Path

import suite as bench

BASELINE = Path(__file__).with_name("instructions.json")
# A vantor row may grow by this much over the baseline before --check fails.
TOLERANCE = 0.03
# Loop counts: the difference (LOOPS[1] - LOOPS[0] iterations) is what is measured. The counts have
# the same number of digits, so the two children's command lines are the same length.
LOOPS = (10_000, 30_000)
PARTICLES, FRAMES = 1_000, (2, 6)
EMPTY = "pass"
PARTICLE_ROW = "particle frame"
# The rows of --quick (what CI runs and checks): a few of every type, the ones a change to the
# shared code paths (construction, arithmetic, attributes, iteration, method calls, the argument
# kinds of the collision tests, the toolbox's argument reading and derived objects) would move first.
QUICK = {
    "Vector2: Vector2(1.0, 2.0)", "Vector2: Vector2(3, 4)", "Vector2: a + b", "Vector2: a * 2.0",
    "Vector2: a += b", "Vector2: a == b", "Vector2: a.dot(b)", "Vector2: a.yx", "Vector2: a.length",
    "Vector2: a.x", "Vector2: a.x = 1.0", "Vector2: x, y = a", "Vector2: tuple(a)",
    "Vector3: a.cross(b)", "Vector4: a + b", "Color: Color(10, 20, 30, 40)", "Color: c.r", "Color: c.tint(d)",
    "Rect: r.x", "Rect: r.center", "Rect: r.collide_point((x, y))", "Rect: r.collide_point_vector2(p)",
    "Rect: r.collide_rect(rect)", "Rect: r.collide_rect_rect(o)", "Rect: r.get_width()",
    "Vector2: a.get_rotated(0.5)", "Vector2: a.lerp(b, 0.5)", "Color: c.lerp(d, 0.5)", "Rect: r.get_clipped(o)",
    "Rect: r.collide_list_all(rects)",
}


def say(*args: object) -> None:
    print(*args, flush=True)


def interpreter() -> dict[str, str]:
    """What the counts depend on besides vantor's code: the interpreter's version and build."""
    free = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
    return {"key": f"{platform.python_version()} {'free-threaded' if free else 'default'}",
            "python": sys.version.split()[0], "build": "free-threaded" if free else "default",
            "machine": platform.machine()}


# ---- the child: one statement at one loop count ------------------------------------------------


def child(task: dict) -> None:
    """Runs what `task` names (a statement with its set-up and namespace, or the particle frame)
    for `task["n"]` iterations; the parent counts the whole process. The namespace comes as import
    references, so that the child imports only the library it runs."""
    import importlib
    import timeit

    if task.get("particles"):
        import suite

        (lib,) = suite.libraries(only=task["lib"])
        frame, args = suite.particle_systems([lib], task["particles"])[lib.key]
        for _ in range(task["n"]):
            frame(*args)
        return
    namespace = {}
    for name, ref in task["namespace"].items():
        module, _, qualname = ref.partition(":")
        value = importlib.import_module(module)
        for part in qualname.split(".") if qualname else ():
            value = getattr(value, part)
        namespace[name] = value
    timeit.Timer(task["stmt"], setup=task["setup"], globals=namespace).timeit(task["n"])


def references(lib: bench.Library) -> dict[str, str]:
    """The library's namespace as import references, "module:qualname" (a module: its name)."""
    return {name: value.__name__ if isinstance(value, type(os)) else f"{value.__module__}:{value.__qualname__}"
            for name, value in lib.namespace().items()}


# ---- the parent: jobs, counting, the table -----------------------------------------------------


@dataclass
class Job:
    row: str  # "group: label", the baseline's key
    lib: str  # library key
    task: dict  # what the child runs, less the loop count
    loops: tuple[int, int]
    totals: list[int] = field(default_factory=list)

    @property
    def per_iteration(self) -> float:
        (n1, n2), (t1, t2) = self.loops, self.totals
        return (t2 - t1) / (n2 - n1)


def child_command() -> list[str]:
    """valgrind's cachegrind over this interpreter running this file's child, ASLR off; the GIL
    state the parent runs with is passed on."""
    cmd = ["setarch", platform.machine(), "-R", "valgrind", "--tool=cachegrind", "--cache-sim=no",
           "--cachegrind-out-file=/dev/null", sys.executable]
    if sysconfig.get_config_var("Py_GIL_DISABLED") and not bench.gil_enabled():
        cmd += ["-X", "gil=0"]
    return cmd + [os.path.abspath(__file__), "--child"]


REFS = re.compile(r"I\s+refs:\s+([\d,]+)")


def count(task: dict, n: int) -> int:
    env = {**os.environ, "PYTHONHASHSEED": "0"}
    p = subprocess.run([*child_command(), json.dumps({**task, "n": n})], env=env, capture_output=True, text=True)
    m = REFS.search(p.stderr)
    if p.returncode != 0 or not m:
        raise RuntimeError(f"child {task} failed ({p.returncode}):\n{p.stderr[-2000:]}")
    return int(m[1].replace(",", ""))


def run_jobs(jobs: list[Job], workers: int, progress) -> None:
    tasks = [(job, n) for job in jobs for n in job.loops]
    with ThreadPoolExecutor(workers) as pool:
        results = pool.map(lambda t: count(t[0].task, t[1]), tasks)
        for done, ((job, _), total) in enumerate(zip(tasks, results), 1):
            job.totals.append(total)
            progress(done, len(tasks))


def make_jobs(libs: list[bench.Library], quick: bool, only: str | None, problems: list[str]) -> list[Job]:
    """One job per row and library that has the operation and computes what vantor computes."""
    jobs = [Job("empty loop", "complex", {"stmt": EMPTY, "setup": "pass", "namespace": {}}, LOOPS)]
    for case in bench.cases():
        if (quick and case.name not in QUICK) or (only and only.lower() not in case.name.lower()):
            continue
        expected = None
        for lib in libs:
            stmt = bench.statement(case, lib)
            if isinstance(stmt, bench.NA):
                continue
            try:
                got = bench.run_once(case, stmt, lib.namespace())
            except Exception as e:
                problems.append(f"{case.name}: {lib.name} `{lib.show(stmt)}` raised {type(e).__name__}: {e}")
                continue
            if lib.key == "vantor":
                expected = got
            elif case.result is not None and expected is not None and not bench.same(got, expected):
                problems.append(f"{case.name}: {lib.name} `{lib.show(stmt)}` gives {got!r}, vantor {expected!r}")
                continue
            jobs.append(Job(case.name, lib.key, {"stmt": stmt, "setup": case.setup, "namespace": references(lib)},
                            LOOPS))
    if not only or only.lower() in PARTICLE_ROW:
        for key in bench.particle_systems(libs, 1):
            jobs.append(Job(PARTICLE_ROW, key, {"lib": key, "particles": PARTICLES}, FRAMES))
    return jobs


def results(jobs: list[Job]) -> dict[str, dict[str, float]]:
    """Row -> library key -> instructions per operation, the empty loop's subtracted (per frame for
    the particle row, whose loop cost is negligible)."""
    empty = next(j.per_iteration for j in jobs if j.row == "empty loop")
    out: dict[str, dict[str, float]] = {}
    for j in jobs:
        if j.row == "empty loop":
            continue
        loop = 0.0 if j.row == PARTICLE_ROW else empty
        out.setdefault(j.row, {})[j.lib] = j.per_iteration - loop
    return out


def table(libs: list[bench.Library], counts: dict[str, dict[str, float]]) -> list[str]:
    """Instructions per operation for each library; for each peer, vantor's count over its count
    in parentheses; last, vantor over the fewest-instructions peer."""
    peers = [lib for lib in libs[1:] if any(lib.key in c for c in counts.values())]
    lines = [f"{'operation':<34}{'vantor':>9}" + "".join(f"{lib.name:>17}" for lib in peers) + f"{'best peer':>11}"]
    group = None
    for row, cells in counts.items():
        g, _, label = row.partition(": ") if row != PARTICLE_ROW else ("Particles", "", f"frame of {PARTICLES:,}")
        if g != group:
            group = g
            lines.append(group)
        ours = cells.get("vantor")
        out = []
        for lib in peers:
            theirs = cells.get(lib.key)
            if theirs is None:
                out.append("n/a")
            elif ours is not None and theirs > 0:
                out.append(f"{theirs:.0f} ({ours / theirs:.2f})")
            else:
                out.append(f"{theirs:.0f}")
        best = min((v for k, v in cells.items() if k != "vantor" and v > 0), default=None)
        ratio = f"{ours / best:.2f}" if ours is not None and best else "-"
        lines.append(f"  {label:<32}{ours if ours is None else f'{ours:.0f}':>9}" + "".join(f"{c:>17}" for c in out)
                     + f"{ratio:>11}")
    return lines


# ---- the baseline ------------------------------------------------------------------------------


def load_baseline() -> dict:
    return json.loads(BASELINE.read_text()) if BASELINE.exists() else {}


def record(counts: dict[str, dict[str, float]], interp: dict[str, str]) -> None:
    """Writes vantor's counts of this run into the baseline, under this interpreter's key; rows of
    this interpreter not in this run keep their recorded counts."""
    data = load_baseline()
    entry = data.setdefault(interp["key"], {})
    entry.update({k: v for k, v in interp.items() if k != "key"})
    rows = entry.setdefault("rows", {})
    rows.update({row: round(cells["vantor"], 1) for row, cells in counts.items() if "vantor" in cells})
    entry["rows"] = dict(sorted(rows.items()))
    BASELINE.write_text(json.dumps(dict(sorted(data.items())), indent=1) + "\n")


def check(counts: dict[str, dict[str, float]], interp: dict[str, str]) -> list[str]:
    """vantor's rows that grew by more than TOLERANCE over the baseline (empty: none did), after
    printing how every checked row compares."""
    baseline = load_baseline()
    entry = baseline.get(interp["key"])
    if not entry:
        # Counts from another interpreter version say nothing about this code: nothing is checked.
        say(f"check: not done, {BASELINE.name} has no counts for {interp['key']} (it has: "
            f"{', '.join(baseline) or 'none'}); record them with --record")
        return []
    failures, compared, largest = [], 0, (0.0, "")
    for row, cells in counts.items():
        base = entry["rows"].get(row)
        if "vantor" not in cells or base is None:
            continue
        compared += 1
        growth = cells["vantor"] / base - 1 if base > 0 else 0.0
        largest = max(largest, (growth, row))
        if cells["vantor"] > base * (1 + TOLERANCE):
            failures.append(f"{row}: {cells['vantor']:.0f} instructions, baseline {base:.0f} ({growth:+.1%})")
    say(f"check: {compared} vantor rows against the baseline of {interp['key']} (tolerance {TOLERANCE:.0%}); "
        f"largest growth {largest[0]:+.1%}{' (' + largest[1] + ')' if largest[1] else ''}")
    if compared == 0:
        failures.append(f"no row of this run is in the baseline of {interp['key']}")
    return failures


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="benchmarks/instructions.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="only the rows CI checks")
    parser.add_argument("-k", "--only", metavar="TEXT", help="only the rows whose name holds TEXT")
    parser.add_argument("--check", action="store_true", help="fail when a vantor row grew by more than 3%% "
                        "over the baseline")
    parser.add_argument("--record", action="store_true", help="write vantor's counts into the baseline")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1, help="children at a time")
    parser.add_argument("--child", metavar="TASK", help=argparse.SUPPRESS)
    args = parser.parse_args(argv)
    if args.child:
        child(json.loads(args.child))
        return 0
    if not shutil.which("valgrind"):
        say("valgrind is not installed (scripts/run-bench --instructions installs it)")
        return 1

    started = time.perf_counter()
    interp = interpreter()
    libs = bench.libraries()
    say(f"interpreter: {sys.executable} (Python {interp['python']}, {interp['build']} build, "
        f"GIL {'enabled' if bench.gil_enabled() else 'disabled'})")
    for lib in libs:
        say(f"  {lib.name:<10} {'missing: ' + lib.missing if lib.missing else lib.version}")
    problems: list[str] = []
    jobs = make_jobs(libs, args.quick, args.only, problems)
    print(f"counting {len(jobs)} statements at two loop counts each under cachegrind, {args.jobs} at a time;",
          end="", flush=True)
    run_jobs(jobs, args.jobs, lambda done, total: done % 20 == 0 and print(f" {done}/{total}", end="", flush=True))
    say()
    counts = results(jobs)
    say()
    say("instructions per operation (empty loop subtracted; particles: per frame); in parentheses vantor's "
        "count over the peer's")
    for line in table(libs, counts):
        say(line)
    failures: list[str] = []
    if args.record:
        record(counts, interp)
        say(f"recorded vantor's counts for {interp['key']} in {BASELINE}")
    if args.check:
        failures = check(counts, interp)
    for p in problems:
        say(f"PROBLEM: {p}")
    for f in failures:
        say(f"GREW: {f}")
    say(f"({time.perf_counter() - started:.1f} s)")
    return 1 if problems or failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
