"""The thread proof (proofs/threads.py): every scenario in a child process with the GIL off; its
figures go to the end-of-run summary."""

from conftest import FULL, PROOFS, figure, free_threaded_only, run_python


@free_threaded_only
def test_every_type_hammered_by_threads():
    r = run_python("-X", "gil=0", str(PROOFS / "threads.py"), "--full" if FULL else "--quick", timeout=1800)
    assert r.returncode == 0, r.stdout[-3000:] + r.stderr[-3000:]
    for line in r.stdout.splitlines()[1:-1]:
        figure("threads", line.strip())
