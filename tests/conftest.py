import sys
import sysconfig

import pytest

FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
# The object header: 32 bytes on free-threaded builds, 16 on default ones.
HEADER = 32 if FREE_THREADED else 16

free_threaded_only = pytest.mark.skipif(not FREE_THREADED, reason="needs a free-threaded interpreter")


def run_python(*args, **kwargs):
    """Runs the current interpreter in a child process; returns the CompletedProcess."""
    import subprocess

    return subprocess.run([sys.executable, *args], capture_output=True, text=True, **{"timeout": 120, **kwargs})
