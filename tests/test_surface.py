"""The surface the proofs walk (proofs/surface.py): every operation of every type is enumerated, every
proof that calls everything reaches every member of it, and the proofs' checks and runner can fail."""

import os
import signal
import time

import allocation_failure as A
import hostile as H
import pytest
import refleaks
import runner
import surface as S
from vantor._build_info import modules

# What a type's dict holds besides operations, unless a descriptor holds it (a function's __doc__): its
# docstring and module, pattern-matching field names, the table capsule (the header gives its entries)
# and a __hash__ of None (the type is unhashable).
NOT_OPERATIONS = {"__doc__", "__module__", "__match_args__", "__pyx_vtable__", "__hash__"}


def test_every_name_in_every_type_dict_is_a_member():
    assert {T.__module__ for T in S.types()} >= {f"vantor.{m}.{m}" for m in modules if m != "parser"}
    for T in S.types():
        data = {n for n, v in vars(T).items() if n in NOT_OPERATIONS and not hasattr(type(v), "__get__")}
        assert {m.name for m in S.members(T)} == set(vars(T)) - data, T


def test_each_proof_reaches_every_member():
    def covered(keys):  # a member of a large family is reached through the first one
        first = {m.key: next(n for n in S.members(m.owner) if n.group == m.group).key for m in S.everything()
                 if m.kind == "property"}
        return keys | {k for k, f in first.items() if f in keys}
    A.P.update(A.prelude())
    A.VOCABULARY = A.vocabulary()
    ns, everything = H.namespace(), {m.key for m in S.everything()}
    assert covered({r.key for f in modules for r in H.rows(f, ns)}) >= everything
    assert covered({c.member for _, calls in refleaks.batches(refleaks.pool(), True) for c in calls}) >= everything
    assert covered({op.member for m in modules for op in A.operations(m, 8)}) >= everything


@pytest.mark.parametrize(("code", "effect", "detail", "found"), [
    ("T.to_neg(s)", "pure", None, "read-only call changed the object"),
    ("setattr(s, 'y', 5.0)", "set", {0}, "the setter changed fields [1]; it may change [0]"),
    ("T.get_abs(s)", "new", S.owner_type("Vector3"), "returned Vector2, not Vector3")])
def test_the_hostile_checks_catch_a_call_that_breaks_its_contract(code, effect, detail, found):
    T = S.owner_type("Vector2")
    call = H.compile_row(code, dict(H.namespace(), T=T))
    assert any(found in p for p in H.run_case("vector2", 0, H.Row(code, "", effect, detail, T, ""), call, False))


def test_a_child_that_dies_or_hangs_is_reported_with_the_case_it_was_at():
    def cases(die):
        for i in range(5):
            runner.mark(where, i)
            if i == 2:
                os.kill(os.getpid(), signal.SIGKILL) if die else time.sleep(60)
            yield {"case": i}

    where = runner.progress()
    for die, crash in ((True, "status 9"), (False, "hung")):
        assert runner.forked(where, 0.3, cases, die) == [{"case": 0}, {"case": 1}, {"crash": crash, "at": [2, -2, -2]}]
