#!/usr/bin/env python3
"""vantor's benchmark suite from a clone: `python benchmarks/bench.py [--quick]`.

The suite (benchmarks/suite.py, not part of the installed package) runs in the interpreter that runs
this file, against the vantor installed there. scripts/run-bench provisions a default-build
interpreter with the peer libraries and the free-threaded one, and runs it on both.
"""

import sys

from suite import main

if __name__ == "__main__":
    sys.exit(main(sys.argv[1:], prog="benchmarks/bench.py"))
