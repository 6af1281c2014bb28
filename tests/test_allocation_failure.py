"""Allocation failure, from module start-up to every operation.

Start-up: each allocation made while a module is created and executed is made to fail in turn, each
attempt in a forked child. Every attempt must end in a clean exception with MemoryError in its chain
(never SystemError, never a crash) or in a module identical to one imported normally; after a failed
attempt, loading again succeeds with that same module.

Operations: every constructor, method, operator, property and slot of every type, every entry of
every operation table (through the native test client) and every parser, each allocation that the
call makes failing in turn. Every attempt must end in a clean exception with MemoryError in its chain
or in the very outcome the call has without failures, and must leave each object it was given as a
failed call leaves it: unchanged, or, for a re-initialisation that stores field by field, with a
leading run of fields changed.

Run as a script (`python test_allocation_failure.py GROUP STREAK STRIDE SAMPLE COLLECT`, see main()),
this file is the child process of the operation proof for one group; it imports no pytest, which
would make each fork and each collection many times slower.
"""

import json
import os
import re
import sys
import textwrap

# ---- Operations under allocation failure: the child side --------------------------------------

GROUPS = ("vector2", "vector3", "vector4", "color", "rect", "colors", "runecell", "image", "parser")

P = {}  # the names every setup and call can use (filled by prelude() in the child)


class Op:
    """One operation: statements run on a fresh namespace before each attempt, and the call (an
    expression, compiled once into a function) whose allocations fail. A failed attempt must leave
    every object of the namespace as it was, except those named in `prefix`, which re-initialise
    field by field: they may have a leading run of fields changed to what the call gives without
    failures. `parse` marks the client's parse calls, whose result carries the pending exception.
    `note` tells the setup apart where it is not the group's usual one. `extra` marks the further
    forms of a call (other arguments, keywords, wrong arguments), which the quick form samples."""

    __slots__ = ("setup", "call", "prefix", "parse", "note", "extra")

    def __init__(self, setup, call, prefix=(), parse=False, note="", extra=False):
        self.setup, self.call, self.prefix, self.parse, self.note = setup, call, tuple(prefix), parse, note
        self.extra = extra

    def label(self):
        return f"{self.note}{self.call}"


def prelude():
    """The types, the client and the helper objects. Foreign objects compute the attributes and
    items they give when read, so that reading them allocates during the call."""
    import operator

    from vantor import _testclient as client
    from vantor.color.color import Color
    from vantor.colors.colors import Colors
    from vantor.image.image import Image
    from vantor.rect.rect import Rect
    from vantor.runecell.runecell import GlyphInfo
    from vantor.vector2.vector2 import Vector2
    from vantor.vector3.vector3 import Vector3
    from vantor.vector4.vector4 import Vector4

    # Python code that raises while the interpreter fails an allocation can lose its exception
    # (CPython 3.13t then reports "returned NULL without setting an exception"): the helpers
    # below never raise; a missing attribute or item is missing from the C-level lookup instead.
    # Nor do they build non-empty lists: when CPython 3.13t's PyList_New(n) cannot allocate the
    # item array, it deallocates the list with a stale item pointer and size, and the process
    # crashes later. Calls get their lists from the setup for the same reason.
    class ForeignBase:
        """A foreign vector (it has clamp_magnitude_ip) whose components are computed when read."""

        clamp_magnitude_ip = None

    foreign_types = [
        type("Foreign", (ForeignBase,), {c: property(lambda s, i=i: s._c[i] * 1.0) for i, c in enumerate("xyzw"[:n])})
        for n in range(5)
    ]

    def Foreign(*c):
        """A foreign vector with as many components as given: x, then y, ..."""
        f = foreign_types[len(c)]()
        f._c = c
        return f

    class NoClamp:
        """Components, but no clamp_magnitude_ip: not a foreign vector."""

        x = y = z = w = 1.0

    class Seq:
        """A sequence that is neither a tuple nor a list; float items are made when read (also by
        iteration, which therefore ends without an IndexError)."""

        def __init__(self, *items):
            self._items = items

        def __len__(self):
            return len(self._items)

        def __getitem__(self, i):
            item = self._items[i]
            return item * 1.0 if type(item) is float else item

        def __iter__(self):
            return (item * 1.0 if type(item) is float else item for item in self._items)

    class Mapping:
        """A mapping that is not a dict; its values are made when looked up."""

        def __init__(self, **values):
            self._values = values

        def __getitem__(self, key):
            return self._values[key] * 1.0

    class TupleSub(tuple):
        pass

    class ListSub(list):
        pass

    class ColorSub(Color):
        pass

    class ColorOver(Color):
        def fade(self, alpha):
            Color.fade(self, alpha * 0.5)

        def to_int(self):
            return self.r * 1000 + self.a

    class RectSub(Rect):
        pass

    class RectOver(Rect):
        def get_width(self):
            return self.w * 2.0

        def get_height(self):
            return self.h * 2.0

        def get_tuple(self):
            return (self.x, self.y, 1.0, 2.0)

        def get_vector4(self):
            return Vector4(self.x, 1, 2, 3)

    for name in ("point", "point_vector2", "point_tuple", "point_list", "rect", "rect_vector4", "rect_rect",
                 "rect_tuple", "rect_list"):
        setattr(RectOver, f"collide_{name}", lambda self, other: self.x * 1.0)

    class RectBad(Rect):
        def get_vector4(self):
            return self.x * 1.0

        def get_tuple(self):
            return self.x * 1.0

    class GlyphSub(GlyphInfo):
        def __init__(self, *args):
            self.args = args

    names = dict(locals())
    names.update(iadd=operator.iadd, isub=operator.isub, imul=operator.imul, setitem=operator.setitem,
                 delitem=operator.delitem, huge=10**400, nan=float("nan"), PX=bytearray(range(16)))
    del names["name"]
    return names


def state(o):
    """What a failed call must not change (field by field, as a tuple, where fields are stored one
    at a time), or None for objects that do not matter (functions, types, numbers)."""
    c = P["client"]
    if isinstance(o, P["Vector2"]):
        return tuple(map(repr, c.vector2_record(o)))
    if isinstance(o, P["Vector3"]):
        return tuple(map(repr, c.vector3_record(o)))
    if isinstance(o, P["Vector4"]):
        return tuple(map(repr, c.vector4_record(o)))
    if isinstance(o, P["Rect"]):
        return tuple(map(repr, (o.x, o.y, o.width, o.height)))
    if isinstance(o, P["Color"]):  # set all at once (text, not a tuple: a palette has 152 of them)
        return f"Color{o.r},{o.g},{o.b},{o.a}"
    if isinstance(o, P["Colors"]):
        return tuple(state(getattr(o, name)) for name in COLOR_NAMES)
    if isinstance(o, P["GlyphInfo"]):
        record = c.glyph_record(o)
        return record[:-1] + (state(record[-1]),)
    if isinstance(o, P["Image"]):
        return c.image_record(o)
    if isinstance(o, (list, tuple, dict, bytearray, P["Seq"], P["ForeignBase"], P["Mapping"])):
        return (type(o).__name__, repr(vars(o) if hasattr(o, "__dict__") else o))
    return None


def snapshot(ns, names):
    return {name: s for name in names if name in ns and (s := state(ns[name])) is not None}


def names_used(code):
    """The global names a compiled call reads: the objects it can reach."""
    names = set(code.co_names)
    for const in code.co_consts:
        if hasattr(const, "co_names"):
            names |= names_used(const)
    return names


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
        seen.append(e)
        e = e.__cause__ or e.__context__
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
    import struct

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
            if s == before.get(name):
                continue
            if name in op.prefix and any(s == base_after[name][:i] + before[name][i:] for i in range(len(s) + 1)):
                continue
            return f"left {name} as {s}, not as before ({before.get(name)})"
        return None

    held = [drain(16)]
    quiet, k = 0, first_k
    ks = iter(only) if only is not None else None
    while True:
        if ks is not None:
            k = next(ks, None)
            if k is None:
                break
        elif quiet >= streak:
            break
        struct.pack_into("qq", progress, 8, k, k)
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
        k += 1
    struct.pack_into("q", progress, 8, -1)
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


def forked(progress, deadline, fn, *args):
    """fn(*args) in a forked child, which writes one JSON line per item of the iterable fn returns:
    the lines read, and {"crash": ..., "at": the progress slots} if the child died or hung."""
    import select
    import signal
    import struct

    struct.pack_into("qqq", progress, 0, -2, -2, -2)
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
    while True:
        ready, _, _ = select.select([r], [], [], deadline)
        if not ready:
            os.kill(pid, signal.SIGKILL)
            crash = "hung"
            break
        chunk = os.read(r, 65536)
        if not chunk:
            break
        data += chunk
    os.close(r)
    _, status = os.waitpid(pid, 0)
    lines = [json.loads(line) for line in data.decode().splitlines() if line.endswith("}")]
    if crash or os.WIFSIGNALED(status) or os.WEXITSTATUS(status):
        lines.append({"crash": crash or f"status {status}", "at": list(struct.unpack_from("qqq", progress, 0))})
    return lines


def run_ops(ops, start, streak, progress, collect):
    """The runner: operations start, start + 1, ... each in a thread of this process."""
    import gc
    import struct

    for i in range(start, len(ops)):
        struct.pack_into("qqq", progress, 0, i, -2, -2)
        yield in_thread(prove_op, ops[i], streak, 0, None, progress, collect)
        if i % 16 == 15:
            gc.collect()


def alone(op, streak, progress, ks, collect):
    """One operation alone in its process (the isolation of a crash): attempts ks, or all."""
    import gc
    import struct

    struct.pack_into("q", progress, 0, -1)
    gc.collect()
    yield prove_op(op, streak, 0, ks, progress, collect)


def isolate(op, streak, progress, deadline, at):
    """What a crash of the runner at `at` (operation, k running, last k started) comes from: the
    allocation of this operation that crashes a process of its own when it fails, if one does."""
    k, last = at[1], at[2]
    if k == -2:
        candidates = []  # the baseline call itself crashed
    else:
        candidates = ([k] if k >= 0 else []) + list(range(0, last + 1))
    seen = set()
    for j in candidates:
        if j in seen:
            continue
        seen.add(j)
        res = forked(progress, deadline, alone, op, streak, progress, [j], True)
        if res and "crash" in res[-1]:
            return [j, f"crash ({res[-1]['crash']}) when this allocation fails"]
    where = "in the baseline call" if k == -2 else f"at k={k}" if k >= 0 else "after the attempts"
    return ["?", f"the runner crashed {where}; no failing allocation of this operation crashes alone"]


# ---- The operations, generated from the types, their signatures and the table declarations ----

COLOR_NAMES = ()

# The calls of each slot (a wrapper descriptor in a type's dict) and of the methods without a usable
# signature: `v` is the receiver, `o` another object of its type, `t` a tuple, `V` the type; every
# group's setup defines the names its slots use. A slot missing here fails the proof.
SLOT_CALLS = {
    "__repr__": ["repr(v)"],
    "__hash__": ["hash(v)"],
    "__eq__": ["v == o", "v == t"],
    "__ne__": ["v != o", "v != t"],
    "__lt__": ["v < o"],
    "__le__": ["v <= o"],
    "__gt__": ["v > o"],
    "__ge__": ["v >= o"],
    "__iter__": ["iter(v)", "list(v)", "tuple(v)"],
    "__next__": ["next(v)"],
    "__buffer__": ["memoryview(v)", "bytes(v)"],
    "__add__": ["v + o", "v.__add__(o)", "v + t"],
    "__sub__": ["v - o", "v.__sub__(o)", "v - t"],
    "__mul__": ["v * o", "v * 2.5", "v * 3", "v * True", "v.__mul__(o)", "v * 's'", "v * huge"],
    "__truediv__": ["v / o", "v / 2.5", "v.__truediv__(0)", "v / 's'"],
    "__floordiv__": ["v // o", "v // 2.5", "v.__floordiv__(3)", "v // 's'"],
    "__neg__": ["-v"],
    "__iadd__": ["iadd(v, o)", "iadd(v, t)"],
    "__isub__": ["isub(v, o)", "isub(v, t)"],
    "__imul__": ["imul(v, o)", "imul(v, 2)"],
    "__len__": ["len(v)"],
    "__getitem__": ["v[1]", "v[-1]", "v[9]", "v[1.5]", "v[huge]"],
    "__setitem__": ["setitem(v, 1, 2.25)", "setitem(v, 1, 7)", "setitem(v, 9, 2.25)", "setitem(v, 1, 's')",
                    "setitem(v, 1.5, 2.25)"],
    "__delitem__": ["delitem(v, 0)"],
    "__new__": ["V.__new__(V)", "V.__new__(V, 1, 2, x=3)"],
    "__call__": [],  # the function type: its calls are those of the methods
    "__get__": ["v.__get__(o)", "v.__get__(None, V)"],
    "__reduce__": ["v.__reduce__()", "v.__reduce_ex__(2)", "v.__reduce__(1)"],  # pickle's and copy's way in
    "__setstate__": ["v.__setstate__(None)", "v.__setstate__()"],
    "__length_hint__": ["v.__length_hint__()"],
}

# Names in a type's dict that are data, not operations.
DATA = {"__doc__", "__pyx_vtable__", "__match_args__", "__hash__", "__module__"}


def surface(T, setup, params, *, static="V", init=(), prefix_init=False, sample=None, values=None, wrong=None,
            calls=None, note=""):
    """Operations for everything in T's dict: each method with its parameters (positionally and by
    keyword, then with one argument too many, an unknown keyword and each argument of a wrong
    kind), each property read, written with each of `values` and deleted, each slot by the calls of
    SLOT_CALLS (or `calls`), and the constructor with each argument list of `init`."""
    import inspect

    ops = []
    calls = {**SLOT_CALLS, **(calls or {})}
    values = values or {}
    wrong = wrong or {}
    probe = dict(P)
    exec(setup, probe)
    receiver = probe["v"]
    for name, attr in vars(T).items():
        kind = type(attr).__name__
        if name in DATA and kind not in ("wrapper_descriptor", "getset_descriptor", "member_descriptor"):
            continue
        if kind in ("method_descriptor", "function", "staticmethod") and name not in calls:
            on = static if kind == "staticmethod" else "v"
            try:
                signature = inspect.signature(getattr(T, name))
                names = [p.name for p in signature.parameters.values() if p.name != "self"]
                keywords = all(p.kind is p.POSITIONAL_OR_KEYWORD for p in signature.parameters.values()
                               if p.name != "self")
                if any(p.kind in (p.VAR_POSITIONAL, p.VAR_KEYWORD) for p in signature.parameters.values()):
                    raise ValueError(name)
            except ValueError:
                raise KeyError(f"{T.__name__}.{name}: no signature; give its calls in `calls`") from None
            args = [params[(name, p)] if (name, p) in params else params[p] for p in names]
            choices = _choices(args)
            first = choices[0]
            for i, choice in enumerate(choices):
                ops.append(Op(setup, note=note, call=f"{on}.{name}({', '.join(choice)})", extra=i > 0))
            if keywords and names:
                ops.append(Op(setup, note=note, extra=True,
                              call=f"{on}.{name}({', '.join(f'{p}={a}' for p, a in zip(names, first))})"))
            ops.append(Op(setup, note=note, call=f"{on}.{name}({', '.join(first + ['1.5'])})", extra=True))
            ops.append(Op(setup, note=note, call=f"{on}.{name}(bogus=1)", extra=True))
            for i, p in enumerate(names):
                bad = wrong.get((name, p), wrong.get(p, "'s'"))
                if bad is not None:
                    ops.append(Op(setup, note=note, extra=True,
                                  call=f"{on}.{name}({', '.join(first[:i] + [bad] + first[i + 1:])})"))
        elif kind in ("getset_descriptor", "member_descriptor") and name not in calls:
            if sample is not None and name not in sample:
                continue
            ops.append(Op(setup, note=note, call=f"v.{name}"))
            try:
                setattr(receiver, name, getattr(receiver, name))
            except AttributeError:
                continue  # read-only
            except TypeError:
                pass
            for i, value in enumerate(values.get(name, values.get(None, ["2.25", "7", "'s'"]))):
                ops.append(Op(setup, note=note, call=f"setattr(v, {name!r}, {value})", extra=i > 0))
            ops.append(Op(setup, note=note, call=f"delattr(v, {name!r})", extra=True))
        elif name in calls:
            for i, c in enumerate(calls[name]):
                ops.append(Op(setup, note=note, call=c, extra=i > 0))
        elif kind in ("wrapper_descriptor", "method_descriptor", "builtin_function_or_method") and name != "__init__":
            raise KeyError(f"{T.__name__}.{name}: no calls for this slot in SLOT_CALLS")
    for args in init:
        ops.append(Op(setup, note=note, call=f"V({args})"))
        ops.append(Op(setup, note=note, call=f"v.__init__({args})", prefix=("v",) if prefix_init else (),
                      extra=True))
    return ops


def _choices(args):
    """Every combination of the alternatives given for each argument, varying one at a time."""
    first = [a if isinstance(a, str) else a[0] for a in args]
    out = [first]
    for i, a in enumerate(args):
        if not isinstance(a, str):
            out += [first[:i] + [alt] + first[i + 1:] for alt in a[1:]]
    return out


def table(module, client_call, args_for, setup, flag_receivers=()):
    """One call per entry of the module's operation table, as its public header declares it (slot
    order, parameter types and names); the entries with a dispatch flag also with flag 0 on each of
    `flag_receivers` (subclass instances with and without overrides)."""
    import vantor

    with open(os.path.join(os.path.dirname(vantor.__file__), module, f"{module}.h")) as f:
        header = f.read()
    body = re.search(r"typedef struct Vantor\w+VTable \{(.*?)\} Vantor\w+VTable;", header, re.S).group(1)
    body = re.sub(r"/\*.*?\*/", "", body, flags=re.S)
    ops = []
    for _, entry, params in re.findall(r"(\w[\w\s*]*?)\(\*(\w+)\)\(([^)]*)\);", body):
        entry = "new" if entry == "new_" else entry
        parsed = []
        for p in filter(None, (p.strip() for p in params.split(","))):
            pname = re.findall(r"\w+", p)[-1]
            parsed.append((p[: -len(pname)].replace(" ", ""), pname))
        args = [args_for(entry, ctype, pname) for ctype, pname in parsed]
        ops.append(Op(setup, f"{client_call}({entry!r}, {', '.join(args)})"))
        if parsed and parsed[-1][1] == "flag":
            for r in flag_receivers:
                ops.append(Op(setup, f"{client_call}({entry!r}, {', '.join([r] + args[1:-1] + ['0'])})", extra=True))
    if not ops:
        raise KeyError(f"no table entries found in {module}.h")
    return ops


def sampled(names, sample):
    names = list(names)
    if sample <= 0 or len(names) <= sample:
        return names
    return [names[round(i * (len(names) - 1) / (sample - 1))] for i in range(sample)]


def vector_ops(n, sample):
    T = P[f"Vector{n}"]
    comps = ["1.5", "-2.5", "0.75", "4.0"][:n]
    cs, ds = ", ".join(comps), ", ".join(["3.25", "4.0", "-1.0", "0.5"][:n])
    setup = (f"V = Vector{n}; v = V({cs}); o = V({ds}); a = V({', '.join(['1', '2', '3', '4'][:n])}); "
             f"b = V({', '.join(['-3', '0.5', '8', '-1'][:n])}); l = [{cs}]; t = tuple(l); memo = {{}}; "
             f"fv = Foreign({ds}); fs = Foreign(1.0); ts = TupleSub(t); ls = ListSub(l); short = (1.5,); "
             f"shortl = [1.5]; long = t + t; bad = ('s',) * {n}; badl = list(bad); nc = NoClamp(); "
             f"d = {{'x': 1.0, 'y': 2.0}}; m = Mapping(x=1.0, y=2.0); dx = {{'x': 5.0}}")
    ints, floats = ["3", "-7", "11", "1048577"], ["0.1", "-2.5", "1e39", "4.0"]
    params = {"other": "o", "new_vec": "a", "old_vec": "b", "memo": "memo", (f"from_vector{n}", "other"): "o",
              ("from_tuple", "other"): ["t", "long", "bad", "short"], ("from_list", "other"): ["l", "badl", "shortl"]}
    wrong = {"other": "t", "new_vec": "t", "old_vec": "t", "memo": None, ("from_tuple", "other"): "l",
             ("from_list", "other"): "t"}
    for i, c in enumerate("xyzw"[:n]):
        params[c] = floats[i]
        params[("from_ints", c)] = [ints[i], floats[i]]
    swizzles = [s for s in vars(T) if len(s) == n and set(s) <= set("xyzw")]
    keep = set(vars(T)) - set(swizzles) | set(sampled(swizzles, sample))
    init = ["", cs, "o", "t", "l", "ts", "ls", "fv", "fs", "nc", "'ab'", "None", "long", "bad", "x=1",
            ", ".join(comps + ["9.0"]) if n != 3 else "1.5, 2.5"]
    ops = surface(T, setup, params, init=init, prefix_init=True, sample=keep, wrong=wrong,
                  values={None: ["2.25", "7", "'s'", "huge"], "data": ["d", "m", "dx", "5", "l"]})
    it = f"V = Vector{n}; v = iter(V({cs}))"
    ops += surface(type(iter(T())), it, {}, note="iterator: ")
    ops.append(Op(it + "; list(v)", "next(v)", note="iterator exhausted: "))

    def args_for(entry, ctype, pname):
        if ctype.startswith("Vantor"):
            return {"self": "v", "other": "o", "a": "a", "b": "b", "new_vec": "a", "old_vec": "b"}[pname]
        if pname == "flag":
            return "1"
        if ctype == "PyObject*":
            return {"list": "l", "tuple": "t"}[pname]
        if ctype == "Vector2":
            return cs
        return {"double": floats, "float": floats, "int": ints}[ctype]["xyzw".index(pname)]

    ops += table(f"vector{n}", f"client.vector{n}_slot", args_for, setup)
    for entry, args in (("cfrom_tuple", ("short", "bad", "long")), ("cfrom_list", ("shortl", "badl"))):
        ops += [Op(setup, f"client.vector{n}_slot({entry!r}, {a})", extra=True) for a in args]
    return ops


def color_ops(sample):
    setup = ("V = Color; v = Color(10, 20, 30, 40); o = Color(200, 100, 50, 255); q = Vector4(0.5, 1.0, -0.2, 2.0); "
             "t = (1, 2, 3); vs = ColorOver(10, 20, 30, 40); vp = ColorSub(10, 20, 30, 40)")
    params = {"tint": "o", "other": "o", "vector": "q", "alpha": ["0.5", "2", "nan"], "state": "None"}
    wrong = {"tint": "t", "other": "t", "vector": "t", "state": None}
    init = ["1, 2, 3", "1, 2, 3, 4", "r=1, g=2, b=3, a=4", "1, 2, b=3", "300, -1, 12.9, 255.5", "1, 2", "1, 2, 3, 4, 5",
            "'1', 0, 0", "2**31, 0, 0", "nan, 0, 0", "1, 2, 3, x=1", "1, 2, 3, r=1", "g=2, b=3"]
    ops = surface(P["Color"], setup, params, init=init, wrong=wrong,
                  values={None: ["300", "12.9", "-7", "'s'", "2**31", "nan"]})
    ops += [Op(setup, "ColorSub(1, 2, 3)"), Op(setup, "ColorSub(1, 2, 's')")]
    gen = "v = iter(Color(1, 2, 3, 4))"
    ops += surface(type(iter(P["Color"](1, 2, 3))), gen, {},
                   calls={"send": ["v.send(None)", "v.send(1)"], "throw": ["v.throw(ValueError)", "v.throw(1)"],
                          "close": ["v.close()"]}, note="iterator: ")
    ops += [Op(gen + "; next(v)", "v.send(1)", note="iterator started: "),
            Op(gen + "; list(v)", "next(v)", note="iterator exhausted: ")]
    fn = "V = Color; v = Color.tint; o = Color(1, 2, 3)"
    ops += surface(type(P["Color"].tint), fn, {}, calls={"__call__": ["v(o, o)", "v(o)", "v(o, tint=o)"]},
                   note="Color.tint: ")

    def args_for(entry, ctype, pname):
        if ctype.startswith("Vantor"):
            return {"self": "v", "other": "o", "tint": "o"}[pname]
        return {"flag": "1", "alpha": "0.5", "r": "10", "g": "300", "b": "-5", "a": "40"}[pname]

    return ops + table("color", "client.color_slot", args_for, setup, flag_receivers=("vs", "vp"))


def rect_ops(sample):
    setup = ("V = Rect; v = Rect(1.5, 2.5, 3.0, 4.0); o = Rect(2, 3, 4, 5); p2 = Vector2(2.0, 3.0); "
             "q = Vector4(2, 3, 4, 5); t2 = (2.0, 3.0); l2 = [2.0, 3.0]; t = (2.0, 3.0, 4.0, 5.0); l = list(t); "
             "s2 = Seq(2.0, 3.0); t3 = (1, 2, 3); vs = RectOver(1.5, 2.5, 3.0, 4.0); vp = RectSub(1.5, 2.5, 3.0, 4.0); "
             "vb = RectBad(1.5, 2.5, 3.0, 4.0); ts = TupleSub(t); fv = Foreign(1.0, 2.0, 3.0, 4.0)")
    params = {("collide_point", "point"): ["p2", "t2", "l2", "t3", "5"],
              ("collide_point_vector2", "point"): "p2", ("collide_point_tuple", "point"): ["t2", "None"],
              ("collide_point_list", "point"): ["l2", "None"],
              ("collide_rect", "other"): ["o", "q", "t", "l", "ts", "t3", "'abcd'"],
              ("collide_rect_rect", "other"): "o",
              ("collide_rect_vector4", "other"): "q", ("collide_rect_tuple", "other"): ["t", "('a', 0, 0, 0)"],
              ("collide_rect_list", "other"): "l", "state": "None"}
    wrong = {"point": "fv", "other": "fv", "state": None}
    init = ["", "1.5, 2.5, 3.0, 4.0", "p2", "o", "q", "t", "l", "ts", "t3", "5", "t2, l2", "p2, p2", "t3, t2",
            "t2, 5", "1, 2, 3", "x=1", "1, 2, 3, 's'"]
    ops = surface(P["Rect"], setup, params, init=init, prefix_init=True, wrong=wrong,
                  values={None: ["2.25", "7", "'s'", "huge"], "center": ["p2", "t2", "l2", "s2", "5", "'s'"]})
    ops += surface(type(iter(P["Rect"]())), "v = iter(Rect(1, 2, 3, 4))", {}, note="iterator: ")
    ops += [Op(setup, "RectSub(1, 2, 3, 4)")]

    def args_for(entry, ctype, pname):
        if ctype == "Rectangle":
            return "1.5, 2.5, 3.0, 4.0"
        if pname == "flag":
            return "1"
        if pname == "self":
            return "v"
        if ctype == "VantorVector2Object*":
            return "p2"
        if ctype == "VantorVector4Object*":
            return "q"
        if ctype == "VantorRectObject*":
            return "o"
        return {"point": "t2", "point_tuple": "t2", "point_list": "l2", "rect": "t", "rect_tuple": "t",
                "rect_list": "l"}[entry.removeprefix("collide_")]

    return ops + table("rect", "client.rect_slot", args_for, setup, flag_receivers=("vs", "vp", "vb"))


def colors_ops(sample):
    setup = "V = Colors; v = Colors(); o = Color(1, 2, 3, 4); s = ColorSub(5, 6, 7); t = (255, 0, 0)"
    reset = f"{setup}; [setattr(v, n, o) for n in {COLOR_NAMES!r}]"
    ops = [Op(setup, "Colors()"), Op(setup, "Colors(1)"), Op(setup, "Colors(x=1)"), Op(setup, "V.__new__(V)"),
           Op(reset, "v.__init__()", prefix=("v",), note="every colour replaced: "), Op(setup, "v.__init__(1)")]
    for name in sampled(COLOR_NAMES, sample):
        ops += [Op(setup, f"v.{name}")]
        ops += [Op(setup, f"setattr(v, {name!r}, {x})", extra=x != "o") for x in ("o", "None", "s", "t")]
        ops.append(Op(setup, f"delattr(v, {name!r})", extra=True))
    return ops


def runecell_ops(sample):
    setup = "V = GlyphInfo; v = GlyphInfo()"
    ops = surface(P["GlyphInfo"], setup, {})
    ops += [Op(setup, "GlyphInfo()"), Op(setup, "GlyphInfo(1, 2, x=3)"), Op(setup, "GlyphSub(1, 2)")]
    for args in ("65, 1, 2, 3, 2, 2, 1, 7, PX", "65, 1, 2, 3, 2, 2, 1, 7, None", "65, 1, 2, 3, -2, 2, 1, 7, PX"):
        ops.append(Op(setup, f"client.glyph_new({args})"))
    return ops


def image_ops(sample):
    setup = "v = client.image_new(2, 3, 1, 7, 1, 5)"
    ops = surface(P["Image"], setup, {})
    for args in ("2, 3, 1, 7, 1, 5", "2, 3, 1, 7, -1, 5", "-2, 3, 1, 7, 1, 5", "2, 3, -1, 7, 0, 0"):
        ops.append(Op(setup, f"client.image_new({args})"))
    return ops


def parser_ops(sample):
    objects = {
        "vector2": ["Vector2(1.5, -2.5)", "(1.5, -2.5)", "[1.5, -2.5]", "TupleSub((1.5, -2.5))", "ListSub([1.5, 2.5])",
                    "Seq(1.5, -2.5)", "range(2)", "b'\\x01\\x02'", "'ab'", "{'x': 1.0, 'y': 2.0}", "Foreign(1.0, 2.0)",
                    "(1, 2, 3)", "[]", "'abc'", "Vector4(1, 2, 3, 4)", "(1.5, 's')", "[huge, 1]", "5", "None"],
        "color": ["Color(1, 2, 3, 4)", "(300, -5, 128)", "[1.9, 2.5, 3.99, 0]", "(1, 2)", "[1, 2, 3, 4, 5]",
                  "Seq(1, 2, 3)", "Vector4(1.9, 2, 3, 300)", "(2**31, 0, 0)", "['1', 0, 0]", "(1, 2, nan)",
                  "TupleSub((1, 2, 3))", "{}", "Foreign(1.0, 2.0, 3.0)", "None"],
        "rect": ["Rect(1, 2, 3, 4)", "(1, 2, 3, 4)", "[1, 2, 3, 4]", "Seq(1.0, 2.0, 3.0, 4.0)", "Vector4(1, 2, 3, 4)",
                 "ListSub([1, 2, 3, 4])", "(1, 2, 3)", "[1, 2, 3, 's']", "3.5", "{}", "Foreign(1.0, 2.0, 3.0, 4.0)"],
    }
    ops = [Op(f"x = {obj}", f"client.parse({kind!r}, x)", parse=True, note=f"x = {obj}: ")
           for kind, objs in objects.items() for obj in objs]
    size = P["client"].layout()["vector2"][0]
    ops += [Op("", "client.bind_parser('vantor.parser.parser')"),
            Op("", f"client.import_type('vantor.vector2.vector2', 'Vector2', {size}, True)"),
            Op("", f"client.import_type('vantor.vector2.vector2', 'Vector2', {size + 8}, False)"),
            Op("", f"client.import_type('vantor.vector2.vector2', '__name__', {size}, True)")]
    return ops


def operations(group, sample):
    if group.startswith("vector"):
        return vector_ops(int(group[-1]), sample)
    return globals()[f"{group}_ops"](sample)


def main(group, streak, stride, sample, collect):
    """Proves every operation of `group` (every `stride`-th of the further forms only, at most
    `sample` of a type's swizzles or a palette's names) and prints the figures as JSON. A runner
    process attempts the operations one after the other; when it crashes, the operation it was at
    is isolated in processes of its own and the runner goes on from the next one."""
    import gc
    import mmap
    import warnings

    global COLOR_NAMES
    # Showing a warning opens the source file, and the interpreter's own file objects do not
    # survive allocation failure: warnings are not what is tested here.
    warnings.simplefilter("ignore")
    P.update(prelude())
    COLOR_NAMES = tuple(n for n, a in vars(P["Colors"]).items() if type(a).__name__ == "getset_descriptor")
    ops, extras = [], 0
    for op in operations(group, sample):
        if op.extra:
            extras += 1
            if extras % stride:
                continue
        ops.append(op)
    gc.collect()
    gc.disable()  # a collection inside the window would meet the failure instead of the call
    progress = mmap.mmap(-1, 24)  # operation, attempt running, last attempt started
    summary = {"operations": len(ops), "attempts": 0, "errors": 0, "results": 0, "bad": []}
    start = 0
    while start < len(ops):
        lines = forked(progress, 300, run_ops, ops, start, streak, progress, collect)
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


if __name__ == "__main__":
    main(sys.argv[1], *map(int, sys.argv[2:]))
    sys.exit(0)


import pytest  # noqa: E402

from conftest import FREE_THREADED, figure, run_python, scale  # noqa: E402

pytest.importorskip("_testcapi")

# ---- Start-up under allocation failure ---------------------------------------------------------

# Each module with the package modules it imports (imported by the parent first, so that only the
# module's own creation and execution meet the failures), and an expression that exercises it.
MODULES = {
    "vector2": ([], "repr(m.Vector2(1, 2) + m.Vector2.from_tuple((3, 4))), m.Vector2(1, 2).data"),
    "vector3": ([], "repr(m.Vector3(1, 2, 3).cross(m.Vector3.from_xyz(4, 5, 6)))"),
    "vector4": ([], "repr(m.Vector4(1, 2, 3, 4).wzyx * 2)"),
    "color": (["vector4"], "repr(m.Color(1, 2, 3).tint(m.Color(4, 5, 6))), list(m.Color(7, 8, 9))"),
    "rect": (["vector2", "vector4"], "repr(m.Rect(1, 2, 3, 4).center), m.Rect(0, 0, 2, 2).collide_point((1, 1))"),
    "parser": (["vector2", "vector4", "color", "rect"],
               "sorted((k, c.__class__.__name__) for k, c in m.__pyx_capi__.items())"),
    "colors": (["vector4", "color"], "repr(m.Colors().Red)"),
    "image": ([], "m.Image.__name__"),
    "runecell": (["image"], "repr(m.GlyphInfo.__new__(m.GlyphInfo).__class__)"),
}

DRIVER = textwrap.dedent(
    r"""
    import _imp, importlib, importlib.util, json, os, sys, warnings
    import _testcapi

    name, smoke, *deps = sys.argv[1:]
    # Showing a warning (the GIL being turned on) opens the source file, and the interpreter's own
    # file objects fail to allocate their locks with a RuntimeError: not what is tested here.
    warnings.simplefilter("ignore")
    for d in deps:
        importlib.import_module(f"vantor.{d}.{d}")
    full = f"vantor.{name}.{name}"
    assert full not in sys.modules
    spec = importlib.util.find_spec(full)

    def chain(e):
        seen = []
        while e is not None and e not in seen:
            seen.append(e)
            e = e.__cause__ or e.__context__
        return [type(x).__name__ for x in seen]

    def fingerprint(m):
        # The module's and its type's namespaces (each name with the kind of its value: a half-wired
        # pickling refusal shows here) and what the smoke expression gives. Slot wrappers are left
        # out: readying a type again after the interpreter failed part way through readying it
        # adds wrappers for the slots the first attempt inherited, which change nothing.
        parts = [sorted(vars(m)), sys.modules.get(full) is m]
        for key, value in sorted(vars(m).items()):
            if isinstance(value, type):
                entries = [(a, type(b).__name__) for a, b in vars(value).items()]
                parts.append([key, sorted(e for e in entries if e[1] != "wrapper_descriptor")])
        parts.append(repr(eval(smoke, {"m": m})))
        return json.dumps(parts)

    def load():
        # The extension's own creation and execution, without importlib's locks around them.
        module = _imp.create_dynamic(spec)
        _imp.exec_dynamic(module)
        return module

    # What loading gives with allocation k failing, and, after a failure, what loading again
    # without failures gives (a failed execution leaves nothing that stops a later import).
    def attempt(k):
        r, w = os.pipe()
        pid = os.fork()
        if pid == 0:
            os.close(r)
            if k is not None:
                _testcapi.set_nomemory(k, k + 1)
            try:
                module = load()
            except BaseException as e:
                _testcapi.remove_mem_hooks()
                out = "error " + ",".join(chain(e)) + " " + str(e).replace("\n", " ")
                try:
                    out += "\nmodule " + fingerprint(load())
                except BaseException as again:
                    out += "\nretry failed: " + repr(again)
            else:
                _testcapi.remove_mem_hooks()
                out = "module " + fingerprint(module)
            os.write(w, out.encode())
            os._exit(0)
        os.close(w)
        data = b""
        while chunk := os.read(r, 65536):
            data += chunk
        os.close(r)
        _, status = os.waitpid(pid, 0)
        if not os.WIFEXITED(status) or os.WEXITSTATUS(status):
            return f"crash {status}"
        return data.decode()

    baseline = attempt(None)
    assert baseline.startswith("module "), baseline
    bad, errors, streak, k = [], 0, 0, 0
    # Past the last allocation every attempt is the baseline; a long run of them ends the search.
    while streak < 40 and k < 50000:
        out = attempt(k)
        if out == baseline:
            streak += 1
        else:
            streak = 0
            first, _, retry = out.partition("\n")
            kind, _, detail = first.partition(" ")
            names = detail.partition(" ")[0].split(",")
            if kind == "error" and "MemoryError" in names and "SystemError" not in names and retry == baseline:
                errors += 1
            else:
                bad.append([k, out[:300]])
        k += 1
    print(json.dumps({"attempts": k, "errors": errors, "bad": bad[:10]}))
    """
)


@pytest.mark.parametrize("name", MODULES)
def test_every_failed_allocation_at_start_up_ends_cleanly(name):
    deps, smoke = MODULES[name]
    r = run_python("-c", DRIVER, name, smoke, *deps, timeout=600)
    assert r.returncode == 0, r.stderr[-2000:]
    result = json.loads(r.stdout.strip().splitlines()[-1])
    whole = result["attempts"] - result["errors"] - len(result["bad"])
    figure("allocation failure", f"start-up of {name}: {result['attempts']} failing allocations tried, "
           f"{result['errors']} clean errors, {whole} whole modules")
    assert result["bad"] == [], result
    assert result["errors"] > 0, result  # the failures did reach the module


# ---- Every operation under allocation failure --------------------------------------------------

# Faults this proof meets outside the package, each (group, pattern of the problem, reason): the
# group is marked as failing for them only once every other attempt holds.
KNOWN: list[tuple[str, str, str]] = []


@pytest.mark.parametrize("group", GROUPS)
def test_every_failed_allocation_of_every_operation_ends_cleanly(group):
    streak, stride, sample = scale(16, 40), scale(4, 1), scale(8, 0)
    gil_off = ["-X", "gil=0"] if FREE_THREADED else []  # a default build refuses -X gil=0
    r = run_python(*gil_off, os.path.abspath(__file__), group, str(streak), str(stride), str(sample),
                   str(scale(0, 1)), timeout=3600)
    assert r.returncode == 0, r.stderr[-3000:]
    result = json.loads(r.stdout.strip().splitlines()[-1])
    figure("allocation failure", f"{group}: {result['operations']} operations, {result['attempts']} failing "
           f"allocations tried, {result['errors']} clean errors, {result['results']} whole results")
    known = [(pattern, why) for g, pattern, why in KNOWN if g == group]
    seen = {why for _, _, what in result["bad"] for pattern, why in known if re.search(pattern, what)}
    bad = [b for b in result["bad"] if not any(re.search(pattern, b[2]) for pattern, _ in known)]
    assert bad == [], "\n".join(map(repr, bad[:40]))
    assert result["errors"] > 0, result  # the failures did reach the operations
    if seen:
        pytest.xfail("; ".join(sorted(seen)))
