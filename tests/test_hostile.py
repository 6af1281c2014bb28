"""Hostile input at every member of the package (proofs/hostile.py), one child process per family;
the figures go to the end-of-run summary."""

import json
import os
import sys

import pytest

from conftest import PROOFS, figure, run_python, scale
from vantor._build_info import modules


@pytest.mark.parametrize("family", modules)
def test_hostile_input(family):
    flags = [] if sys._is_gil_enabled() else ["-X", "gil=0"]
    seed = os.environ.get("VANTOR_HOSTILE_SEED", "1")
    r = run_python(*flags, str(PROOFS / "hostile.py"), family, seed, scale("5x", "1000x"), timeout=3600)
    assert r.returncode == 0, r.stderr[-3000:]
    report = json.loads(r.stdout.strip().splitlines()[-1])
    figure("hostile input", f"{family}: {report['calls']} calls at {report['rows']} call sites with "
           f"{report['objects']} hostile objects")
    assert not report["failures"], f"{family}: {len(report['failures'])} failures, first:\n" + "\n".join(
        report["failures"][:8])
