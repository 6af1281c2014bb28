"""scripts/lib.sh, which every script sources: its run endings decide whether a CI step passes, and
sourcing it must build nothing."""

import os
import subprocess
from pathlib import Path

import pytest

LIB = Path(__file__).resolve().parent.parent / "scripts" / "lib.sh"
pytestmark = pytest.mark.skipif(not LIB.exists(), reason="a copy of the tests without the scripts")


def run_lib(body, cache):
    """Runs `body` in bash after sourcing lib.sh as the scripts do; returns the CompletedProcess."""
    script = f'set -euo pipefail\n. "{LIB}"\n{body}'
    env = {**os.environ, "VANTOR_CACHE": str(cache)}
    return subprocess.run(["bash", "-c", script, "probe"], env=env, capture_output=True, text=True, timeout=60)


@pytest.mark.parametrize(
    "body, code, last_line",
    [
        ("step true; finish", 0, "[probe] passed"),
        # A failed step is logged and the run goes on to the next, but the run fails.
        ('step true; step sh -c "exit 3"; step true; finish', 1, "[probe] failed (exit status 1"),
        ("fail stubtest; finish", 1, "[probe] failed (exit status 1"),
        ("sh -c 'exit 5' || status=$?; finish", 5, "[probe] failed (exit status 5"),
    ],
)
def test_finish_exits_with_the_runs_status(tmp_path, body, code, last_line):
    r = run_lib(body, tmp_path)
    assert r.returncode == code, r.stderr
    assert r.stderr.splitlines()[-1].startswith(last_line), r.stderr
    assert ("FAILED: " in r.stderr) == (code == 1), r.stderr


def test_sourcing_only_defines(tmp_path):
    cache = tmp_path / "cache"
    r = run_lib('printf "%s\\n" "$root" "$venv"', cache)
    assert r.returncode == 0 and r.stderr == "", r.stderr
    assert r.stdout.split() == [str(LIB.parent.parent), str(cache / "venv")]
    assert list(cache.iterdir()) == []
