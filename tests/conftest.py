import sys
import sysconfig

import pytest
from hypothesis import settings

FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
# The object header: 32 bytes on free-threaded builds, 16 on default ones.
HEADER = 32 if FREE_THREADED else 16

# Generated cases are judged by their results only: debug and sanitizer builds run them many times
# slower, so there is no time limit per example.
settings.register_profile("vantor", deadline=None)
settings.load_profile("vantor")

free_threaded_only = pytest.mark.skipif(not FREE_THREADED, reason="needs a free-threaded interpreter")


def run_python(*args, **kwargs):
    """Runs the current interpreter in a child process; returns the CompletedProcess."""
    import subprocess

    return subprocess.run([sys.executable, *args], capture_output=True, text=True, **{"timeout": 120, **kwargs})


# The proofs (threads, allocation failure, exact arithmetic, hostile input) run a quick form by
# default and a full one with VANTOR_PROOFS=full; each records its figures here, and the run
# prints them at the end.
FULL = __import__("os").environ.get("VANTOR_PROOFS") == "full"
FIGURES = []


def scale(quick, full):
    """The count a proof uses: `quick` normally, `full` under VANTOR_PROOFS=full."""
    return full if FULL else quick


def figure(proof, text):
    """Records one line of a proof's figures for the end-of-run summary."""
    FIGURES.append(f"{proof}: {text}")


def pytest_terminal_summary(terminalreporter):
    if FIGURES:
        terminalreporter.section(f"proof figures ({'full' if FULL else 'quick'} form)")
        for line in FIGURES:
            terminalreporter.write_line(line)
