"""Every allocation of every module's start-up and of every operation made to fail in turn
(proofs/allocation_failure.py), one child process per module; the figures go to the end-of-run
summary."""

import json

import pytest

from conftest import FREE_THREADED, PROOFS, figure, run_python, scale
from vantor._build_info import modules

pytest.importorskip("_testcapi")


def prove(*args, flags=()):
    r = run_python(*flags, str(PROOFS / "allocation_failure.py"), *map(str, args), timeout=3600)
    assert r.returncode == 0, r.stderr[-3000:]
    return json.loads(r.stdout.strip().splitlines()[-1])


@pytest.mark.parametrize("name", modules)
def test_every_failed_allocation_at_start_up_ends_cleanly(name):
    result = prove("start-up", name)
    whole = result["attempts"] - result["errors"] - len(result["bad"])
    figure("allocation failure", f"start-up of {name}: {result['attempts']} failing allocations tried, "
           f"{result['errors']} clean errors, {whole} whole modules")
    assert result["bad"] == [], result
    assert result["errors"] > 0, result  # the failures did reach the module


@pytest.mark.parametrize("name", modules)
def test_every_failed_allocation_of_every_operation_ends_cleanly(name):
    result = prove(name, scale(16, 40), scale(10, 1), scale(8, 0), scale(0, 1),  # streak, stride, sample, collect
                   flags=["-X", "gil=0"] * FREE_THREADED)  # (a default build refuses -X gil=0)
    figure("allocation failure", f"{name}: {result['operations']} operations, {result['attempts']} failing "
           f"allocations tried, {result['errors']} clean errors, {result['results']} whole results")
    assert result["bad"] == [], "\n".join(map(repr, result["bad"][:40]))
    assert result["errors"] > 0, result  # the failures did reach the operations
