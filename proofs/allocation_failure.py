"""Allocation failure, from module start-up to every operation.

Start-up: each allocation made while a module is created and executed is made to fail in turn, each
attempt in a forked child. Every attempt must end in a clean exception with MemoryError in its chain
(never SystemError, never a crash) or in a module identical to one imported normally; after a failed
attempt, loading again succeeds with that same module.

Operations: every constructor, method, operator, property and slot of every type, every entry of
every operation table (through the native test client) and every parser, as proofs/surface.py
enumerates them, each allocation that the call makes failing in turn. Every attempt must end in a
clean exception with MemoryError in its chain or in the very outcome the call has without failures,
and must leave each object it was given as a failed call leaves it: unchanged, or, for a
re-initialisation that stores field by field, with a leading run of fields changed.

    python proofs/allocation_failure.py start-up MODULE  |  MODULE STREAK STRIDE SAMPLE COLLECT

(startup() and main()) print their figures as JSON; neither imports pytest, which would make each
fork and each collection many times slower.
"""

import itertools
import json
import operator
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import runner  # noqa: E402

# ---- Operations under allocation failure -------------------------------------------------------

P = {}  # the names every setup and call can use (filled by prelude() in the child)


class Op:
    """One operation: statements run on a fresh namespace before each attempt, and the call (an
    expression, compiled once into a function) whose allocations fail. A failed attempt must leave
    every object of the namespace as it was, except those named in `prefix`, which re-initialise
    field by field: a leading run of their fields may be changed to what the call gives without
    failures. `parse` marks the client's parse calls (their result carries the pending exception),
    `note` a setup other than the usual one, `extra` the further forms of a call, which the quick
    form samples; `member` is the surface member the call reaches."""

    __slots__ = ("setup", "call", "prefix", "parse", "note", "extra", "member")

    def __init__(self, setup, call, prefix=(), parse=False, note="", extra=False, member=""):
        self.setup, self.call, self.prefix, self.parse, self.note = setup, call, tuple(prefix), parse, note
        self.extra, self.member = extra, member

    def label(self):
        return f"{self.note}{self.call}"


def prelude():
    """The types, the client, the helper objects, and for each type that native callers dispatch
    to Python overrides of, a plain subclass (`Sub`), one whose overrides call the type's own
    methods (`Over`) and one whose overrides give a float (`Bad`). Foreign objects compute the
    attributes and items they give when read, so that reading them allocates during the call."""
    import operator

    import surface as S

    # Python code that raises while the interpreter fails an allocation can lose its exception
    # (CPython 3.13t then reports "returned NULL without setting an exception"): the helpers
    # below never raise; a missing attribute or item is missing from the C-level lookup instead.
    # Nor do they build non-empty lists (nor call with *args, which builds one): when CPython
    # 3.13t's PyList_New(n) cannot allocate the item array, it deallocates the list with a stale
    # item pointer and size, and the process crashes later. Calls get their lists from the setup.
    class ForeignBase:  # a foreign vector (it has clamp_magnitude_ip), its components computed when read
        clamp_magnitude_ip = None

    foreign_types = [type("Foreign", (ForeignBase,), {c: property(lambda s, i=i: s._c[i] * 1.0)
                                                      for i, c in enumerate("xyzw"[:n])}) for n in range(5)]

    def Foreign(*c):  # with as many components as given: x, then y, ...
        f = foreign_types[len(c)]()
        f._c = c
        return f

    class NoClamp:  # components, but no clamp_magnitude_ip: not a foreign vector
        x = y = z = w = 1.0

    class Seq:
        """Neither a tuple nor a list; float items are made when read (also by iteration, which
        therefore ends without an IndexError)."""

        def __init__(self, *items):
            self._items = items

        def __len__(self):
            return len(self._items)

        def __getitem__(self, i):
            return self._items[i] * 1.0 if type(self._items[i]) is float else self._items[i]

        def __iter__(self):
            return (item * 1.0 if type(item) is float else item for item in self._items)

    class Mapping:  # not a dict; its values are made when looked up
        def __init__(self, **values):
            self._values = values

        def __getitem__(self, key):
            return self._values[key] * 1.0

    names = dict(locals(), TupleSub=type("TupleSub", (tuple,), {}), ListSub=type("ListSub", (list,), {}))
    for T in S.types():
        names[T.__name__] = names.get(T.__name__, T)
        if S.subclassable(T):
            ns = {} if "__init__" in vars(T) else {"__init__": lambda self, *args: setattr(self, "args", args)}
            names[f"{T.__name__}Sub"] = type(f"{T.__name__}Sub", (T,), ns)
            flagged = {n: ", ".join(("self",) + S.member(T, n).params) for n in S.overridden(T)}
            if flagged:
                names[f"{T.__name__}Over"] = type("Over", (T,), {
                    n: eval(f"lambda {p}: f({p})", {"f": getattr(T, n)}) for n, p in flagged.items()})
                names[f"{T.__name__}Bad"] = type("Bad", (T,), {n: eval(f"lambda {p}: 1.5 * 2.0")
                                                                 for n, p in flagged.items()})
    return names | vars(operator) | dict(huge=10**400, nan=float("nan"), PX=bytearray(range(16)), client=S.client(),
                                         S=S)


def state(o):
    """What a failed call must not change (field by field, as a tuple), or None for objects that do
    not matter (functions, types, numbers): a record's fields as its buffer holds them, the numbers
    the test client reads from a record without a buffer, the state of each object a palette holds."""
    S = P["S"]
    if isinstance(o, (list, tuple, dict, bytearray, P["Seq"], P["ForeignBase"], P["Mapping"])):
        return (type(o).__name__, repr(vars(o) if hasattr(o, "__dict__") else o))
    T = next((T for T in type(o).__mro__ if T in S.types()), None)
    if T is None or T in S.LEADERS:
        return None
    if "__buffer__" in vars(T):
        return tuple(map(repr, memoryview(o).tolist()))
    record = S.record(T)
    if record:
        return tuple(state(x) if x is not None and type(x) in S.types() else x for x in record(o))
    return tuple(state(getattr(o, m.name)) for m in S.members(T) if m.kind == "property" and m.settable)


def snapshot(ns, names):
    return {name: s for name in names if name in ns and (s := state(ns[name])) is not None}


def names_used(code):
    """The global names a compiled call reads: the objects it can reach."""
    return set(code.co_names).union(*(names_used(c) for c in code.co_consts if hasattr(c, "co_names")))


def fingerprint(r, ns):
    """The outcome of a call as compared with the baseline: which given object it returned, or
    what it returned, read out in full."""
    s = state(r)
    if s is not None:
        for name, value in ns.items():
            if value is r and name not in P:
                return ["the object", name, repr(s)]
        return [type(r).__name__, repr(s)]
    if isinstance(r, memoryview):
        return ["memoryview", r.format, r.shape, r.tolist()]
    if hasattr(type(r), "__next__"):
        return ["iterator", type(r).__name__, repr(list(r))]
    return [type(r).__name__, re.sub(r" at 0x[0-9a-f]+", "", repr(r))]


def chain(e):
    seen = []
    while e is not None and e not in seen:
        seen, e = seen + [e], e.__cause__ or e.__context__
    return [type(x).__name__ for x in seen]


def same(got, base):
    """Whether an attempt had the baseline's outcome: the same result, or the same exception."""
    return got[0] == base[0] and (got[2:] == base[2:] if got[0] == "raise" else got == base)


def outcome(op, r, e, ns):
    """("raise", chain, type, message), ("result", fingerprint) or ("bad", what)."""
    if op.parse and e is None:  # the client's parse gives (struct fields, pending exception or None)
        fields, pending = r
        if pending is not None:
            if any(fields):
                return ("bad", f"failed with {pending!r} but returned {fields}")
            r, e = None, pending
        else:
            r = fields
    if e is not None:
        return ("raise", chain(e), type(e).__name__, str(e))
    return ("result", fingerprint(r, ns))


# Freelists hand out floats, tuples, lists and dicts without calling the allocator, so that their
# allocation could never fail. They belong to the thread: each operation runs in a new thread, whose
# freelists start empty, and each attempt first takes whatever the previous one gave back and holds
# it to the end of the operation.
def drain(n):
    """Takes n tuples of each small size (4n of sizes 1 and 2), and more floats, dicts and lists
    than their freelists can hold."""
    held = [[0.5] * size for size in range(1, 8)]
    held.extend(tuple(src) for src in held[:7] for _ in range(n * 4 if len(src) <= 2 else n))
    held.extend(x * 1.0 for _ in range(64) for x in held[1])
    held.extend({"k": 0.5} for _ in range(96))  # dicts and their (str-keyed) key tables
    held.extend([] for _ in range(96))
    return held


def exercise(collect):
    """Allocation (and a collection) after the failures: memory left damaged shows here."""
    junk = [(i, float(i), str(i), [i], {i: i}) for i in range(300)]
    del junk
    if collect:
        import gc

        gc.collect()


def prove_op(op, streak, first_k, only, progress, collect):
    """The attempts of one operation: the baseline call, then allocation k failing for k = first_k,
    first_k + 1, ... until `streak` attempts in a row have the baseline's outcome (or for the ks in
    `only`, with the memory exercised after each). The attempt running is kept in `progress`, so
    that a crash can be traced to it."""
    import _testcapi

    fail, restore = _testcapi.set_nomemory, _testcapi.remove_mem_hooks
    setup = compile(op.setup, "<setup>", "exec")
    call = compile(f"lambda: {op.call}", "<call>", "eval")
    watched = names_used(call) - set(P) | set(op.prefix)
    unraisable = []
    sys.unraisablehook = lambda u: unraisable.append(f"{u.exc_type.__name__}: {u.exc_value} ({u.err_msg})")

    def fresh():
        ns = dict(P)
        exec(setup, ns)
        return ns, eval(call, ns)

    ns, f = fresh()
    before = snapshot(ns, watched)
    try:
        r, e = f(), None
    except BaseException as exc:
        r, e = None, exc
    base = outcome(op, r, e, ns)
    base_after = snapshot(ns, watched)
    out = {"attempts": 0, "errors": 0, "results": 0, "bad": []}
    unreachable = base[0] == "raise" and base[2] == "ValueError" and base[3].startswith("no ") and " slot " in base[3]
    if base[0] == "bad" or unreachable:  # the client cannot call this entry, or the call itself is wrong
        out["bad"].append(["baseline", repr(base)[:300]])
        return out
    r = e = ns = f = None

    def left_as_documented(after):
        for name, s in after.items():
            if s != before.get(name) and not (name in op.prefix and any(
                    s == base_after[name][:i] + before[name][i:] for i in range(len(s) + 1))):
                return f"left {name} as {s}, not as before ({before.get(name)})"
        return None

    held, quiet = [drain(16)], 0
    for k in iter(only) if only is not None else itertools.count(first_k):
        if only is None and quiet >= streak:
            break
        runner.mark(progress, k, k, at=1)
        ns, f = fresh()
        window = (k, k + 1)
        held.append(drain(16))
        fail(*window)
        try:
            r = f()
            e = None
        except BaseException as exc:
            r = None
            e = exc
        restore()
        got = outcome(op, r, e, ns)
        after = snapshot(ns, watched)
        out["attempts"] += 1
        problem = None
        if got[0] == "bad":
            problem = got[1]
        elif got[0] == "raise" and "SystemError" in got[1]:
            problem = f"{got[2]}: {got[3]} (chain {got[1]})"
        elif got[0] == "raise" and "MemoryError" in got[1] and not same(got, base):
            out["errors"] += 1
            problem = left_as_documented(after)
            quiet = 0
        elif same(got, base):
            out["results"] += 1
            if after != base_after:
                problem = f"gave the baseline outcome but left {after}, not {base_after}"
            quiet += 1
        else:
            problem = f"gave {repr(got)[:200]} instead of {repr(base)[:200]}"
        if unraisable:
            problem = (problem + "; " if problem else "") + "unraisable " + "; ".join(unraisable)
            unraisable.clear()
        if problem:
            out["bad"].append([k, problem[:400]])
            quiet = 0
        r = e = ns = f = got = None
        if only is not None:
            exercise(True)
    runner.mark(progress, -1, at=1)
    exercise(collect)
    return out


def in_thread(fn, *args):
    """fn(*args) in a new thread, whose freelists start empty: its result, or its exception (a
    fault of the proof itself) as {"proof error": ...}. The failing allocations are counted across
    threads, so this thread stays blocked in a lock (which allocates nothing) while fn runs."""
    import _thread
    import time

    done = _thread.allocate_lock()
    done.acquire()
    blocking, out = [False], []

    def run():
        while not blocking[0]:
            time.sleep(0)
        time.sleep(0.0005)  # the caller is past its last bytecode, inside acquire()
        try:
            out.append(fn(*args))
        except BaseException as e:
            out.append({"proof error": repr(e)})
        finally:
            done.release()

    _thread.start_new_thread(run, ())
    blocking[0] = True
    done.acquire()
    return out[0]


def run_ops(ops, start, streak, progress, collect):
    """The runner: operations start, start + 1, ... each in a thread of this process."""
    import gc

    for i in range(start, len(ops)):
        runner.mark(progress, i, -2, -2)
        yield in_thread(prove_op, ops[i], streak, 0, None, progress, collect)
        if i % 16 == 15:
            gc.collect()


def alone(op, streak, progress, ks, collect):
    """One operation alone in its process (the isolation of a crash): attempts ks, or all."""
    import gc

    runner.mark(progress, -1)
    gc.collect()
    yield prove_op(op, streak, 0, ks, progress, collect)


def isolate(op, streak, progress, deadline, at):
    """What a crash of the runner at `at` (operation, k running, last k started) comes from: the
    allocation of this operation that crashes a process of its own when it fails, if one does."""
    k, last = at[1], at[2]  # (k -2: the baseline call itself crashed)
    for j in dict.fromkeys(([k] if k >= 0 else []) + list(range(0, last + 1)) if k != -2 else []):
        res = runner.forked(progress, deadline, alone, op, streak, progress, [j], True)
        if res and "crash" in res[-1]:
            return [j, f"crash ({res[-1]['crash']}) when this allocation fails"]
    where = "in the baseline call" if k == -2 else f"at k={k}" if k >= 0 else "after the attempts"
    return ["?", f"the runner crashed {where}; no failing allocation of this operation crashes alone"]


# ---- The operations, generated from the surface ------------------------------------------------
#
# Each call names objects of one vocabulary, made fresh by the setup before each attempt: `v` the
# object under test, `o` and `b` others of its type, `V` its type, `vsub`/`vover`/`vbad` its
# subclasses, `vector2`, `color`, ... one of each package type, and the arguments of VOCABULARY
# (a digit gives the length).

def vocabulary():
    S, out = P["S"], {"short": "(1.5,)", "shortl": "[1.5]", "nc": "NoClamp()", "d": "{'x': 1.0, 'y': 2.0}",
                      "m": "Mapping(x=1.0, y=2.0)", "dx": "{'x': 5.0}", "memo": "{}", "f1": "Foreign(1.0)"}
    for k in (2, 3, 4):
        items = ", ".join(str(2.0 + i) for i in range(k))
        out.update({f"t{k}": f"({items},)", f"l{k}": f"[{items}]", f"ts{k}": f"TupleSub(({items},))",
                    f"ls{k}": f"ListSub([{items}])", f"s{k}": f"Seq({items})", f"f{k}": f"Foreign({items})",
                    f"long{k}": f"({items},) * 2", f"longl{k}": f"[{items}] * 2", f"bad{k}": f"('s',) * {k}",
                    f"badl{k}": f"['s'] * {k}", f"edge{k}": f"({', '.join(['300', '-5', '1.9', '3.99'][:k])},)"})
    return out | {T.__name__.lower(): made(T, 3) for T in S.types() if T not in S.LEADERS}


def made(T, i, cls=None):
    """An expression that makes the i-th sample of T (as `cls`, a subclass, if given)."""
    S = P["S"]
    if T in S.LEADERS:
        return f"iter({made(S.LEADERS[T], i)})" if "__next__" in vars(T) else next(
            f"{S.LEADERS[T].__name__}.{n}" for n, d in vars(S.LEADERS[T]).items() if type(d) is T)
    if T.__name__ in S.SAMPLES:
        return S.SAMPLES[T.__name__].format(5 + i)
    return f"{cls or T.__name__}({', '.join(map(repr, S.sample(T, i))) if S.fields(T) else ''})"


def setup_for(T, call, extra=""):
    """The setup a call needs: the names it uses, each made by its expression."""
    words = VOCABULARY | {"V": f"type({made(T, 0)})" if T in P["S"].LEADERS else T.__name__, "v": made(T, 0),
                          "o": made(T, 1), "b": made(T, 2)} | {
        f"v{k.lower()}": made(T, 0, T.__name__ + k) for k in ("Sub", "Over", "Bad") if T.__name__ + k in P}
    used = names_used(compile(call, "<call>", "eval"))
    return "; ".join(f"{n} = {e}" for n, e in words.items() if n in used) + extra


NUMBERS = ["2.5", "1", "0", "-1", "nan", "2**31", "huge"]


def choices(member, own):
    """For each parameter (None where the C type alone says): the call's argument, then further good
    or edge ones, then wrong ones, by what surface.accepts() found it takes."""
    S, out = P["S"], []
    for key, kinds, word in zip(S.tame(member) or [None] * len(S.wants(member)), S.accepts(member), S.wants(member)):
        if kinds is None:
            out.append(None)
            continue
        named = [n for n in ("o" if k[1:] == own.__name__ else k[1:].lower() if k[0] == "@" else {
            "2.5": "2.5", "1": "1", "dict": "d", "None": "None"}.get(k, k if k[0] in "tl" else None) for k in kinds) if n]
        everything = len(kinds) == len(S.offers())
        k = min([int(n[1:]) for n in named if n[0] in "tl"] or [S.fields(own) or 2])
        first = "o" if "o" in named or everything or not kinds else "1" if word == "i" else (
            [n for n in named if n == key] or named)[0]
        more = ["memo", "None", f"t{k}"] if everything else named + (
            NUMBERS if {"2.5", "1"} & set(kinds) else [f"s{k}", f"ts{k}", f"t{5 - k if k != 2 else 3}", "5", "'abcd'"]
            if f"t{k}" in kinds and f"l{k}" in kinds else [f"long{k}", f"bad{k}", "short", "None"] if f"t{k}" in kinds
            else [f"badl{k}", "shortl", "None"] if f"l{k}" in kinds else ["m", "dx", "5", "l2"] if "dict" in kinds
            else ["1"] if not kinds else [])
        wrong = [w for w in ("'s'", "1", f"t{k}", f"l{k}", f"f{k}") if w not in named + more][:4]
        out.append(list(dict.fromkeys([first] + more + wrong)))
    return out


def alternatives(args):
    """The first of each argument's choices, then each further choice of one argument in turn."""
    first = [a[0] for a in args]
    return [first] + [first[:i] + [alt] + first[i + 1:] for i, a in enumerate(args) for alt in a[1:]]


def calls_of(m, T, on):
    """A method's calls: with each argument varied, by keyword, with one argument too few and one
    too many, and an unknown keyword (all but the first are further forms)."""
    args = alternatives(choices(m, T))
    named = [[f"{p}={a}" for p, a in zip(m.params, args[0])], args[0][:-1]] if m.params and "*" not in m.params else []
    return [(f"{on}({', '.join(a)})", i > 0) for i, a in enumerate(args + named + [args[0] + ["1.5"], ["bogus=1"]])]


# Constructors' argument lists, tried on the type (V(...)) and as a re-initialisation (v.__init__(...));
# F stands for the fields, K for keywords naming them, N for their number. All but the first twelve
# on the type are further forms, like every re-initialisation.
INIT = ["", "1", "x=1", "1, 2, x=3"]
RECORD_INIT = ["F", "F, 9.0", "F[:-1]", "F[:2]", "F[:1]", "F[:-1], x=1", "o", "tN", "lN", "tsN", "lsN", "fN", "f1",
               "nc", "'ab'", "None", "longN", "badN", "t2, l2", "vector2, vector2", "t3, t2", "t2, 5", "5", "K",
               "F[:2], K[2:]", "K[1:3]", "F[:-1], K[:1]", "F, K[:1]", "300, -1, 12.9, 255.5", "'1', 0, 0",
               "2**31, 0, 0", "nan, 0, 0", "1, 2, 3, 's'"]


def init_forms(T):
    values = [repr(x) for x in P["S"].sample(T, 0)] if P["S"].fields(T) else []
    pick = {"F": values, "K": [f"{k}={v}" for k, v in zip(getattr(T, "__match_args__", ()), values)]}
    return INIT + list(dict.fromkeys(re.sub(r"\b(t|l|ts|ls|f|long|bad)N\b", rf"\g<1>{len(values)}", re.sub(
        r"\b([FK])(\[[^]]*\])?", lambda m: ", ".join(eval(f"p{m[2] or ''}", {"p": pick[m[1]]})), form))
        for form in RECORD_INIT * bool(values)))


# The ways into a method that the interpreter takes (pickle's, copy's) or a signature does not tell.
PROTOCOLS = {"__reduce__": ["v.__reduce_ex__(2)"], "throw": ["v.throw(ValueError)"]}


def type_ops(T, sample):
    """Every operation of T's members (of a large family, at most `sample`, evenly spread)."""
    S, ops = P["S"], []

    def op(call, extra=False, prefix=(), note="", setup="", key=""):
        note = f"{S.label(T)}: {note}" if T in S.LEADERS else note
        ops.append(Op(setup_for(T, call, setup), call, prefix, note=note, extra=extra, member=key))

    families = {}
    for m in S.members(T):
        families.setdefault(m.group, []).append(m.name)
    keep = {n for names in families.values() for n in (names if sample <= 0 or len(names) <= sample else [
        names[round(i * (len(names) - 1) / (sample - 1))] for i in range(sample)])}
    for m in (m for m in S.members(T) if m.name in keep):
        key, name = m.key, m.name
        if m.kind == "new":
            fields = [repr(x) for x in S.sample(T)] if S.fields(T) else ["1", "2"]
            for i, call in enumerate(["V.__new__(V)", "V.__new__(V, 1, 2, x=3)"] + [f"V({f})" for f in init_forms(T)] + (
                    [f"{T.__name__}Sub({', '.join(fields)})", f"{T.__name__}Sub({', '.join(fields[:-1] + [repr('s')])})"]
                    if f"{T.__name__}Sub" in P else [])):  # a subclass: good arguments, and a bad last one
                op(call, i == 1 or 14 <= i < len(init_forms(T)) + 2, key=key)
        elif m.kind == "init":
            for form in init_forms(T):
                op(f"v.__init__({form})", True, ("v",) * (T.__name__ in S.FIELDWISE), key=key)
            held = [n.name for n in S.members(T) if n.kind == "property" and n.settable and (
                x := getattr(s := S.sample(T), n.name)) is not None and x is getattr(s, n.name)]
            if held:  # a palette whose every object was replaced is restored object by object
                op("v.__init__()", False, ("v",), "every object replaced: ", f"; c = {made(type(x), 1)}; "
                   f"[setattr(v, n, c) for n in {tuple(held)!r}]", key=key)
        elif m.kind == "property":
            op(f"v.{name}", key=key)
            for i, value in enumerate(choices(m, T)[0] if m.settable else []):
                op(f"setattr(v, {name!r}, {value})", i > 0, key=key)
            if m.settable:
                op(f"delattr(v, {name!r})", True, key=key)
        elif name == "__call__":  # a function object: the calls of the method it is
            U, method = S.LEADERS[T], next(n for n, d in vars(S.LEADERS[T]).items() if type(d) is T)
            for call, extra in calls_of(S.member(U, method), U, "v(o, "):
                op(call.replace("(o, (", "(o, ").replace(", )", ")"), extra, setup=f"; o = {made(U, 1)}", key=key)
        elif m.kind == "slot":
            args = choices(m, T) if "*" not in m.params else []
            for j, form in enumerate(S.SLOTS[name]):
                for i, a in enumerate(alternatives(args)[:None if re.search(r"\b[xy]\b", form) else 1]):
                    op(re.sub(r"\b[sxy]\b", lambda x: dict(zip("xy", a)).get(x[0], "v"), form), i + j > 0, key=key)
            if args:
                op(f"v.{name}({', '.join(a[0] for a in args)})", True, key=key)
        else:
            for call, extra in calls_of(m, T, f"V.{name}" if m.kind == "static" else f"v.{name}") + [
                    (c, True) for c in PROTOCOLS.get(name, ())]:
                op(call, extra, key=key)
    if "__next__" in vars(T):  # an iterator already at its end, a generator already started
        op("next(v)", note="exhausted: ", setup="; list(v)", key=f"{S.label(T)}.__next__")
        if "send" in vars(T):
            op("v.send(1)", note="started: ", setup="; next(v)", key=f"{S.label(T)}.send")
    return ops


def operations(group, sample):
    """Every operation of the group's types, table entries and parsers (the client's own binding of
    the parsers and import of a type with them)."""
    S = P["S"]
    ops = [op for T in S.types() if S.home(T) == group for op in type_ops(T, sample)]
    for e in S.everything():
        ops += entry_ops(e) if e.owner == group and e.kind == "entry" else parser_ops(e) if (
            e.kind == "parser" == group) else []
    if group == "parser":
        size = P["client"].layout()["vector2"][0]
        ops += [Op("", c) for c in ("client.bind_parser('vantor.parser.parser')",
                                    f"client.import_type('vantor.vector2.vector2', 'Vector2', {size}, True)",
                                    f"client.import_type('vantor.vector2.vector2', 'Vector2', {size + 8}, False)",
                                    f"client.import_type('vantor.vector2.vector2', '__name__', {size}, True)")]
    return ops


def entry_ops(e):
    """A table entry through the test client, as its header declares it: each object argument
    varied and each number negated in turn (further forms); an entry with a dispatch flag also with
    flag 0 on each subclass of the type (plain, overriding, overriding badly)."""
    S = P["S"]
    T = S.owner_type(S.wants(e)[0][1:]) if e.params[0][1] == "self" else S.table_type(e.owner)
    call = f"client.{S.CLIENT.get(e.owner, f'{e.owner}_slot')}(" + ("" if e.owner in S.CLIENT else f"{e.name!r}, ")
    args, own = [], iter(["v", "o", "b"])
    for ctype, word, probed in zip([p[0] for p in e.params for _ in S.STRUCTS.get(p[0], "x")], S.wants(e), choices(e, T)):
        one = "2.5" if ctype in ("double", "float") else "3" if word == "p" else "1"
        args.append([next(own)] if word == f"@{T.__name__}" else [word[1:].lower()] if word[0] == "@" else [
            one, f"-{one}"] if word == "p" else [one] if word == "f" else ["PX", "None"] if word == "b" else probed)
    subs = [[sub] + [x[0] for x in args[1:-1]] + ["0"] for sub in ("vsub", "vover", "vbad")
            if e.flag and f"{T.__name__}{sub[1:].capitalize()}" in P]
    return [Op(setup_for(T, f"{call}{', '.join(a)})"), f"{call}{', '.join(a)})", extra=i > 0, member=e.key)
            for i, a in enumerate(alternatives(args) + subs)]


def parser_ops(e):
    """The parser given every object of the vocabulary, each alone in its setup (all but the first
    sixteen are further forms)."""
    S = P["S"]
    n = min(int(w[1:]) for w in S.wants(e)[0].split("|"))
    objects = ["o", *(t.__name__.lower() for t in S.types() if S.fields(t)), f"t{n}", f"l{n}", f"ts{n}", f"ls{n}",
               f"s{n}", f"f{n}", "t3" if n != 3 else "t2", f"edge{n}", f"long{n}", f"longl{n}", f"bad{n}", f"badl{n}",
               "short", "[]", "'ab'", "'abc'", "b'\\x01\\x02'", f"range({n})", "d", "{}", "5", "3.5", "None",
               "[huge, 1]", "(2**31, 0, 0)", "(1, 2, nan)", "['1', 0, 0]", "[1, 2, 3, 's']"]
    words = VOCABULARY | {"o": made(next(T for T in S.types() if T.__name__.lower() == e.name), 1)}
    return [Op(f"x = {words.get(x, x)}", f"client.parse({e.name!r}, x)", parse=True, note=f"x = {x}: ", member=e.key,
               extra=i >= 16) for i, x in enumerate(dict.fromkeys(objects))]


def main(group, streak, stride, sample, collect):
    """Proves every operation of `group` (of the further forms every `stride`-th, of a large family
    of members at most `sample`): a forked runner attempts them one after the other; when it
    crashes, the operation it was at is isolated in processes of its own, and it goes on after it."""
    import gc
    import warnings

    global VOCABULARY
    # Showing a warning opens the source file, and the interpreter's own file objects do not
    # survive allocation failure: warnings are not what is tested here.
    warnings.simplefilter("ignore")
    P.update(prelude())
    VOCABULARY = vocabulary()
    extras = iter(range(1, 1 << 30))
    ops = [op for op in operations(group, sample) if not op.extra or next(extras) % stride == 0]
    gc.collect()
    gc.disable()  # a collection inside the window would meet the failure instead of the call
    progress = runner.progress()  # operation, attempt running, last attempt started
    summary = {"operations": len(ops), "attempts": 0, "errors": 0, "results": 0, "bad": []}
    start = 0
    while start < len(ops):
        lines = runner.forked(progress, 300, run_ops, ops, start, streak, progress, collect)
        for i, res in enumerate(lines, start):
            if "proof error" in res:
                raise RuntimeError(f"{ops[i].label()}: {res['proof error']}")
            if "crash" in res:
                at = res["at"]
                summary["bad"].append([ops[at[0]].label(), *isolate(ops[at[0]], streak, progress, 120, at)])
                start = at[0] + 1
                break
            for key in ("attempts", "errors", "results"):
                summary[key] += res[key]
            summary["bad"] += [[ops[i].label(), k, what] for k, what in res["bad"]]
        else:
            break
    print(json.dumps(summary))


# ---- Start-up under allocation failure ---------------------------------------------------------

def exercise_module(m, behaviour):
    """What a module gives when used: the functions it exports; for each of its types the kinds of
    the names in its dict (a half-wired pickling refusal shows here; slot wrappers are left out:
    readying a type again after the interpreter failed midway through adds wrappers for slots the
    first attempt inherited, which change nothing), a new object's text and items, and with
    `behaviour` what every slot's operation (but hash: an inherited one is the address), method and
    property (of many of one type, 16) gives on it (a method given it for each parameter)."""
    parts = [sorted(vars(m)), sorted((k, c.__class__.__name__) for k, c in getattr(m, "__pyx_capi__", {}).items())]
    for key, T in sorted((k, T) for k, T in vars(m).items() if isinstance(T, type)):
        parts.append([key, sorted((a, type(b).__name__) for a, b in vars(T).items()
                                  if type(b).__name__ != "wrapper_descriptor")])
        try:
            s = T(*range(1, len(getattr(T, "__match_args__", ())) + 1))
        except Exception as e:
            parts.append(type(e).__name__)
            continue
        calls, kinds = [(f, lambda c=c: eval(c, vars(operator), {"s": s, "x": s, "y": s, "a": ()}))
                        for f, c in SLOT_FORMS[not behaviour]], {}
        for name, d in vars(T).items() if behaviour else ():
            if hasattr(type(d), "__set__"):  # a property; of many of one type ("x: float"), the first 16
                kind = kinds.setdefault((d.__doc__ or "").partition("\n")[0].partition(": ")[2], [])
                kind.append(name)
                calls += [(name, lambda name=name: getattr(s, name))] * (len(kind) <= 16)
            elif name not in ("__new__", "__init__") and type(d).__name__ != "wrapper_descriptor" and callable(
                    f := getattr(T, name)):
                n = len([p for p in (getattr(f, "__text_signature__", None) or "()").strip("()").split(",")
                         if p.strip() not in ("/", "*", "$self", "")])
                calls.append((name, lambda name=name, n=n: getattr(s, name)(*[s] * n)))
        for name, call in calls:
            try:
                r = call()
                r = list(r) if hasattr(type(r), "__next__") else r
            except Exception as e:
                r = type(e).__name__
            parts.append([name, re.sub(r" at 0x[0-9a-f]+", "", repr(r)) if " at 0x" in repr(r) else repr(r)])
    return parts


def startup(name):
    """Loads module `name` with each of its allocations failing in turn, each attempt in a forked child,
    after importing the package's modules it imports (so that only its own creation and execution meet
    the failures)."""
    import _imp
    import importlib.util
    import warnings

    import _testcapi

    from surface import SLOTS  # (it loads no module of the package)

    global SLOT_FORMS  # compiled here, not in each child: every slot's operations, and the two a new object needs
    SLOT_FORMS = [(f, compile(f, f, "eval")) for name, forms in SLOTS.items() if name != "__hash__" for f in forms]
    SLOT_FORMS = SLOT_FORMS, [(f, c) for f, c in SLOT_FORMS if f in ("repr(s)", "list(s)")]
    # Showing a warning (the GIL being turned on) opens the source file, and the interpreter's own
    # file objects fail to allocate their locks with a RuntimeError: not what is tested here.
    warnings.simplefilter("ignore")
    full = f"vantor.{name}.{name}"
    where = runner.progress()
    spec = importlib.util.find_spec(full)

    def load():  # the extension's own creation and execution, without importlib's locks around them
        module = _imp.create_dynamic(spec)
        _imp.exec_dynamic(module)
        return module

    # What loading gives with allocation k failing: a module, used in every way; or an error, and what
    # loading again gives (a failed execution must leave nothing that stops a later import).
    def attempt(k):
        if k is not None:
            _testcapi.set_nomemory(k, k + 1)
        try:
            module = load()
        except BaseException as e:
            _testcapi.remove_mem_hooks()
            out = {"error": chain(e), "text": str(e)}
            try:
                out["module"] = exercise_module(load(), False)
            except BaseException as again:
                out["retry failed"] = repr(again)
        else:
            _testcapi.remove_mem_hooks()
            out = {"module": exercise_module(module, False), "behaviour": exercise_module(module, True)}
        yield out

    def imported():  # the baseline, and which of the package's modules loading this one imports
        yield from attempt(None)
        yield {"deps": [m for m in sys.modules if re.fullmatch(r"vantor\.(\w+)\.\1", m) and m != full]}

    baseline, deps = runner.forked(where, 60, imported)
    assert "behaviour" in baseline, baseline
    for d in deps["deps"]:
        importlib.import_module(d)
    assert full not in sys.modules
    bad, errors, streak, k = [], 0, 0, 0
    # Past the last allocation every attempt is the baseline; a long run of them ends the search.
    while streak < 40 and k < 50000:
        out = runner.forked(where, 60, attempt, k)[0]
        streak = streak + 1 if out == baseline else 0
        clean = "MemoryError" in out.get("error", ()) and "SystemError" not in out["error"] and (
            out.get("module") == baseline["module"])
        errors, bad, k = errors + clean, bad + [[k, repr(out)[:300]]] * (out != baseline and not clean), k + 1
    print(json.dumps({"attempts": k, "errors": errors, "bad": bad[:10]}))


if __name__ == "__main__":
    startup(sys.argv[2]) if sys.argv[1] == "start-up" else main(sys.argv[1], *map(int, sys.argv[2:]))
