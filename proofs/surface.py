"""The package's surface, enumerated once for every proof that calls everything: the module list
(vantor._build_info.modules), each module's types and their dicts (constructors, methods, static
methods, properties, slots, with text signatures and descriptor kinds), the types those lead to
(iterators, function objects), and the public headers (every table entry with its C parameters and
dispatch flag, the parsers). What an argument must be is probed: each parameter is offered an object
of every kind (plain numbers, numbers converting only through __float__, __index__ or __int__, each
package type, tuples and lists of 2 to 4 numbers, a dict, None) and keeps those it accepts. A member
added later is reached by every proof without a new line here.
"""

import functools
import importlib
import inspect
import re
from pathlib import Path
from typing import NamedTuple

import vantor
from vantor._build_info import modules

PACKAGE = Path(vantor.__file__).parent

# Names in a type's dict that hold data, not operations (unless a descriptor holds them, as a
# function object's __doc__): the docstring and module, the pattern-matching field names, the
# operation table's capsule (its entries come from the header instead), a __hash__ of None.
DATA = {"__doc__", "__module__", "__match_args__", "__pyx_vtable__", "__hash__"}
# The types whose re-initialisation stores each field as it converts it (a failure leaves the
# fields before it changed); every other type's stores all or nothing.
FIELDWISE = {"Vector2", "Vector3", "Vector4", "Rect"}
# How the test client calls a table entry, where not as <module>_slot(name, ...); how it takes a
# struct given by value (its fields as plain numbers "p", a glyph's pixels "b" as a buffer or None);
# how it makes an object no Python code can ({} tells samples apart).
CLIENT = {"image": "image_new", "runecell": "glyph_new"}
STRUCTS = {"Vector2": "pp", "Rectangle": "pppp", "Image": "pppp", "VantorImageOptional *": "pp", "GlyphInfo": "ppppppppb"}
SAMPLES = {"Image": "client.image_new(2, 3, 1, 7, 1, {})"}


class Member(NamedTuple):
    owner: object  # the type; for a table entry or a parser, the module's name
    name: str
    kind: str  # "new", "init", "method", "static", "property", "slot", "entry" or "parser"
    params: tuple = ()  # parameter names ("*" for a variable list); for an entry, (C type, name) pairs
    settable: bool = False  # a property that can be assigned and deleted
    group: str = ""  # the shape a large family of members shares (swizzles, palette colours), else the name

    @property
    def key(self):
        return f"{label(self.owner)}.{self.name}"

    @property
    def flag(self):
        """Whether the entry takes the dispatch flag (a native caller's 0 honours a Python override)."""
        return self.kind == "entry" and self.params[-1:] == (("int", "flag"),)


# ---- the types and their members --------------------------------------------------------------

LEADERS = {}  # a type found through another (an iterator, a function type) -> that other type


@functools.cache
def types():
    """Every type of the package: each module's own, then the types their instances and members
    lead to (iterators, function objects), in a stable order."""
    found = [T for m in modules for T in vars(importlib.import_module(f"vantor.{m}.{m}")).values()
             if isinstance(T, type) and T.__module__.startswith("vantor.")]
    for T in list(found):
        led = [type(d) for d in vars(T).values()] + ([type(iter(sample(T)))] if "__iter__" in vars(T) else [])
        for L in dict.fromkeys(led):
            if L.__module__.startswith("vantor") and L not in found:
                found.append(L)
                LEADERS[L] = T
    return tuple(found)


def label(T):
    """T's name, prefixed by the type that leads to it if it is found through another."""
    return f"{LEADERS[T].__name__}.{T.__name__}" if T in LEADERS else getattr(T, "__name__", T)


def home(T):
    """The module T belongs to."""
    return home(LEADERS[T]) if T in LEADERS else T.__module__.split(".")[-1]


def sample(T, i=0):
    """An instance of T, its fields numbered from i (samples with different i differ in every field;
    i = -1 makes them all negative and not whole); or what iterating one gives, or a function."""
    names = getattr(T, "__match_args__", ())
    if names:
        return T(*(i * 10 + k + 1.5 if "x" in names else i * 40 + 10 * (k + 1) for k in range(len(names))))
    if "__new__" in vars(T) or T.__name__ in SAMPLES:
        return eval(SAMPLES[T.__name__].format(5 + i), {"client": client()}) if T.__name__ in SAMPLES else T()
    if "__next__" not in vars(T):  # the function type: a method of another type is one
        return next(d for d in vars(LEADERS[T]).values() if type(d) is T)
    return iter(sample(LEADERS[T], i))


def fields(T):
    return len(getattr(T, "__match_args__", ()))


def client():  # the native test client
    return importlib.import_module("vantor._testclient")


def record(T):
    """The test client's reader of T's record (the fields a native client sees), if it has one."""
    return next((f for n, f in vars(client()).items() if n.endswith("_record") and T not in LEADERS
                 and T.__name__.lower().startswith(n.removesuffix("_record"))), None)


@functools.cache
def members(T):
    """Every member of T's dict that is an operation, in the dict's order."""
    out = []
    for name, d in vars(T).items():
        kind = {"__new__": "new", "__init__": "init"}.get(name)
        if name in DATA and not hasattr(type(d), "__get__"):
            continue
        if kind:
            out.append(Member(T, name, kind, ("*",)))
        elif inspect.isdatadescriptor(d):  # settable unless it refuses its own value as read-only
            try:
                setattr(s := sample(T), name, getattr(s, name))
            except AttributeError:
                s = None
            except (TypeError, ValueError):
                pass
            shape = re.sub(r"\([^)]*\)", "", (d.__doc__ or "").replace(name, ""))
            out.append(Member(T, name, "property", settable=s is not None, group=shape))
        else:
            kind = "static" if isinstance(d, staticmethod) else "slot" if "wrapper" in type(d).__name__ else "method"
            try:  # the parameter names after self ("*" for a variable list), from the text signature
                params = tuple("*" if p.kind is p.VAR_POSITIONAL else p.name for p in inspect.signature(
                    getattr(T, name) if kind == "static" else d).parameters.values()
                               if p.name not in ("self", "type") and p.kind is not p.VAR_KEYWORD)
            except (TypeError, ValueError):
                params = ("*",)
            out.append(Member(T, name, kind, params))
    shapes = [m.group for m in out]  # a shape is a group only when many members share it
    return tuple(m._replace(group=m.group if m.group and shapes.count(m.group) > 8 else m.name) for m in out)


def member(T, name):
    return next(m for m in members(T) if m.name == name)


def leads(m):
    """Whether m stands alone, or first of its group (through which the proofs reach the rest)."""
    return m.group == m.name or m.name == next(n.name for n in members(m.owner) if n.group == m.group)


def in_place(m):
    """Whether a method's docstring says it works in place (the other methods only read)."""
    d = vars(m.owner)[m.name]
    return "in place" in (getattr(d, "__func__", d).__doc__ or "")


# ---- the tables and the parsers, as the public headers declare them ---------------------------

def split_param(text):
    """'VantorRectObject *self' -> ('VantorRectObject *', 'self'); 'int flag=*' -> ('int', 'flag=*')."""
    m = re.fullmatch(r"(.*?)\s*(\w+(?:=\*)?)", text.strip())
    ctype, name = (m[1], m[2]) if m and m[1] else (text, "")
    return re.sub(r"\s+\*", " *", ctype.strip()), name


def header_entries(m, struct=r"Vantor\w+VTable"):
    """The function pointers of module m's struct, in order: (name, C return type, [(C type, name)])."""
    text = re.sub(r"/\*.*?\*/", "", (PACKAGE / m / f"{m}.h").read_text(), flags=re.S)
    body = re.search(rf"typedef struct {struct} \{{(.*?)\}}", text, re.S)[1]
    return [(name, " ".join(ret.split()), [split_param(p) for p in params.split(",") if p.strip()])
            for ret, name, params in re.findall(r"([\w\s*]+?)\s*\(\*(\w+)\)\(([^)]*)\);", body)]


def tables():
    """The modules with an operation table."""
    return [m for m in modules if (PACKAGE / m / f"{m}.h").exists() and m != "parser"]


def entries(m):
    return tuple(Member(m, name.removesuffix("_"), "entry", tuple(p)) for name, _, p in header_entries(m))


@functools.cache
def everything():
    """Every member of every type, every table entry and every parser."""
    parsers = [Member("parser", name[6:-5], "parser", tuple(p)) for name, _, p in header_entries("parser", "VantorParser")]
    return tuple(m for T in types() for m in members(T)) + tuple(e for m in tables() for e in entries(m)) + tuple(parsers)


def subclassable(T):
    return bool(T.__flags__ & 1 << 10) and T not in LEADERS


def overridden(T):
    """The methods of T whose overrides a native caller runs, given 0 as its dispatch flag."""
    return [e.name for e in everything() if e.flag and e.owner == home(T) and e.name in vars(T)] if subclassable(T) else []


def table_type(m):
    """The type whose objects module m's table makes and works on."""
    return next(T for T in types() if home(T) == m and T not in LEADERS)


def owner_type(name):  # the type of that name (for a C type VantorRectObject, "Rect")
    return next(T for T in types() if T.__name__ == name)


# ---- what each parameter accepts ---------------------------------------------------------------

FloatOnly = type("FloatOnly", (), {"__float__": lambda self: 2.5})
IndexOnly = type("IndexOnly", (), {"__index__": lambda self: 1})
IntOnly = type("IntOnly", (), {"__int__": lambda self: 1})


def offers():
    """One object of every kind a parameter could want, by the kind's name."""
    out = {"2.5": 2.5, "1": 1, "FloatOnly": FloatOnly(), "IndexOnly": IndexOnly(), "IntOnly": IntOnly(),
           "dict": {"x": 1.0, "y": 2.0}, "None": None}
    out |= {f"{k}{n}": kind(float(i + 1) for i in range(n)) for n in (2, 3, 4) for k, kind in (("t", tuple), ("l", list))}
    return out | {f"@{T.__name__}": sample(T) for T in types() if fields(T)}


def fresh(keys):
    return [made[k] for made in [offers()] for k in keys]


def caller(member):
    """f(*args): calls `member` on a fresh sample (or through the test client, for an entry or a
    parser); NotImplemented from a slot, or a parse's exception, counts as a refusal."""
    T, name = member.owner, member.name
    if member.kind == "entry":
        return functools.partial(getattr(client(), CLIENT.get(T, f"{T}_slot")), *(() if T in CLIENT else (name,)))
    if member.kind == "static":
        return getattr(T, name)

    def call(*args):
        if member.kind == "parser":
            if client().parse(name, *args)[1] is not None:
                raise ValueError
        elif member.kind == "property":
            setattr(sample(T), name, *args)
        elif getattr(T, name)(sample(T), *args) is NotImplemented:
            raise TypeError
    return call


def works(call, args):
    try:
        return call(*args) or True
    except Exception:
        return False


def words(member):
    """An entry's words as far as its C types tell ("?" for an object, to probe), or "?" for each
    parameter of anything else; None for a variable list."""
    if member.kind != "entry":
        n = 1 if member.kind in ("parser", "property") else len(member.params)
        return None if "*" in member.params else ["?"] * n
    return [w for ctype, pname in member.params for w in (
        "f" if pname == "flag" and member.flag else STRUCTS[ctype] if ctype in STRUCTS else "p" if ctype in (
            "double", "float", "int") else "?" if ctype == "PyObject *" else ["@" + ctype[6:].removesuffix("Object *")])]


@functools.cache
def tame(member):
    """The kinds of arguments (names of offers()) the member accepts: for each object parameter the
    first kind they all accept, for an entry's others 1, None or a sample; None if there are none."""
    fill = [w if w[0] == "@" else {"p": "1", "f": "1", "b": "None"}.get(w, "?") for w in words(member) or []]
    candidates = dict.fromkeys(tuple(k if f == "?" else f for f in fill) for k in offers())
    return next((keys for keys in candidates if works(caller(member), fresh(keys))), None)


@functools.cache
def accepts(member):
    """For each word of wants(): the kinds of offers() that parameter accepts when the others are
    tame, or None where the C type alone says; nothing for a variable list."""
    out, call, keys = [], caller(member), tame(member)
    for i, word in enumerate(words(member) or []):
        args = fresh(keys) if keys else [None] * len(words(member))
        out.append(None if word != "?" else tuple(
            k for k, x in offers().items() if works(call, args[:i] + [x] + args[i + 1:])))
    return tuple(out)


@functools.cache
def wants(member):
    """What each parameter wants, in the words of the hostile-input proof: "n" a number (through
    __float__, or an index), "i" an integer (through __int__), "s2"/"t2"/"l2" a sequence, exact
    tuple or exact list of 2 items (3, 4 likewise; "s3|s4": either), "m" a mapping, "@Rect" an
    instance of that type, "a" anything, "*" any number of anything; for an entry's C parameters,
    "p" a plain number (struct fields too), "f" the dispatch flag, "b" a buffer or None."""
    if words(member) is None:
        return ("*",)
    return tuple(w if kinds is None else word(kinds) for w, kinds in zip(words(member), accepts(member)))


def word(kinds):
    """The hostile-input word for a parameter that accepts `kinds`."""
    seqs = [f"s{n}" for n in (2, 3, 4) if f"t{n}" in kinds and f"l{n}" in kinds] or [
        f"{k}{n}" for k in "tl" for n in (2, 3, 4) if f"{k}{n}" in kinds]
    objects = [k for k in kinds if k[0] == "@"]
    if len(kinds) == len(offers()):
        return "a"
    if seqs or "dict" in kinds:
        return "|".join(seqs) or "m"
    if "IntOnly" in kinds and "FloatOnly" not in kinds:  # an int() conversion
        return "i"
    return "n" if {"FloatOnly", "2.5", "1", "IndexOnly"} & set(kinds) else objects[0] if len(objects) == 1 else "a"


# The Python-level operations by which each slot is reached: `s` is the object, `x` and `y` what
# the slot's parameters want, `a` a variable list.
SLOTS = {
    "__repr__": ["repr(s)"], "__hash__": ["hash(s)"], "__len__": ["len(s)"], "__next__": ["next(s)"],
    "__iter__": ["iter(s)", "list(s)", "tuple(s)"], "__buffer__": ["memoryview(s)", "bytes(s)"], "__neg__": ["-s"],
    "__eq__": ["s == x", "x != s"], "__ne__": ["s != x"], "__lt__": ["s < x"], "__le__": ["s <= x"],
    "__gt__": ["s > x"], "__ge__": ["s >= x"], "__add__": ["s + x", "x + s"], "__sub__": ["s - x"],
    "__mul__": ["s * x", "x * s"], "__truediv__": ["s / x", "itruediv(s, x)"], "__floordiv__": ["s // x"],
    "__iadd__": ["iadd(s, x)"], "__isub__": ["isub(s, x)"], "__imul__": ["imul(s, x)"],
    "__getitem__": ["s[x]"], "__setitem__": ["setitem(s, x, y)"], "__delitem__": ["delitem(s, x)"],
    "__call__": ["s(*a)"], "__get__": ["s.__get__(x)", "s.__get__(None, type(x))"],
}
