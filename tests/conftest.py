import sys
import sysconfig
from pathlib import Path

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


# The proofs live in proofs/ (each also runs as a script); the suite runs their quick forms, or the
# full ones with VANTOR_PROOFS=full, and prints the figures they record at the end.
PROOFS = Path(__file__).resolve().parent.parent / "proofs"
sys.path.insert(0, str(PROOFS))
pytest.register_assert_rewrite("exact_arithmetic")
from runner import FIGURES, FULL, figure, run_python, scale  # noqa: E402,F401


def pytest_terminal_summary(terminalreporter):
    if FIGURES:
        terminalreporter.section(f"proof figures ({'full' if FULL else 'quick'} form)")
        for line in FIGURES:
            terminalreporter.write_line(line)
