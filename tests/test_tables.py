"""Each operation table as C clients see it (the installed header) and as Cython lays it out (the
installed .pxd): the same entries in the same order, with the same arity and C types, and the
dispatch flag exactly on the `cpdef` entries. A mismatch would be a silent wrong call in every Cython
client, since Cython trusts the .pxd."""

import re

import pytest

from surface import PACKAGE, header_entries, split_param, tables

TABLES = tables()
CLASSES = {"Vector2", "Vector3", "Vector4", "Color", "Rect", "Image", "GlyphInfo"}
# C types of the header -> the spellings a .pxd may give them.
SCALARS = {"int": {"int", "bint"}, "float": {"float"}, "double": {"double"}, "void": {"void"}}
OBJECTS = {"object", "tuple", "list", *CLASSES}


def pxd_entries(m):
    out = []
    for line in (PACKAGE / m / f"{m}.pxd").read_text().splitlines():
        e = re.match(r"\s+(cdef|cpdef) (\w+) (\w+)\((.*)\)", line)
        if e:
            params = [p.strip() for p in e[4].split(",") if p.strip()]
            out.append((e[3], e[1], e[2], [p if p == "self" else split_param(p) for p in params]))
    return out


def same_type(c, cython):
    """Whether the .pxd's type spells the header's C type."""
    if c == "PyObject *":
        return cython in OBJECTS
    if m := re.fullmatch(r"Vantor(\w+)Object \*", c):
        return cython == m[1]
    if c in SCALARS:
        return cython in SCALARS[c]
    return cython == f"Rl{c}"  # raylib's structs, declared for Cython under Rl names


@pytest.mark.parametrize("module", TABLES)
def test_pxd_declares_the_header_table_entry_for_entry(module):
    header, pxd = header_entries(module), pxd_entries(module)
    assert header and [n.removesuffix("_") if n == "new_" else n for n, _, _ in header] == [n for n, *_ in pxd]
    for (name, ret, params), (_, kind, pret, pparams) in zip(header, pxd):
        where = f"{module}.{name}"
        assert same_type(ret, pret), f"{where}: returns {ret}, the .pxd says {pret}"
        # A cdef entry with a trailing flag is caught by the parameter count below.
        if kind == "cpdef":
            assert params[-1:] == [("int", "flag")], f"{where}: cpdef without the dispatch flag"
            params = params[:-1]
        assert len(params) == len(pparams), f"{where}: {len(params)} parameters, the .pxd has {len(pparams)}"
        for (ctype, cname), p in zip(params, pparams):
            if p == "self":
                assert cname == "self" and re.fullmatch(r"Vantor\w+Object \*", ctype), where
            elif p[1].endswith("=*"):  # Cython's optional arguments arrive as one struct pointer
                assert ctype.endswith("Optional *"), f"{where}: {p} against {ctype} {cname}"
            else:
                assert same_type(ctype, p[0]), f"{where}: parameter {cname} is {ctype}, the .pxd says {p[0]}"


def test_the_check_catches_a_swapped_or_retyped_entry(monkeypatch):
    # Two neighbours of the same C type swapped, and an entry's type changed, as a .pxd edit could.
    pxd = pxd_entries("rect")
    swapped = pxd[:1] + [pxd[2], pxd[1]] + pxd[3:]
    monkeypatch.setattr(__import__(__name__), "pxd_entries", lambda m: swapped)
    with pytest.raises(AssertionError):
        test_pxd_declares_the_header_table_entry_for_entry("rect")
    retyped = pxd[:3] + [(pxd[3][0], pxd[3][1], "double", pxd[3][3])] + pxd[4:]
    monkeypatch.setattr(__import__(__name__), "pxd_entries", lambda m: retyped)
    with pytest.raises(AssertionError):
        test_pxd_declares_the_header_table_entry_for_entry("rect")
