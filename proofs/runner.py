"""How the proofs run: a quick form by default and a full one under VANTOR_PROOFS=full, figures for
the end-of-run summary, and the child processes that keep a crash or a hang from ending a proof: a
forked child runs the cases one after the other, writing a JSON line per result, and marks in
shared memory where it is, so that when it dies or hangs the parent knows which case did it.
"""

import json
import mmap
import os
import select
import signal
import struct
import sys

FULL = os.environ.get("VANTOR_PROOFS") == "full"
FIGURES = []


def scale(quick, full):
    """The count a proof uses: `quick` normally, `full` under VANTOR_PROOFS=full."""
    return full if FULL else quick


def figure(proof, text):
    """Records one line of a proof's figures for the end-of-run summary."""
    FIGURES.append(f"{proof}: {text}")


def run_python(*args, **kwargs):
    """Runs the current interpreter in a child process; returns the CompletedProcess."""
    import subprocess

    return subprocess.run([sys.executable, *args], capture_output=True, text=True, **{"timeout": 120, **kwargs})


def progress():  # three counters a child sets as it goes: which case, which step of it, the last step started
    return mmap.mmap(-1, 24)


def mark(where, *values, at=0):  # sets counters `at`, at + 1, ...
    struct.pack_into(f"{len(values)}q", where, 8 * at, *values)


def forked(where, deadline, fn, *args):
    """fn(*args) in a forked child: the items it yields, then {"crash": ..., "at": the counters} if
    it died or gave nothing for `deadline` seconds (then it is killed: a hang)."""
    mark(where, -2, -2, -2)
    r, w = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(r)
        try:
            for item in fn(*args):
                os.write(w, (json.dumps(item) + "\n").encode())
        except BaseException as e:  # a fault of the proof itself
            os.write(w, (json.dumps({"proof error": repr(e)}) + "\n").encode())
        os._exit(0)
    os.close(w)
    data, crash = b"", None
    while not crash and (chunk := os.read(r, 65536) if select.select([r], [], [], deadline)[0] else None) != b"":
        if chunk is None:
            os.kill(pid, signal.SIGKILL)
            crash = "hung"
        data += chunk or b""
    os.close(r)
    status = os.waitpid(pid, 0)[1]
    items = [json.loads(line) for line in data.decode().splitlines() if line.endswith("}")]
    if crash or os.WIFSIGNALED(status) or os.WEXITSTATUS(status):
        items.append({"crash": crash or f"status {status}", "at": list(struct.unpack_from("qqq", where, 0))})
    return items
