"""Behaviour that Vector2, Vector3 and Vector4 share, run over all three.

Vector2 and Vector3 store single-precision floats and Vector4 doubles. Every expected value is computed by rounding
to the storage precision (`K.rnd`) at the same steps as the type does, and compared exactly. Table rows are
expressions evaluated per type: `T` is the class, `V(a, b)` the vector whose components repeat a, b, ... to fill all
of them, `rep` and `pad` the same tuples (`pad` fills with zeros), `r` the rounding to storage precision.
"""

import copy
import itertools
import math
import operator
import pickle
import re
import struct
from decimal import ROUND_HALF_UP, Decimal
from fractions import Fraction
from typing import NamedTuple

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from vantor.vector2.vector2 import Vector2
from vantor.vector3.vector3 import Vector3
from vantor.vector4.vector4 import Vector4

INF, NAN = math.inf, math.nan
OUT_OF_RANGE = "Vector index out of range"


def f32(x):
    """The double value of x rounded to single precision."""
    try:
        return struct.unpack("f", struct.pack("f", x))[0]
    except OverflowError:
        return math.copysign(INF, x)


def round_f32(q):
    """Round an exact rational to single precision, nearest-even: one rounding, unlike f32(math.fma(...))."""
    if q == 0:
        return 0.0
    a = abs(q)
    e = a.numerator.bit_length() - a.denominator.bit_length()
    e -= Fraction(2) ** e > a
    scale = Fraction(2) ** max(e - 23, -149)
    r = round(a / scale) * scale  # Fraction rounds halves to even
    return math.copysign(INF if r >= 2 ** 128 else float(r), q)


def div(p, q):
    """IEEE division of doubles (Python raises on a zero divisor)."""
    if q:
        return p / q
    return NAN if p == 0 or p != p else math.copysign(INF, p) * math.copysign(1, q)


def floor(q):
    """C floor: keeps infinities, NaN and the sign of zero."""
    return math.copysign(float(math.floor(q)), q) if math.isfinite(q) else q


def half_up(c):
    return int(Decimal(c).quantize(Decimal(1), rounding=ROUND_HALF_UP))


def raises(exc, msg=None):
    return pytest.raises(exc, match=None if msg is None else "^" + re.escape(msg) + "$")


def bad_type(name, got, expected):
    return f"Argument '{name}' has incorrect type (expected {expected}, got {got})"


def takes(name, count, given):
    return f"{name}() takes exactly {count} positional argument{'s' * (count != 1)} ({given} given)"


def float_error(value):
    """Expect the interpreter's own error for converting value to a double."""
    try:
        math.copysign(value, 1.0)
    except Exception as e:
        return raises(type(e), str(e))
    raise AssertionError(f"{value!r} converts")


def num(**methods):
    """An object that converts only through the given special methods."""
    return type("Num", (), {f"__{k}__": (lambda v: lambda self: v)(v) for k, v in methods.items()})()


def foreign(*values, clamp=lambda self: None):
    """Another library's vector, recognised by its clamp_magnitude_ip."""
    return type("Foreign", (), dict(zip("xyzw", values), clamp_magnitude_ip=clamp))()


class Reflecting:
    """A right operand with every reflected operator, equal to anything."""

    def __radd__(self, other):
        return "reflected"

    __rsub__ = __rmul__ = __rtruediv__ = __rfloordiv__ = __radd__
    __eq__ = lambda self, other: True  # noqa: E731
    __hash__ = None


Plain = type("Plain", (), dict(x=1.0, y=2.0, z=3.0, w=4.0))
ListSub = type("ListSub", (list,), {})
TupleSub = type("TupleSub", (tuple,), {})


class Kind(NamedTuple):
    cls: type
    names: str  # the components, in order
    full: str  # the name messages give
    copy_from: str  # from_vector2 ...
    from_comps: str  # from_xy ...
    width: int  # bits of a stored component

    def __repr__(self):
        return self.cls.__name__

    @property
    def n(self):
        return len(self.names)

    def rnd(self, x):
        return f32(x) if self.width == 32 else float(x)

    def fma(self, a, b, c):
        """a * b + c with one rounding to storage precision."""
        return round_f32(Fraction(a) * Fraction(b) + Fraction(c)) if self.width == 32 else math.fma(a, b, c)

    def rep(self, *pattern):
        return tuple(itertools.islice(itertools.cycle(pattern), self.n))

    def pad(self, *values):
        return values + (0,) * (self.n - len(values))

    def vec(self, *pattern):
        return self.cls(*self.rep(*pattern))

    def comps(self, v):
        return tuple(getattr(v, c) for c in self.names)

    def same(self, v, expected):
        """v is of this type and its components are exactly expected: -0.0 is not 0.0, any NaN matches any NaN."""
        return type(v) is self.cls and all(
            struct.pack("d", a) == struct.pack("d", b) or (a != a and b != b)
            for a, b in zip(self.comps(v), map(float, expected), strict=True))

    def ns(self, **extra):
        T = self.cls
        return dict(globals(), T=T, V=self.vec, rep=self.rep, pad=self.pad, r=self.rnd, n=self.n, K=self,
                    COPY=getattr(T, self.copy_from), FROM=getattr(T, self.from_comps), **extra)


KINDS = [
    Kind(Vector2, "xy", "vantor.vector2.vector2.Vector2", "from_vector2", "from_xy", 32),
    Kind(Vector3, "xyz", "vantor.vector3.vector3.Vector3", "from_vector3", "from_xyz", 32),
    Kind(Vector4, "xyzw", "vantor.vector4.vector4.Vector4", "from_vector4", "from_xyzw", 64),
]


@pytest.fixture(scope="module", params=KINDS, ids=repr)
def K(request):
    return request.param


def components(K):
    return st.tuples(*[st.floats(width=K.width)] * K.n)


# --- construction ------------------------------------------------------------------------------------------

@pytest.mark.parametrize("expr, expected", [
    ("T()", "pad()"), ("T(*rep(0.1, 0.2))", "rep(r(0.1), r(0.2))"),
    ("T(*rep(1e39, -1e300))", "rep(r(1e39), r(-1e300))"), ("T(*rep(1e-50, -1e-50))", "rep(r(1e-50), r(-1e-50))"),
    ("T(*rep(num(index=3), num(float=0.5)))", "rep(3, 0.5)"),
    ("T(list(rep(3, 4)))", "rep(3, 4)"), ("T(ListSub(rep(5, 6)))", "rep(5, 6)"),
    ("T(rep(3, 4))", "rep(3, 4)"), ("T(TupleSub(rep(7, 8)))", "rep(7, 8)"), ("T(V(3, 4))", "rep(3, 4)"),
    ("T(foreign(*rep(0.1, num(float=0.5))))", "rep(r(0.1), 0.5)"),
    ("COPY(V(1, 2))", "rep(1, 2)"),
    ("T.from_tuple((*rep(0.1, 2), 'ignored'))", "rep(r(0.1), 2)"),
    ("T.from_list([*rep(1, num(index=2)), 3])", "rep(1, 2)"),
    ("T.from_tuple(other=rep(3, 4))", "rep(3, 4)"),
    ("V(9).from_list(list(rep(3, 4)))", "rep(3, 4)"),
    ("T.from_ints(*rep(1.9, -1.9))", "rep(1, -1)"),
    ("T.from_ints(*rep(True, -2 ** 31))", "rep(1, -2 ** 31)"),
    # ints reach the record through a double, and Vector2 and Vector3 round that to single
    ("T.from_ints(*rep(16777217, 2 ** 31 - 1))", "rep(r(16777217), r(2 ** 31 - 1))"),
    ("T.from_ints(**dict(reversed([*zip(K.names, rep(1, 2))])))", "rep(1, 2)"),
    # from_floats narrows to single for every type, Vector4 included
    ("T.from_floats(*rep(0.1, 1e39))", "rep(f32(0.1), INF)"),
    ("FROM(*rep(num(float=0.5), 7)[:-1], **{K.names[-1]: num(index=7)})", "rep(0.5, 7)[:-1] + (7,)"),
])
def test_construction(K, expr, expected):
    ns = K.ns()
    assert K.same(eval(expr, ns), eval(expected, ns))


@pytest.mark.parametrize("expr, exc, msg", [
    ("T((*pad(), 3))", TypeError, "f'Vector{n}() takes a sequence of length {n}, but got {n + 1}'"),
    ("T(list(pad())[1:])", TypeError, "f'Vector{n}() takes a sequence of length {n}, but got {n - 1}'"),
    ("T([])", TypeError, "f'Vector{n}() takes a sequence of length {n}, but got 0'"),
    ("T('ab')", TypeError, "f'Vector{n}() invalid constructor argument: str'"),
    ("T(None)", TypeError, "f'Vector{n}() invalid constructor argument: NoneType'"),
    ("T(dict(x=1, y=2, z=3, w=4))", TypeError, "f'Vector{n}() invalid constructor argument: dict'"),
    ("T(range(n))", TypeError, "f'Vector{n}() invalid constructor argument: range'"),
    # x, y, ... alone do not make a foreign vector, and only a missing attribute means "not foreign"
    ("T(Plain())", TypeError, "f'Vector{n}() invalid constructor argument: Plain'"),
    ("T(foreign(*pad(), clamp=property(lambda s: 1 / 0)))", ZeroDivisionError, "'division by zero'"),
    ("T(foreign(*pad()[1:]))", AttributeError, "f\"'Foreign' object has no attribute '{K.names[-1]}'\""),
    ("T(x=1)", TypeError, "\"__init__() got an unexpected keyword argument 'x'\""),
    ("T(*pad(), y=1)", TypeError, "\"__init__() got an unexpected keyword argument 'y'\""),
    ("type('Sub', (T,), {})", TypeError, "f\"type '{K.full}' is not an acceptable base type\""),
    ("COPY(pad())", TypeError, "bad_type('other', 'tuple', K.full)"),
    ("COPY(None)", TypeError, "bad_type('other', 'NoneType', K.full)"),
    ("T.from_tuple(list(pad()))", TypeError, "bad_type('other', 'list', 'tuple')"),
    ("T.from_tuple(TupleSub(pad()))", TypeError, "bad_type('other', 'TupleSub', 'tuple')"),
    ("T.from_tuple(None)", TypeError, "bad_type('other', 'NoneType', 'tuple')"),
    ("T.from_list(ListSub(pad()))", TypeError, "bad_type('other', 'ListSub', 'list')"),
    ("T.from_list(None)", TypeError, "bad_type('other', 'NoneType', 'list')"),
    ("T.from_tuple(pad()[1:])", IndexError, None), ("T.from_list([])", IndexError, None),
    ("T.from_ints(*pad('1'))", TypeError, "'an integer is required'"),
    ("T.from_ints(*pad(num(index=1)))", TypeError, "'an integer is required'"),
    ("T.from_ints(*pad()[1:], num(int='7'))", TypeError, "'__int__ returned non-int (type str)'"),
    ("T.from_ints(*pad(2 ** 31))", OverflowError, None), ("T.from_ints(*pad()[1:], -2 ** 31 - 1)", OverflowError, None),
    ("T.from_ints(*pad(INF))", OverflowError, None), ("T.from_ints(*pad()[1:], NAN)", ValueError, None),
    ("T.from_floats(*pad()[1:], '1')", TypeError, "'must be real number, not str'"),
    ("FROM(*pad()[1:], 2 ** 1024)", OverflowError, "'int too large to convert to float'"),
    ("T.from_ints(1)", TypeError, "takes('from_ints', n, 1)"),
    ("T.from_ints(*pad(), 3)", TypeError, "takes('from_ints', n, n + 1)"),
    # with keywords, the count given is the position of the first missing parameter
    ("T.from_ints(y=2)", TypeError, "takes('from_ints', n, 0)"),
    ("FROM(x=2)", TypeError, "takes(K.from_comps, n, 1)"),
    ("COPY()", TypeError, "takes(K.copy_from, 1, 0)"),
    ("T().copy(1)", TypeError, "takes('copy', 0, 1)"),
    ("T().sadd(T())", TypeError, "takes('sadd', 2, 1)"),
    ("T.from_floats(*pad()[1:], x=2)", TypeError, "\"from_floats() got multiple values for keyword argument 'x'\""),
    ("T.from_list(items=[])", TypeError, "\"from_list() got an unexpected keyword argument 'items'\""),
    ("T().copy(k=1)", TypeError, "\"copy() got an unexpected keyword argument 'k'\""),
])
def test_construction_and_argument_errors(K, expr, exc, msg):
    ns = K.ns()
    with raises(exc, msg and eval(msg, ns)):
        eval(expr, ns)


class Label:
    def __str__(self):
        return "Renamed"


class Renaming(type):
    """A metaclass that reports another name for its classes."""

    __name__ = property(lambda cls: Label())


class Unnameable(type):
    __name__ = property(lambda cls: 1 / 0)


def test_invalid_argument_message_names_the_type_as_its_metaclass_reports_it(K):
    # Vector3 and Vector4 read str(type(obj).__name__); Vector2 keeps the type's own name.
    odd = Renaming("Odd", (), {})()
    with raises(TypeError, f"Vector{K.n}() invalid constructor argument: {'Odd' if K.n == 2 else 'Renamed'}"):
        K.cls(odd)
    if K.n > 2:
        with pytest.raises(ZeroDivisionError):
            K.cls(Unnameable("Odd", (), {})())


def test_constructor_counts_other_than_zero_one_and_all_are_refused(K):
    for count in range(2, 7):
        if count != K.n:
            with raises(TypeError, f"Vector{K.n}() takes 0, 1, or {K.n} arguments, but {count} were given"):
                K.cls(*range(count))


def test_init_again_reinitialises_and_stores_each_component_before_converting_the_next(K):
    v = K.vec(1, 2)
    v.__init__()
    assert K.comps(v) == K.pad()
    for bad in range(K.n):
        args = [5] * bad + ["a"] + [6] * (K.n - bad - 1)
        for form in (args, [args], [tuple(args)], [foreign(*args)]):
            v = K.vec(1)
            with float_error("a"):
                v.__init__(*form)
            assert K.comps(v) == (5,) * bad + (1,) * (K.n - bad)


def test_from_ints_int_subclass_from_dunder_int_is_deprecated_but_used(K):
    msg = ("__int__ returned non-int (type bool).  The ability to return an instance of a strict subclass of int "
           "is deprecated, and may be removed in a future version of Python.")
    with pytest.warns(DeprecationWarning, match="^" + re.escape(msg) + "$"):
        v = K.cls.from_ints(*K.rep(num(int=True), 5))
    assert K.comps(v) == K.rep(1, 5)


@settings(max_examples=100)
@given(st.tuples(*[st.floats(allow_nan=False)] * 4))
def test_every_double_constructor_rounds_once_to_storage_precision(K, values):
    values = values[:K.n]
    T, expected = K.cls, tuple(map(K.rnd, values))
    for v in (T(*values), T(list(values)), T(values), getattr(T, K.from_comps)(*values),
              T.from_list(list(values)), T.from_tuple(values), T(foreign(*values))):
        assert K.same(v, expected)
    assert K.same(T.from_floats(*values), map(f32, values))
    t = T(*values).get_tuple()
    assert type(t) is tuple and K.same(T(*t), expected)


# --- components, conversions, copies -----------------------------------------------------------------------

def test_components(K):
    v = K.vec(1)
    for name, value in zip(K.names, K.rep(num(index=4), 0.1, num(float=-2.5), 1e39)):
        setattr(v, name, value)
        with float_error("a"):
            setattr(v, name, "a")
        with float_error(2 ** 1024):
            setattr(v, name, 2 ** 1024)
        with raises(NotImplementedError, "__del__"):
            delattr(v, name)
    assert K.comps(v) == K.rep(4, K.rnd(0.1), -2.5, K.rnd(1e39))
    with pytest.raises(AttributeError):
        v.other = 1


@pytest.mark.parametrize("c, truncated, rounded", [
    (1.9, 1, 2), (-1.9, -1, -2), (0.5, 0, 1), (-0.5, 0, -1), (2.5, 2, 3), (-3.5, -3, -4), (-0.0, 0, 0),
    # the largest single below one half, and 2**23 + 1: both go wrong when one half is added in single
    # precision before truncating
    (0.49999997, 0, 0), (8388609, 8388609, 8388609), (-8388609, -8388609, -8388609),
    (2147483520, 2147483520, 2147483520), (-2 ** 31, -2 ** 31, -2 ** 31),
])
def test_int_and_rounded_tuples(K, c, truncated, rounded):
    v = K.cls(*K.rep(c, 1.5))
    assert v.get_int_tuple() == K.rep(truncated, 1) and v.get_rounded_tuple() == K.rep(rounded, 2)
    assert all(type(c) is int for c in v.get_int_tuple() + v.get_rounded_tuple())


@pytest.mark.parametrize("c, exc", [
    (NAN, ValueError), (-NAN, ValueError), (2 ** 31, OverflowError), (-2147483904, OverflowError),
    (INF, OverflowError), (-INF, OverflowError),
])
def test_int_and_rounded_tuples_refuse_unrepresentable(K, c, exc):
    for i in range(K.n):
        v = K.cls(*K.pad()[:i], c, *K.pad()[i + 1:])
        with pytest.raises(exc):
            v.get_int_tuple()
        with pytest.raises(exc):
            v.get_rounded_tuple()


@settings(max_examples=100)
@given(st.data())
def test_rounding_matches_half_away_from_zero(K, data):
    cs = data.draw(st.tuples(*[st.floats(width=K.width, min_value=-2.1e9, max_value=2.1e9)] * K.n))
    v = K.cls(*cs)
    assert v.get_rounded_tuple() == tuple(map(half_up, cs))
    assert K.same(v.get_round(), [K.rnd(math.copysign(half_up(c), c)) for c in cs])
    assert v.get_int_tuple() == tuple(map(int, cs))


@pytest.mark.parametrize("dup", [
    lambda v: v.copy(), lambda v: v.__copy__(), copy.copy, copy.deepcopy, lambda v: v.__deepcopy__(memo=None),
])
def test_copies_are_independent_and_pickling_is_refused(K, dup):
    v = K.vec(0.1, -3)
    c = dup(v)
    assert c is not v and K.same(c, K.rep(K.rnd(0.1), -3))
    c.x = 5
    assert v.x == K.rnd(0.1)
    msg = "Pickling of struct members such as self.data must be explicitly requested with @auto_pickle(True)"
    with raises(TypeError, msg):
        pickle.dumps(c)


# --- sequence, swizzles ------------------------------------------------------------------------------------

def test_sequence_protocol(K):
    cs = K.rep(0.1, 2, -3, INF)
    v = K.cls(*cs)
    expected = tuple(map(K.rnd, cs))
    assert len(v) == K.n and bool(K.cls()) is True
    assert list(v) == list(expected) and tuple(v) == expected
    assert [v[i] for i in range(K.n)] == [v[num(index=i)] for i in range(K.n)] == list(expected)
    assert (v[False], v[True]) == expected[:2] and (-3 in v) is (K.n > 2) and (7 in v) is False


def test_setitem_converts_the_value_before_checking_the_index(K):
    v = K.vec(1)
    for i in range(K.n):
        v[i] = 0.1 if i % 2 else num(index=i + 7)
    expected = K.rep(7, K.rnd(0.1), 9, K.rnd(0.1))
    assert K.comps(v) == expected
    for index in (0, K.n, -1):
        with float_error("a"):
            v[index] = "a"
    for index in (K.n, -1, 2 ** 32):
        with raises(IndexError, OUT_OF_RANGE):
            v[index] = 1.0
    with pytest.raises(OverflowError):
        v[2 ** 70] = 1.0
    with raises(TypeError, "'float' object cannot be interpreted as an integer"):
        v[0.0] = 1.0
    with raises(NotImplementedError, f"Subscript deletion not supported by {K.full}"):
        del v[0]
    assert K.comps(v) == expected


def test_swizzles_are_new_read_only_vectors(K):
    start = (0.1, 2, -3, 1e39)[:K.n]
    v, cs = K.cls(*start), tuple(map(K.rnd, start))
    for word in itertools.product(range(K.n), repeat=K.n):
        name = "".join(K.names[i] for i in word)
        s = getattr(v, name)
        assert s is not v and K.same(s, [cs[i] for i in word]), name
        s.x = 9
        with pytest.raises(AttributeError):
            setattr(v, name, v)
        with pytest.raises(AttributeError):
            delattr(v, name)
    assert K.comps(v) == cs
    with pytest.raises(AttributeError):
        v.length = 1


# --- equality, hashing, text -------------------------------------------------------------------------------

@pytest.mark.parametrize("a, b, equal", [
    ("V(1, 2)", "V(1, 2)", True),
    ("V(0.1)", "V(r(0.1))", True), ("V(0.0, -0.0)", "V(-0.0, 0.0)", True),
    ("V(1, 2)", "rep(1.0, 2.0)", False), ("V(0)", "0", False), ("V(1, 2)", "list(V(1, 2))", False),
    # the vector answers False itself instead of deferring to the other side
    ("V(1, 2)", "Reflecting()", False),
])
def test_equality(K, a, b, equal):
    a, b = eval(a, K.ns()), eval(b, K.ns())
    assert (a == b) is equal and (a != b) is (not equal)


def test_every_component_takes_part_in_equality_and_nan_is_unequal_to_everything(K):
    base = (1.0, 2.0, 3.0, 4.0)[:K.n]
    for i in range(K.n):
        for other in (5.0, NAN):
            changed = K.cls(*base[:i], other, *base[i + 1:])
            assert (changed == K.cls(*base)) is False and (changed != K.cls(*base)) is True
            assert (K.cls(*base) == changed) is False
        nan = K.cls(*base[:i], NAN, *base[i + 1:])
        assert (nan == nan) is False and (nan != nan) is True and repr(nan).count("nan") == 1
    for op in (operator.lt, operator.le, operator.gt, operator.ge):  # and there is no ordering
        with pytest.raises(TypeError):
            op(K.vec(1), K.vec(2))


@settings(max_examples=100)
@given(st.data())
def test_hash_and_repr_follow_the_float_components(K, data):
    cs = data.draw(components(K))
    v = K.cls(*cs)
    if not any(map(math.isnan, cs)):
        assert hash(v) == hash(cs)
    name = f"Vector{K.n}"
    text = repr(v)
    assert text == str(v) == f"{name}({', '.join(map(repr, cs))})"
    assert K.same(K.cls(*map(float, text[len(name) + 1:-1].split(", "))), cs)


def test_hash_of_every_binary_exponent_is_the_float_hash():
    # Each exponent from the subnormals to the largest finite, both signs, with a full and a one-bit
    # significand: the reduction modulo 2**61 - 1 is computed from the bits, not by float division.
    for exponent in range(2047):
        for significand in (0, 1, (1 << 52) - 1):
            for sign in (0, 1):
                (d,) = struct.unpack("<d", struct.pack("<Q", sign << 63 | exponent << 52 | significand))
                assert hash(Vector4(d, -d, d, 0.0)) == hash((d, -d, d, 0.0)), d


# --- arithmetic --------------------------------------------------------------------------------------------

@pytest.mark.parametrize("expr, expected", [
    ("V(1, 2) + V(3, 4)", "rep(4, 6)"), ("V(1, 2) - V(3, 5)", "rep(-2, -3)"),
    ("V(3e38, -3e38) + V(3e38, -3e38)", "rep(r(6e38), r(-6e38))"),
    ("V(1, 2) * V(3, 4)", "rep(3, 8)"), ("V(1, 2) * True", "rep(1, 2)"),
    ("V(1, 2) * type('F', (float,), {})(0.5)", "rep(0.5, 1)"), ("V(1, 2) * type('I', (int,), {})(3)", "rep(3, 6)"),
    ("V(1, 2).__mul__(2)", "rep(2, 4)"), ("V(1, 2).__add__(V(1))", "rep(2, 3)"),
    ("V(1, -1) / -0.0", "rep(-INF, INF)"), ("V(1, -1) / 0", "rep(INF, -INF)"),
    ("V(0, 0) / 0", "rep(NAN)"), ("V(1, 0) / V(0, 0)", "rep(INF, NAN)"),
    ("V(7, -7) // 2", "rep(3, -4)"), ("V(7, -7) // V(2, 2)", "rep(3, -4)"),
    ("V(1, -1).__floordiv__(0)", "rep(INF, -INF)"), ("V(-0.0, 0.5) // 3", "rep(-0.0, 0)"),
    # the floor of the rounded quotient, not Python's float floor division (1.0 // 0.1 is 9.0)
    ("V(1, -1) // 0.1", "rep(10, -10)"), ("V(1, -1) // V(0.1)", "rep(10, -10)"),
    ("-V(0, 1)", "rep(-0.0, -1)"), ("-V(-0.0, -INF)", "rep(0.0, INF)"),
])
def test_binary_operators(K, expr, expected):
    ns = K.ns()
    assert K.same(eval(expr, ns), eval(expected, ns))


@pytest.mark.parametrize("expr, single, double", [
    # A scalar is applied in double and the result rounded once; two vectors work in storage precision.
    ("V(9) * 0.1", 0.8999999761581421, 0.9), ("V(9) * V(0.1)", 0.9000000357627869, 0.9),
    ("V(3) * 16777217", 50331652, 50331651), ("V(3) * V(16777217)", 50331648, 50331651),
    ("V(1) / 16777217", 2 ** -24 - 2 ** -48, 1 / 16777217), ("V(1) / V(16777217)", 2 ** -24, 1 / 16777217),
    ("V(905036) // V(0.1)", 9050360, 9050360), ("V(905036) // 0.10000000149011612", 9050359, 9050359),
    ("V(68704936) // 0.7", 98149904, 98149908),
    # the sum of squares is fused in storage precision: rounding y * y separately, or fusing x * x instead,
    # gives other values
    ("V(*pad(0.7, 2.2)).length", 2.3086793628702997, 2.3086792761230392),
    ("V(*pad(0.1)).length", math.sqrt(f32(f32(0.1) ** 2)), math.sqrt(0.1 * 0.1)),
    ("V(*pad(1e20)).length", INF, 1e20), ("V(*pad(1e-30)).length", 0, 1e-30),
    ("V(*pad(2.4, 0.3)).dot(V(*pad(0.1, 2.9)))", 1.1100000143051147, 1.1099999999999999),
    ("V(*pad(0.1)).dot(V(*pad(0.1, 5)))", f32(f32(0.1) ** 2), 0.1 * 0.1), ("V(1e20).dot(V(1e20))", INF, "1e40 * n"),
    # for the distances the differences are in storage precision, the squares and their sum in double
    ("V(*pad(0.1)).distance_squared_to(T())", f32(0.1) ** 2, 0.1 * 0.1),
    ("V(*pad(16777216)).distance_squared_to(V(*pad(-1)))", 2.0 ** 48, 16777217 ** 2),
    ("V(*pad(1e20)).distance_squared_to(T())", f32(1e20) ** 2, 1e40),
    ("V(*pad(3e38)).distance_squared_to(V(*pad(-3e38)))", INF, 6e38 ** 2),
    # the length is formed in storage precision, where these squares underflow and overflow in single
    ("V(*pad(1e-30)).get_normalized()", (0, 0), (1, 0)),
    ("V(*pad(1e30, -1e30)).get_normalized()", (0.0, -0.0), (0.7071067811865475, -0.7071067811865475)),
    # the components are divided in double by the double length
    ("V(*pad(1.3338431119918823, 6.896276950836182)).get_normalized()",
     (0.1898956298828125, 0.9818043112754822), (0.18989563331152162, 0.9818042821505802)),
])
def test_precision_of_each_step(K, expr, single, double):
    ns = K.ns()
    got, expected = eval(expr, ns), single if K.width == 32 else double
    expected = eval(expected, ns) if isinstance(expected, str) else expected
    if isinstance(got, float):
        assert got == expected
    else:
        assert K.same(got, K.pad(*expected) if isinstance(expected, tuple) else K.rep(expected))


@settings(max_examples=200)
@given(st.data(), st.floats())
def test_operators_round_each_result_once(K, data, s):
    # Rounding the double result of +, -, * or / of two singles gives the correctly rounded single result.
    cs, os = data.draw(components(K)), data.draw(components(K))
    a, b, r = K.cls(*cs), K.cls(*os), K.rnd
    for op, fn in [(operator.add, float.__add__), (operator.sub, float.__sub__),
                   (operator.mul, float.__mul__), (operator.truediv, div)]:
        assert K.same(op(a, b), [r(fn(x, o)) for x, o in zip(cs, os)]), op
    assert K.same(a // b, [floor(r(div(x, o))) for x, o in zip(cs, os)])
    assert K.same(a * s, [r(x * s) for x in cs])
    assert K.same(a / s, [r(div(x, s)) for x in cs])
    assert K.same(a // s, [r(floor(div(x, s))) for x in cs])


@pytest.mark.parametrize("expr, exc, msg", [
    ("v + pad()", TypeError, "bad_type('other', 'tuple', K.full)"),
    ("v - None", TypeError, "bad_type('other', 'NoneType', K.full)"),
    ("v + 1", TypeError, "bad_type('other', 'int', K.full)"),
    # + and - insist on a vector: the right operand is never consulted
    ("v + Reflecting()", TypeError, "bad_type('other', 'Reflecting', K.full)"),
    ("v.__sub__(Reflecting())", TypeError, "bad_type('other', 'Reflecting', K.full)"),
    ("v + other", TypeError, "bad_type('other', O.full, K.full)"),
    ("v.dot(other=other)", TypeError, "bad_type('other', O.full, K.full)"),
    # in place, * takes only a vector, with no fallback to v * 2
    ("operator.imul(v, 2)", TypeError, "bad_type('other', 'int', K.full)"),
    ("operator.imul(v, None)", TypeError, "bad_type('other', 'NoneType', K.full)"),
    ("operator.iadd(v, pad())", TypeError, "bad_type('other', 'tuple', K.full)"),
    ("operator.iadd(v, None)", TypeError, "bad_type('other', 'NoneType', K.full)"),
    ("operator.isub(v, Reflecting())", TypeError, "bad_type('other', 'Reflecting', K.full)"),
    ("v.sadd(1, 2)", TypeError, "bad_type('new_vec', 'int', K.full)"),
    ("v.sadd(v, None)", TypeError, "bad_type('old_vec', 'NoneType', K.full)"),
    ("v.sadd(old_vec=v, new_vec=pad())", TypeError, "bad_type('new_vec', 'tuple', K.full)"),
    ("v.dot(pad())", TypeError, "bad_type('other', 'tuple', K.full)"),
    ("v.dot(None)", TypeError, "bad_type('other', 'NoneType', K.full)"),
    ("v.distance_to(None)", TypeError, "bad_type('other', 'NoneType', K.full)"),
    ("v.distance_squared_to(other=list(pad()))", TypeError, "bad_type('other', 'list', K.full)"),
    ("v * 2 ** 1024", OverflowError, "'int too large to convert to float'"),
    ("v[-1]", IndexError, "OUT_OF_RANGE"), ("v[n]", IndexError, "OUT_OF_RANGE"),
    ("v[2 ** 32]", IndexError, "OUT_OF_RANGE"),  # not cut to 32 bits, which would make it index 0
    ("v[2 ** 70]", OverflowError, None),
    ("v[0.0]", TypeError, "\"'float' object cannot be interpreted as an integer\""),
])
def test_operation_errors(K, expr, exc, msg):
    O = KINDS[(KINDS.index(K) + 1) % 3]  # a vector of another type is refused as well
    ns = K.ns(v=K.vec(1, 2), O=O, other=O.vec(1))
    with raises(exc, msg and eval(msg, ns)):
        eval(expr, ns)
    assert K.comps(ns["v"]) == K.rep(1, 2)


def test_mul_and_div_take_only_int_and_float_scalars(K):
    v = K.vec(1, 2)
    for expr in ("v * o", "v / o", "v // o"):
        assert eval(expr, dict(v=v, o=Reflecting())) == "reflected"
        for other in ("a", K.pad(), Fraction(1, 2), Decimal(2), None, 1j):
            with pytest.raises(TypeError):
                eval(expr, dict(v=v, o=other))
    assert v.__mul__(Fraction(1, 2)) is NotImplemented and v.__truediv__("a") is NotImplemented


@pytest.mark.parametrize("expr", ["3 + v", "3 - v", "3 * v", "3 / v", "3 // v", "(1, 2) + v", "+v", "abs(v)"])
def test_no_reflected_or_extra_unary_operators(K, expr):
    with pytest.raises(TypeError):
        eval(expr, {"v": K.vec(1, 2)})


@pytest.mark.parametrize("op, other, expected", [
    ("+=", "V(1, 1)", "rep(2, 3)"), ("-=", "V(1, 1)", "rep(0, 1)"), ("*=", "V(0.1, 3)", "rep(r(0.1), 6)"),
    # all components are read before any is written
    ("+=", "v", "rep(2, 4)"), ("-=", "v", "rep(0, 0)"), ("*=", "v", "rep(1, 4)"),
    # no in-place division: the name is bound to a new vector
    ("/=", "0.5", None), ("//=", "0.5", None),
])
def test_in_place_operators(K, op, other, expected):
    v = K.vec(1, 2)
    ns = K.ns(v=v)
    ns["o"] = eval(other, ns)
    exec(f"v {op} o", ns)
    if expected is None:
        assert ns["v"] is not v and K.same(ns["v"], K.rep(2, 4)) and K.comps(v) == K.rep(1, 2)
    else:
        assert ns["v"] is v and K.same(v, eval(expected, ns))


def test_sadd(K):
    r = K.rnd
    v = K.vec(9)
    assert v.sadd(K.vec(1, 2), K.vec(0.1, 3)) is None
    assert K.same(v, K.rep(r(1 + r(0.1)), 5))
    v.sadd(old_vec=K.vec(1), new_vec=v)
    assert K.same(v, K.rep(r(r(1 + r(0.1)) + 1), 6))
    v.sadd(v, v)
    assert K.same(v, K.rep(2 * r(r(1 + r(0.1)) + 1), 12))


# --- rounding, signs, normalisation ------------------------------------------------------------------------

@pytest.mark.parametrize("name, start, expected", [  # a vector of n components takes the first n
    ("round", (0.5, -0.5, 2.5, -2.5), (1, -1, 3, -3)), ("round", (-0.4, 0.4, -0.0, 1.4999999), (-0.0, 0, -0.0, 1)),
    ("round", (0.49999997, 8388609, INF, 1e300), (0, 8388609, INF, "r(1e300)")),
    ("round", (NAN, -7.5, 0, 0), (NAN, -8, 0, 0)),
    ("abs", (-0.0, -2, -INF, 3), (0.0, 2, INF, 3)),
    ("neg", (0, 1, -0.0, -INF), (-0.0, -1, 0.0, INF)),
    ("normalized", (3, 4, 0, 0), ("r(0.6)", "r(0.8)", 0, 0)), ("normalized", (0, 0, 0, -2), (0, 0, 0, -1)),
    ("normalized", (0, -0.0, 0, 0), (0, 0, 0, 0)), ("normalized", (-0.0, 0, -0.0, 0), (0, 0, 0, 0)),
    ("normalized", (INF, 1, 0, 0), (NAN, 0, 0, 0)),
    # a NaN length is divided by, not treated as zero
    ("normalized", (NAN, 1, 0, 0), (NAN, NAN, NAN, NAN)), ("normalized", (0, NAN, 0, 0), (NAN, NAN, NAN, NAN)),
])
def test_to_methods_change_in_place_get_methods_return_new(K, name, start, expected):
    start, ns = start[:K.n], K.ns()
    expected = [eval(e, ns) if isinstance(e, str) else e for e in expected[:K.n]]
    v = K.cls(*start)
    got = getattr(v, "get_" + name)()
    assert got is not v and K.same(got, expected)
    assert K.same(v, map(K.rnd, start))
    assert getattr(v, "to_" + name)() is v and K.same(v, expected)


def test_sign_methods_only_touch_the_sign_bit_of_nan(K):
    def sign_and_payload(c):
        return math.copysign(1, c), struct.pack("d", abs(c))

    nan = (struct.unpack("f", struct.pack("I", 0xFFC00123)) if K.width == 32
           else struct.unpack("d", struct.pack("Q", 0xFFF8000000000123)))[0]
    v = K.vec(nan, -nan)
    for w, fn in [(-v, operator.neg), (v.get_neg(), operator.neg), (v.get_abs(), abs),
                  (v.copy().to_neg(), operator.neg), (v.copy().to_abs(), abs)]:
        assert [sign_and_payload(c) for c in K.comps(w)] == [sign_and_payload(fn(c)) for c in K.comps(v)]


# --- length, dot, distances --------------------------------------------------------------------------------

@pytest.mark.parametrize("expr, expected", [
    ("V(*pad(3, 4)).length", 5.0), ("V(1).length", "math.sqrt(n)"), ("T().length", 0.0),
    ("V(*pad(-INF)).length", INF), ("V(*pad(NAN)).length", NAN),
    ("V(*pad(1, 2)).dot(V(*pad(3, 4)))", 11.0), ("V(1).dot(other=V(-1))", "-n"),
    ("T(*range(1, n + 1)).dot(T(*range(5, n + 5)))", "sum(i * (i + 4) for i in range(1, n + 1))"),
    ("T().distance_to(V(*pad(3, 4)))", 5.0), ("T().distance_squared_to(V(*pad(3, 4)))", 25.0),
    ("V(*pad(1, 2)).distance_to(other=V(*pad(4, 6)))", 5.0),
    ("V(-1).distance_squared_to(V(1))", "4.0 * n"),
])
def test_length_dot_and_distances(K, expr, expected):
    ns = K.ns()
    got, expected = eval(expr, ns), eval(expected, ns) if isinstance(expected, str) else expected
    assert type(got) is float and (got == expected or got != got and expected != expected)


@settings(max_examples=200)
@given(st.data())
def test_products_match_the_model(K, data):
    bounds = dict(min_value=-2.0 ** 60, max_value=2.0 ** 60, width=K.width)
    cs, os = (data.draw(st.tuples(*[st.floats(**bounds)] * K.n)) for _ in "ab")
    a, b = K.cls(*cs), K.cls(*os)
    length_squared = K.rnd(cs[0] * cs[0])
    dot = K.rnd(os[0] * cs[0])
    for x, o in zip(cs[1:], os[1:]):
        length_squared = K.fma(x, x, length_squared)
        dot = K.fma(x, o, dot)
    assert a.length == math.sqrt(length_squared)
    assert a.dot(b) == b.dot(a) == dot
    ds = [K.rnd(x - o) for x, o in zip(cs, os)]
    distance_squared = ds[0] * ds[0]
    for d in ds[1:]:
        distance_squared = math.fma(d, d, distance_squared)
    assert a.distance_squared_to(b) == distance_squared
    assert a.distance_to(b) == math.sqrt(distance_squared)
    length = math.sqrt(length_squared)
    assert K.same(a.get_normalized(), [K.rnd(x / length) if length else 0 for x in cs])


# --- the toolbox -------------------------------------------------------------------------------------------


def rotated(K, v, *args):
    """The rotation as the docstrings state it, in double, each component rounded once."""
    if K.n == 2:
        (x, y), (a,) = v, args
        c, s = math.cos(a), math.sin(a)
        return [K.rnd(x * c - y * s), K.rnd(x * s + y * c)]
    axis, a = args
    n = math.sqrt(math.fma(axis[2], axis[2], math.fma(axis[1], axis[1], axis[0] * axis[0])))
    k = [c / n for c in axis]
    c, s = math.cos(a), math.sin(a)
    kv = math.fma(k[2], v[2], math.fma(k[1], v[1], k[0] * v[0])) * (1.0 - c)
    kxv = [k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2], k[0] * v[1] - k[1] * v[0]]
    return [K.rnd(v[i] * c + kxv[i] * s + k[i] * kv) for i in range(3)]


@settings(max_examples=100)
@given(st.data())
def test_angles_and_rotations_are_the_double_computation_rounded_once(K, data):
    if K.n == 4:
        return
    finite = st.floats(min_value=-1e6, max_value=1e6, width=32)
    cs, os = (data.draw(st.tuples(*[finite] * K.n)) for _ in "ab")
    angle = data.draw(st.floats(min_value=-10, max_value=10))
    a = K.cls(*cs)
    args = (angle,) if K.n == 2 else (os, angle)
    if K.n == 3 and not any(os):
        with raises(ValueError, "cannot rotate about a zero axis"):
            a.to_rotated(*args)
        assert K.same(a, cs)
        return
    expected = rotated(K, cs, *args)
    assert K.same(a.get_rotated(*args), expected) and K.same(a, cs)
    assert a.to_rotated(*args) is a and K.same(a, expected)
    a = K.cls(*cs)
    dot = math.fma(cs[-1], os[-1], math.fma(cs[-2], os[-2], cs[0] * os[0]) if K.n == 3 else cs[0] * os[0])
    if K.n == 2:
        cross = cs[0] * os[1] - cs[1] * os[0]
        assert a.cross(list(os)) == cross and a.angle == math.atan2(cs[1], cs[0])
        assert a.angle_to(os) == (math.pi if math.atan2(cross, dot) == -math.pi else math.atan2(cross, dot))
        assert a.get_polar() == (a.length, a.angle) and K.same(a.get_perpendicular(), [-cs[1], cs[0]])
        assert K.same(K.cls.from_polar(cs[0], angle), [K.rnd(cs[0] * math.cos(angle)), K.rnd(cs[0] * math.sin(angle))])
    else:
        c = [cs[1] * os[2] - cs[2] * os[1], cs[2] * os[0] - cs[0] * os[2], cs[0] * os[1] - cs[1] * os[0]]
        norm = math.sqrt(math.fma(c[2], c[2], math.fma(c[1], c[1], c[0] * c[0])))
        assert a.angle_to(K.cls(*os)) == math.atan2(norm, dot)


def test_toolbox_rules_and_refusals(K):
    V, n = K.vec, K.n
    assert K.same(V(1).get_moved_toward(V(3), 2 * n), K.rep(3))  # within reach: the target itself
    assert K.same(V(0).lerp(V(2), 1.5), K.rep(3)) and K.same(V(0).lerp(V(2), -1), K.rep(-2))  # extrapolates
    assert K.same(V(5, -5).get_clamped(V(0), V(1)), K.rep(1, 0))
    assert type(V(1).get_min(V(0))) is K.cls and V(1).get_min(V(0)) is not V(0)
    if n == 2:
        assert Vector2(1, -0.0).angle_to((-1, -0.0)) == math.pi and Vector2(1, 0).angle_to((1, -1)) == -math.pi / 4
    refused = [  # (call, exception, message)
        (lambda v: v.to_moved_toward("a" * n, 1), TypeError, None),
        (lambda v: v.to_clamped(V(0), (0,) * (n + 1)), ValueError, f"tuple for vector{n}-like argument"),
        (lambda v: v.to_clamped(V(0), 3), TypeError, f"vector{n}-like argument must be {K.cls.__name__}, or any "
                                                     f"sequence, got int."),
        (lambda v: v.to_moved_toward(V(0), "1"), TypeError, None),
    ]
    if n < 4:
        refused += [
            (lambda v: v.to_reflected(V(0)), ValueError, "cannot reflect off a zero normal"),
            (lambda v: v.project(V(0)), ValueError, "cannot project onto a zero vector"),
            (lambda v: K.cls().to_scaled_to_length(1), ValueError, "cannot scale a zero vector to a length"),
            (lambda v: K.cls().to_clamped_length(1, 2), ValueError, "cannot scale a zero vector to a length"),
            (lambda v: v.to_clamped_length(-1), ValueError, "0 <= min_length <= max_length"),
            (lambda v: v.to_clamped_length(2, 1), ValueError, "0 <= min_length <= max_length"),
            (lambda v: v.to_clamped_length(NAN), ValueError, "0 <= min_length <= max_length"),
            (lambda v: v.to_clamped_length(1, 2, 3), TypeError, "takes 1 or 2 positional arguments (3 given)"),
            (lambda v: v.to_clamped_length(max_length=1), TypeError, "unexpected keyword argument 'max_length'"),
        ]
    for call, exc, msg in refused:
        v = V(3, -4)
        with pytest.raises(exc, match=msg and re.escape(msg)):
            call(v)
        assert K.same(v, K.rep(3, -4))  # left as it was
    if n < 4:
        assert K.same(K.cls(*K.pad(3, 4)).get_clamped_length(1, 2), map(K.rnd, K.pad(3 * 0.4, 4 * 0.4)))
