"""The exact-arithmetic proof (proofs/exact_arithmetic.py): its properties, collected here."""

from exact_arithmetic import *  # noqa: F403 (the tests and the fixture that reports their figures)
