"""Python-visible behaviour of vantor.vector2.vector2.Vector2.

Components are stored as single-precision floats, so every expected value is computed by rounding to single
precision at the same steps as the type does, and compared exactly.
"""

import collections
import copy
import math
import operator
import pickle
import re
import struct
from decimal import ROUND_HALF_UP, Decimal
from fractions import Fraction

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from vantor.vector2.vector2 import Vector2

VEC = "vantor.vector2.vector2.Vector2"
INF, NAN = math.inf, math.nan
F01 = 0.10000000149011612  # 0.1 as stored
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


def half_up(c):
    return int(Decimal(c).quantize(Decimal(1), rounding=ROUND_HALF_UP))


def xy(v):
    return (v.x, v.y)


def same(v, expected):
    """Exact comparison of components: -0.0 is not 0.0, any NaN matches any NaN."""
    return all(struct.pack("d", a) == struct.pack("d", b) or (a != a and b != b)
               for a, b in zip(xy(v), map(float, expected), strict=True))


def raises(exc, msg=None):
    return pytest.raises(exc, match=None if msg is None else "^" + re.escape(msg) + "$")


def bad_type(name, got, expected=VEC):
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


def foreign(x, y, clamp=lambda self: None):
    """Another library's vector, recognised by its clamp_magnitude_ip."""
    return type("Foreign", (), {"x": x, "y": y, "clamp_magnitude_ip": clamp})()


class Lookup:
    """A bare mapping (only __getitem__); an exception value is raised."""

    def __init__(self, **items):
        self.items = items

    def __getitem__(self, key):
        value = self.items[key]
        if isinstance(value, Exception):
            raise value
        return value


class Reflecting:
    """A right operand with every reflected operator, equal to anything."""

    def __radd__(self, other):
        return "reflected"

    __rsub__ = __rmul__ = __rtruediv__ = __rfloordiv__ = __radd__
    __eq__ = lambda self, other: True  # noqa: E731
    __hash__ = None


Plain = type("Plain", (), {"x": 1.0, "y": 2.0})
ListSub = type("ListSub", (list,), {})
TupleSub = type("TupleSub", (tuple,), {})
NS = dict(globals())


# --- construction ------------------------------------------------------------------------------------------

@pytest.mark.parametrize("expr, expected", [
    ("Vector2()", (0, 0)), ("Vector2(0.1, 0.2)", (F01, 0.20000000298023224)),
    ("Vector2(1e39, -1e300)", (INF, -INF)), ("Vector2(1e-50, -1e-50)", (0.0, -0.0)),
    ("Vector2(num(index=3), num(float=0.5))", (3, 0.5)),
    ("Vector2([3, 4])", (3, 4)), ("Vector2(ListSub([5, 6]))", (5, 6)),
    ("Vector2((3, 4))", (3, 4)), ("Vector2(TupleSub((7, 8)))", (7, 8)),
    ("Vector2(Vector2(3, 4))", (3, 4)),
    ("Vector2(foreign(0.1, num(float=0.5)))", (F01, 0.5)),
    ("Vector2.from_vector2(Vector2(1, 2))", (1, 2)),
    ("Vector2.from_tuple((0.1, 2, 'ignored'))", (F01, 2)),
    ("Vector2.from_list([1, num(index=2), 3])", (1, 2)),
    ("Vector2.from_tuple(other=(3, 4))", (3, 4)),
    ("Vector2.from_ints(1.9, -1.9)", (1, -1)),
    ("Vector2.from_ints(True, -2 ** 31)", (1, -2 ** 31)),
    # ints reach the record through a double and are rounded to single
    ("Vector2.from_ints(16777217, 2 ** 31 - 1)", (16777216, 2 ** 31)),
    ("Vector2.from_ints(y=2, x=1)", (1, 2)),
    ("Vector2.from_floats(0.1, 1e39)", (F01, INF)),
    ("Vector2.from_xy(num(float=0.5), y=num(index=7))", (0.5, 7)),
])
def test_construction(expr, expected):
    v = eval(expr, NS)
    assert type(v) is Vector2 and same(v, expected)


@pytest.mark.parametrize("expr, exc, msg", [
    ("Vector2((1, 2, 3))", TypeError, "Vector2() takes a sequence of length 2, but got 3"),
    ("Vector2([])", TypeError, "Vector2() takes a sequence of length 2, but got 0"),
    ("Vector2('ab')", TypeError, "Vector2() invalid constructor argument: str"),
    ("Vector2(None)", TypeError, "Vector2() invalid constructor argument: NoneType"),
    ("Vector2({'x': 1, 'y': 2})", TypeError, "Vector2() invalid constructor argument: dict"),
    # x and y alone do not make a foreign vector, and only a missing attribute means "not foreign"
    ("Vector2(Plain())", TypeError, "Vector2() invalid constructor argument: Plain"),
    ("Vector2(foreign(1, 2, property(lambda s: 1 / 0)))", ZeroDivisionError, "division by zero"),
    ("Vector2(1, 2, 3)", TypeError, "Vector2() takes 0, 1, or 2 arguments, but 3 were given"),
    ("Vector2(x=1)", TypeError, "__init__() got an unexpected keyword argument 'x'"),
    ("Vector2(1, 2, y=1)", TypeError, "__init__() got an unexpected keyword argument 'y'"),
    ("type('Sub', (Vector2,), {})", TypeError, f"type '{VEC}' is not an acceptable base type"),
    ("Vector2.from_vector2((1, 2))", TypeError, bad_type("other", "tuple")),
    ("Vector2.from_vector2(None)", TypeError, bad_type("other", "NoneType")),
    ("Vector2.from_tuple([1, 2])", TypeError, bad_type("other", "list", "tuple")),
    ("Vector2.from_tuple(TupleSub((1, 2)))", TypeError, bad_type("other", "TupleSub", "tuple")),
    ("Vector2.from_list(ListSub([1, 2]))", TypeError, bad_type("other", "ListSub", "list")),
    ("Vector2.from_list(None)", TypeError, bad_type("other", "NoneType", "list")),
    ("Vector2.from_tuple((1,))", IndexError, None), ("Vector2.from_list([])", IndexError, None),
    ("Vector2.from_ints('1', 0)", TypeError, "an integer is required"),
    ("Vector2.from_ints(num(index=1), 0)", TypeError, "an integer is required"),
    ("Vector2.from_ints(0, num(int='7'))", TypeError, "__int__ returned non-int (type str)"),
    ("Vector2.from_ints(2 ** 31, 0)", OverflowError, None), ("Vector2.from_ints(0, -2 ** 31 - 1)", OverflowError, None),
    ("Vector2.from_ints(1)", TypeError, takes("from_ints", 2, 1)),
    ("Vector2.from_ints(1, 2, 3)", TypeError, takes("from_ints", 2, 3)),
    # with keywords, the count given is the position of the first missing parameter
    ("Vector2.from_ints(y=2)", TypeError, takes("from_ints", 2, 0)),
    ("Vector2.from_xy(x=2)", TypeError, takes("from_xy", 2, 1)),
    ("Vector2.from_vector2()", TypeError, takes("from_vector2", 1, 0)),
    ("Vector2().copy(1)", TypeError, takes("copy", 0, 1)),
    ("Vector2().sadd(Vector2())", TypeError, takes("sadd", 2, 1)),
    ("Vector2.from_floats(1, x=2)", TypeError, "from_floats() got multiple values for keyword argument 'x'"),
    ("Vector2.from_list(items=[])", TypeError, "from_list() got an unexpected keyword argument 'items'"),
    ("Vector2().copy(k=1)", TypeError, "copy() got an unexpected keyword argument 'k'"),
])
def test_construction_and_argument_errors(expr, exc, msg):
    with raises(exc, msg):
        eval(expr, NS)


def test_init_again_reinitialises_and_stores_x_before_converting_y():
    v = Vector2(1, 2)
    v.__init__()
    assert xy(v) == (0, 0)
    for args in [(5, "a"), ([5, "a"],), (foreign(5, "a"),)]:
        v = Vector2(1, 2)
        with float_error("a"):
            v.__init__(*args)
        assert xy(v) == (5, 2)


def test_from_ints_int_subclass_from_dunder_int_is_deprecated_but_used():
    msg = ("__int__ returned non-int (type bool).  The ability to return an instance of a strict subclass of int "
           "is deprecated, and may be removed in a future version of Python.")
    with pytest.warns(DeprecationWarning, match="^" + re.escape(msg) + "$"):
        v = Vector2.from_ints(num(int=True), 5)
    assert xy(v) == (1, 5)


@settings(max_examples=200)
@given(st.floats(allow_nan=False), st.floats(allow_nan=False))
def test_every_double_constructor_rounds_once_to_single(x, y):
    expected = (f32(x), f32(y))
    for v in (Vector2(x, y), Vector2.from_floats(x, y), Vector2.from_xy(x, y),
              Vector2.from_list([x, y]), Vector2.from_tuple((x, y))):
        assert same(v, expected)
    t = Vector2(x, y).get_tuple()
    assert type(t) is tuple and same(Vector2(*t), expected)


# --- components and data -----------------------------------------------------------------------------------

def test_components():
    v = Vector2(1, 2)
    v.x, v.y = 0.1, num(index=4)
    assert xy(v) == (F01, 4)
    with float_error("a"):
        v.y = "a"
    with float_error(2 ** 1024):
        v.x = 2 ** 1024
    for name in ("x", "y", "data"):
        with raises(NotImplementedError, "__del__"):
            delattr(v, name)
    d = v.data
    assert list(d.items()) == [("x", F01), ("y", 4.0)]
    d["x"] = 7
    assert v.data is not d and xy(v) == (F01, 4)


@pytest.mark.parametrize("value, expected", [
    ({"x": 1, "y": 0.1}, (1, F01)),
    ({"y": 2, "x": 1, "z": 3}, (1, 2)),
    (Lookup(x=num(float=0.5), y=num(index=3)), (0.5, 3)),
    # a dict subclass is read with value[key], so __missing__ takes part
    (collections.Counter(x=3), (3, 0)),
    (collections.defaultdict(lambda: 7, y=1), (7, 1)),
])
def test_data_assignment(value, expected):
    v = Vector2(-5, -6)
    v.data = value
    assert xy(v) == expected


@pytest.mark.parametrize("value, exc, msg", [
    ({"x": 5}, ValueError, "No value specified for struct attribute 'y'"),
    (Lookup(y=1), ValueError, "No value specified for struct attribute 'x'"),
    # every key is looked up before anything is converted
    ({"x": "a"}, ValueError, "No value specified for struct attribute 'y'"),
    ({"x": 5, "y": "a"}, TypeError, "must be real number, not str"),
    (5, TypeError, "Expected a mapping, got int"),
    (None, TypeError, "Expected a mapping, got NoneType"),
    ([1, 2], TypeError, "list indices must be integers or slices, not str"),
    (Lookup(x=1, y=RuntimeError("lookup")), RuntimeError, "lookup"),
])
def test_data_assignment_is_all_or_nothing(value, exc, msg):
    v = Vector2(1, 2)
    with raises(exc, msg):
        v.data = value
    assert xy(v) == (1, 2)


# --- conversions, copies -----------------------------------------------------------------------------------

@pytest.mark.parametrize("x, y, truncated, rounded", [
    (1.9, -1.9, (1, -1), (2, -2)),
    (0.5, -0.5, (0, 0), (1, -1)),
    (2.5, -3.5, (2, -3), (3, -4)),
    # the largest single below one half, and 2**23 + 1: both go wrong when one half is added in single
    # precision before truncating
    (0.49999997, -0.49999997, (0, 0), (0, 0)),
    (8388609, -8388609, (8388609, -8388609), (8388609, -8388609)),
    (2147483520, -2 ** 31, (2147483520, -2 ** 31), (2147483520, -2 ** 31)),
])
def test_int_and_rounded_tuples(x, y, truncated, rounded):
    v = Vector2(x, y)
    assert v.get_int_tuple() == truncated and v.get_rounded_tuple() == rounded
    assert all(type(c) is int for c in v.get_int_tuple() + v.get_rounded_tuple())


@pytest.mark.parametrize("x, y, exc", [
    (NAN, 0, ValueError), (0, -NAN, ValueError), (2 ** 31, 0, OverflowError),
    (0, -2147483904, OverflowError), (INF, 0, OverflowError), (0, -INF, OverflowError),
])
def test_int_and_rounded_tuples_refuse_unrepresentable(x, y, exc):
    with pytest.raises(exc):
        Vector2(x, y).get_int_tuple()
    with pytest.raises(exc):
        Vector2(x, y).get_rounded_tuple()


@settings(max_examples=200)
@given(*[st.floats(width=32, min_value=-2.1e9, max_value=2.1e9)] * 2)
def test_rounding_matches_half_away_from_zero(x, y):
    v = Vector2(x, y)
    assert v.get_rounded_tuple() == (half_up(x), half_up(y))
    assert xy(v.get_round()) == (f32(half_up(x)), f32(half_up(y)))
    assert v.get_int_tuple() == (int(x), int(y))


@pytest.mark.parametrize("dup", [
    Vector2.copy, Vector2.__copy__, copy.copy, copy.deepcopy, lambda v: v.__deepcopy__(memo=None),
])
def test_copies_are_independent_and_pickling_is_refused(dup):
    v = Vector2(0.1, -3)
    c = dup(v)
    assert type(c) is Vector2 and c is not v and xy(c) == (F01, -3)
    c.x = 5
    assert v.x == F01
    msg = "Pickling of struct members such as self.data must be explicitly requested with @auto_pickle(True)"
    with raises(TypeError, msg):
        pickle.dumps(c)


# --- sequence, swizzles ------------------------------------------------------------------------------------

def test_sequence_protocol():
    v = Vector2(0.1, 2)
    assert len(v) == 2 and bool(Vector2()) is True
    assert list(v) == [F01, 2.0]
    a, b = v
    assert (a, b) == (v[0], v[num(index=1)]) == (v[False], v[True]) == (F01, 2.0)


def test_setitem_converts_the_value_before_checking_the_index():
    v = Vector2(1, 2)
    v[0], v[1] = 0.1, num(index=7)
    assert xy(v) == (F01, 7)
    for index in (0, 5):
        with float_error("a"):
            v[index] = "a"
    for index in (5, -1, 2 ** 32):
        with raises(IndexError, OUT_OF_RANGE):
            v[index] = 1.0
    with pytest.raises(TypeError):
        v[0.0] = 1.0
    with raises(NotImplementedError, f"Subscript deletion not supported by {VEC}"):
        del v[0]
    assert xy(v) == (F01, 7)


def test_swizzles_are_new_read_only_vectors():
    v = Vector2(1, 2)
    assert [xy(getattr(v, s)) for s in ("xx", "yy", "xy", "yx")] == [(1, 1), (2, 2), (1, 2), (2, 1)]
    v.xy.x = 9
    assert xy(v) == (1, 2)
    for name in ("xx", "yy", "xy", "yx", "length"):
        with pytest.raises(AttributeError):
            setattr(v, name, Vector2(3, 4))


# --- equality, hashing, text -------------------------------------------------------------------------------

@pytest.mark.parametrize("a, b, equal", [
    (Vector2(1, 2), Vector2(1, 2), True),
    (Vector2(1, 2), Vector2(1, 3), False), (Vector2(1, 2), Vector2(0, 2), False),
    (Vector2(0.1, 0), Vector2(F01, 0), True),
    (Vector2(0.0, -0.0), Vector2(-0.0, 0.0), True),
    (Vector2(1, NAN), Vector2(1, 2), False),
    (Vector2(1, 2), (1.0, 2.0), False), (Vector2(0, 0), 0, False),
    # the vector answers False itself instead of deferring to the other side
    (Vector2(1, 2), Reflecting(), False),
])
def test_equality(a, b, equal):
    assert (a == b) is equal and (a != b) is (not equal)


def test_nan_vector_is_unequal_to_itself_and_vectors_are_unordered():
    v = Vector2(0, NAN)
    assert (v == v) is False and (v != v) is True
    assert repr(v) == str(v) == "Vector2(0.0, nan)"
    for op in (operator.lt, operator.le, operator.gt, operator.ge):
        with pytest.raises(TypeError):
            op(Vector2(1, 2), Vector2(3, 4))


@settings(max_examples=200)
@given(*[st.floats(width=32, allow_nan=False)] * 2)
def test_hash_and_repr_follow_the_float_components(x, y):
    v = Vector2(x, y)
    assert hash(v) == hash((x, y))
    text = repr(v)
    assert text == str(v) == f"Vector2({x!r}, {y!r})"
    assert same(Vector2(*map(float, text[8:-1].split(", "))), (x, y))


# --- arithmetic --------------------------------------------------------------------------------------------

@pytest.mark.parametrize("expr, expected", [
    ("Vector2(1, 2) + Vector2(3, 4)", (4, 6)), ("Vector2(1, 2) - Vector2(3, 5)", (-2, -3)),
    ("Vector2(3e38, -3e38) + Vector2(3e38, -3e38)", (INF, -INF)),
    ("Vector2(1, 2) * Vector2(3, 4)", (3, 8)), ("Vector2(1, 2) * True", (1, 2)),
    ("Vector2(1, 2) * type('F', (float,), {})(0.5)", (0.5, 1)),
    ("Vector2(1, -1) / -0.0", (-INF, INF)),
    ("Vector2(0, 0) / 0", (NAN, NAN)), ("Vector2(1, 0) / Vector2(0, 0)", (INF, NAN)),
    ("Vector2(7, -7) // 2", (3, -4)), ("Vector2(7, -7) // Vector2(2, 2)", (3, -4)),
    ("Vector2(1, -1).__floordiv__(0)", (INF, -INF)),
    # A scalar is applied in double and the result rounded once; a vector operand works in single precision.
    ("Vector2(9, 0) * 0.1", (0.8999999761581421, 0)),
    ("Vector2(9, 0) * Vector2(0.1, 0)", (0.9000000357627869, 0)),
    ("Vector2(3, 0) * 16777217", (50331652, 0)),
    ("Vector2(3, 0) * Vector2(16777217, 0)", (50331648, 0)),
    ("Vector2(1, 1) / 16777217", (2 ** -24 - 2 ** -48,) * 2),
    ("Vector2(1, 1) / Vector2(16777217, 16777217)", (2 ** -24,) * 2),
    ("Vector2(905036, 1) // Vector2(0.1, 1)", (9050360, 1)),
    ("Vector2(905036, 1) // F01", (9050359, 9)),
    ("Vector2(68704936, 0) // 0.7", (98149904, 0)),
])
def test_binary_operators(expr, expected):
    v = eval(expr, NS)
    assert type(v) is Vector2 and same(v, expected)


@settings(max_examples=300)
@given(*[st.floats(width=32)] * 4, st.floats())
def test_operators_round_each_result_once(x, y, ox, oy, s):
    # Rounding the double result of +, -, * or / of two singles gives the correctly rounded single result.
    a, b = Vector2(x, y), Vector2(ox, oy)
    for op, fn in [(operator.add, float.__add__), (operator.sub, float.__sub__),
                   (operator.mul, float.__mul__), (operator.truediv, div)]:
        assert same(op(a, b), (f32(fn(x, ox)), f32(fn(y, oy)))), op
    assert same(a * s, (f32(x * s), f32(y * s)))
    assert same(a / s, (f32(div(x, s)), f32(div(y, s))))


@pytest.mark.parametrize("expr, exc, msg", [
    ("v + (1, 2)", TypeError, bad_type("other", "tuple")),
    ("v - None", TypeError, bad_type("other", "NoneType")),
    # + and - insist on a vector: the right operand is never consulted
    ("v + Reflecting()", TypeError, bad_type("other", "Reflecting")),
    ("v.__sub__(Reflecting())", TypeError, bad_type("other", "Reflecting")),
    # in place, * takes only a vector, with no fallback to v * 2
    ("operator.imul(v, 2)", TypeError, bad_type("other", "int")),
    ("operator.imul(v, None)", TypeError, bad_type("other", "NoneType")),
    ("operator.iadd(v, (1, 1))", TypeError, bad_type("other", "tuple")),
    ("operator.isub(v, Reflecting())", TypeError, bad_type("other", "Reflecting")),
    ("v.sadd(1, 2)", TypeError, bad_type("new_vec", "int")),
    ("v.sadd(v, None)", TypeError, bad_type("old_vec", "NoneType")),
    ("v.sadd(old_vec=v, new_vec=(1, 2))", TypeError, bad_type("new_vec", "tuple")),
    ("v.dot((1, 2))", TypeError, bad_type("other", "tuple")),
    ("v.distance_to(None)", TypeError, bad_type("other", "NoneType")),
    ("v.distance_squared_to(other=[1, 2])", TypeError, bad_type("other", "list")),
    ("v * 2 ** 1024", OverflowError, "int too large to convert to float"),
    ("v[-1]", IndexError, OUT_OF_RANGE), ("v[2]", IndexError, OUT_OF_RANGE),
    ("v[2 ** 32]", IndexError, OUT_OF_RANGE),  # not cut to 32 bits, which would make it index 0
    ("v[2 ** 70]", OverflowError, None),
    ("v[0.0]", TypeError, "'float' object cannot be interpreted as an integer"),
])
def test_operation_errors(expr, exc, msg):
    v = Vector2(1, 2)
    with raises(exc, msg):
        eval(expr, dict(NS, v=v))
    assert xy(v) == (1, 2)


def test_mul_and_div_take_only_int_and_float_scalars():
    v = Vector2(1, 2)
    for expr in ("v * o", "v / o", "v // o"):
        assert eval(expr, dict(NS, v=v, o=Reflecting())) == "reflected"
        for other in ("a", (1, 2), Fraction(1, 2), Decimal(2), None):
            with pytest.raises(TypeError):
                eval(expr, dict(NS, v=v, o=other))
    assert v.__mul__(Fraction(1, 2)) is NotImplemented


@pytest.mark.parametrize("expr", ["3 + v", "3 - v", "3 * v", "3 / v", "3 // v", "(1, 2) + v", "+v", "abs(v)"])
def test_no_reflected_or_extra_unary_operators(expr):
    with pytest.raises(TypeError):
        eval(expr, {"v": Vector2(1, 2)})


@pytest.mark.parametrize("op, other, expected", [
    ("+=", Vector2(1, 1), (2, 3)),
    ("-=", Vector2(1, 1), (0, 1)),
    ("*=", Vector2(0.1, 3), (F01, 6)),
    # both components are read before either is written
    ("+=", "self", (2, 4)), ("-=", "self", (0, 0)), ("*=", "self", (1, 4)),
    # no in-place division: the name is bound to a new vector
    ("/=", 0.5, "new"), ("//=", 0.5, "new"),
])
def test_in_place_operators(op, other, expected):
    v = Vector2(1, 2)
    ns = {"v": v, "o": v if other == "self" else other}
    exec(f"v {op} o", ns)
    if expected == "new":
        assert ns["v"] is not v and xy(ns["v"]) == (2, 4) and xy(v) == (1, 2)
    else:
        assert ns["v"] is v and xy(v) == expected


def test_sadd():
    v = Vector2(9, 9)
    assert v.sadd(Vector2(1, 2), Vector2(0.1, 3)) is None
    assert xy(v) == (f32(1 + F01), 5)
    v.sadd(old_vec=Vector2(1, 1), new_vec=v)
    assert xy(v) == (f32(f32(1 + F01) + 1), 6)
    v.sadd(v, v)
    assert xy(v) == (2 * f32(f32(1 + F01) + 1), 12)


# --- rounding, signs, normalisation ------------------------------------------------------------------------

@pytest.mark.parametrize("name, start, expected", [
    ("round", (0.5, -0.5), (1, -1)), ("round", (2.5, -2.5), (3, -3)),
    ("round", (1.4999999, 0.49999997), (1, 0)),
    ("round", (8388609, INF), (8388609, INF)),
    ("abs", (-0.0, -2), (0.0, 2)), ("abs", (-INF, 3), (INF, 3)),
    ("neg", (0, 1), (-0.0, -1)), ("neg", (-0.0, -INF), (0.0, INF)),
    ("normalized", (3, 4), (0.6000000238418579, 0.800000011920929)),
    ("normalized", (0, 0), (0, 0)), ("normalized", (0, -2), (0, -1)),
    # the length is formed in single precision, where these squares underflow and overflow
    ("normalized", (1e-30, 0), (0, 0)), ("normalized", (1e30, -1e30), (0.0, -0.0)),
    ("normalized", (INF, 1), (NAN, 0)), ("normalized", (NAN, 1), (NAN, NAN)),
    # the components are divided in double by the double length
    ("normalized", (1.3338431119918823, 6.896276950836182), (0.1898956298828125, 0.9818043112754822)),
])
def test_to_methods_change_in_place_get_methods_return_new(name, start, expected):
    v = Vector2(*start)
    got = getattr(v, "get_" + name)()
    assert got is not v and type(got) is Vector2 and same(got, expected)
    assert same(v, map(f32, start))
    assert getattr(v, "to_" + name)() is v and same(v, expected)


def test_sign_methods_only_touch_the_sign_bit_of_nan():
    def sign_and_payload(c):
        return math.copysign(1, c), struct.pack("d", abs(c))

    nan_with_payload = struct.unpack("f", struct.pack("I", 0xFFC00123))[0]
    v = Vector2(nan_with_payload, -nan_with_payload)
    for w, fn in [(-v, operator.neg), (v.get_neg(), operator.neg), (v.get_abs(), abs)]:
        assert [sign_and_payload(c) for c in xy(w)] == [sign_and_payload(fn(c)) for c in xy(v)]


# --- length, dot, distances --------------------------------------------------------------------------------

@pytest.mark.parametrize("v, expected", [
    (Vector2(3, 4), 5.0),
    (Vector2(0.1, 0), math.sqrt(f32(F01 * F01))),  # x * x is rounded to single before the square root
    (Vector2(1e20, 0), INF),
    (Vector2(1e-30, 0), 0.0),
    # y * y + x * x is one fused single-precision step: rounding y * y separately, or fusing x * x instead,
    # gives other values
    (Vector2(0.7, 2.2), 2.3086793628702997),
])
def test_length(v, expected):
    assert v.length == expected


@pytest.mark.parametrize("a, b, expected", [
    (Vector2(1, 2), Vector2(3, 4), 11.0),
    (Vector2(0.1, 0), Vector2(0.1, 5), f32(F01 * F01)),
    (Vector2(1e20, 0), Vector2(1e20, 0), INF),
    (Vector2(2.4, 0.3), Vector2(0.1, 2.9), 1.1100000143051147),  # fused in single, as for length
])
def test_dot(a, b, expected):
    assert a.dot(b) == a.dot(other=b) == expected


@pytest.mark.parametrize("a, b, squared", [
    (Vector2(0, 0), Vector2(3, 4), 25.0),
    # the differences are singles; squares and sum are doubles
    (Vector2(0.1, 0), Vector2(0, 0), F01 * F01),
    (Vector2(16777216, 0), Vector2(-1, 0), 2.0 ** 48),
    (Vector2(1e20, 0), Vector2(0, 0), f32(1e20) ** 2),
    (Vector2(3e38, 0), Vector2(-3e38, 0), INF),
])
def test_distances(a, b, squared):
    assert a.distance_squared_to(b) == squared
    assert a.distance_to(other=b) == math.sqrt(squared)


@settings(max_examples=300)
@given(*[st.floats(width=32, min_value=-2.0 ** 60, max_value=2.0 ** 60)] * 4)
def test_products_match_the_exact_model(x, y, ox, oy):
    a, b = Vector2(x, y), Vector2(ox, oy)
    assert a.length == math.sqrt(round_f32(Fraction(y) ** 2 + Fraction(f32(x * x))))
    assert a.dot(b) == round_f32(Fraction(y) * Fraction(oy) + Fraction(f32(ox * x)))
    dx, dy = f32(x - ox), f32(y - oy)
    assert a.distance_squared_to(b) == math.fma(dy, dy, dx * dx)
    assert a.distance_to(b) == math.sqrt(math.fma(dy, dy, dx * dx))
