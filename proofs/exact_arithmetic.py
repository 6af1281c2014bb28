"""Every arithmetic operation and number slot of the value types, bit for bit against the exact model in exact.py.

One property per family of operations. Each draws operands rich in the values where rounding goes wrong (signed
zeros, subnormals of both widths, the single-precision limits and the doubles that just overflow it, halfway
cases, integers beyond 2**24 and 2**53, NaN, infinities), runs every operation of the family on them and compares
each result with the model: floats by their bits (any NaN matches any NaN), ints and truth values exactly, vectors,
colours and rectangles by type and fields, and failures by exception type. A quick form runs by default, a full
one under VANTOR_PROOFS=full; the figures give the cases each family ran.
"""

import functools
import itertools
import math
import operator
import struct
import time
from collections import Counter

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import exact as X
from runner import figure, scale
from vantor.color.color import Color
from vantor.rect.rect import Rect
from vantor.vector2.vector2 import Vector2
from vantor.vector3.vector3 import Vector3
from vantor.vector4.vector4 import Vector4

PROPERTY = settings(max_examples=scale(30, 600), deadline=None, suppress_health_check=[HealthCheck.too_slow])

# --- operands ------------------------------------------------------------------------------------------------

OVERFLOW = float(2 ** 128 - 2 ** 103)  # halfway between the largest single and 2**128: rounds to infinity
FLOAT_EDGES = [
    0.0, math.inf, math.nan, 0.5, 1.5, 2.5, 0.1, 1 / 3, 1e-30, 1e20, 1e30,
    3.4028234663852886e38, OVERFLOW, math.nextafter(OVERFLOW, 0), math.nextafter(OVERFLOW, math.inf), 2.0 ** 128,
    2.0 ** -126, 2.0 ** -126 - 2.0 ** -149, 2.0 ** -149, 2.0 ** -150, math.nextafter(2.0 ** -150, 1), 1.5 * 2.0 ** -149,
    5e-324, 2.2250738585072014e-308, math.nextafter(2.2250738585072014e-308, 0), 1.7976931348623157e308,
    0.49999997, 0.49999999999999994, 8388609.0, 16777215.0, 16777217.0, 16777219.0, 4503599627370497.0,
    2147483520.0, 2147483647.4999998, 2147483647.5, 2147483648.0, 2147483648.4999998, 2147483648.5,
]
INT_EDGES = [
    0, 1, 2 ** 24 - 1, 2 ** 24 + 1, 2 ** 24 + 3, 2 ** 31 - 1, 2 ** 31, 2 ** 53 + 1,
    2 ** 60 + 2 ** 36 + 1,  # exact to the single halfway point once rounded to double: the double rounding shows
    2 ** 128 - 2 ** 103, 2 ** 1024 - 2 ** 970 - 1, 2 ** 1024 - 2 ** 970,  # the last int a float can hold, the first not
]
signed = lambda values: st.sampled_from([s * v for v in values for s in (1, -1)])  # noqa: E731
doubles = st.one_of(
    signed([0.0, math.inf, math.nan]), signed(FLOAT_EDGES), st.floats(width=32), st.floats(),
    st.builds(math.ldexp, st.integers(-2 ** 26, 2 ** 26), st.integers(-175, 150)),  # often halfway in single
    st.builds(math.ldexp, st.integers(-2 ** 10, 2 ** 10), st.integers(-160, -140)),  # single subnormals
)
ints = st.one_of(signed(INT_EDGES), st.integers(-2 ** 70, 2 ** 70), st.booleans())
numbers = st.one_of(doubles, ints)


@functools.cache
def components(n):
    """n doubles: each drawn on its own, or all of one scale (cancellations, subnormal sums and products)."""
    exponent = st.one_of(st.integers(-172, -150), st.integers(-150, 130))  # the first: mostly single subnormals
    return st.one_of(st.tuples(*[doubles] * n), st.builds(
        lambda e, ms: tuple(math.ldexp(m, e) for m in ms), exponent, st.tuples(*[st.integers(-2 ** 26, 2 ** 26)] * n)))


# A component drawn with a choice: (fresh, factor, i) is fresh, or factor times the i-th of some given values
# (the other operand's components, or the edges of a rectangle) when factor is not None.
related = st.tuples(doubles, st.sampled_from([None, None, 1.0, -1.0]), st.integers(0, 8))
close = st.tuples(numbers, st.sampled_from([None, 1.0, 1.0]), st.integers(0, 8))


FloatSub, IntSub = type("FloatSub", (float,), {}), type("IntSub", (int,), {})


def subclassed(x):
    """x as an instance of a float or int subclass, which takes the general conversion path."""
    return x if type(x) is bool else (FloatSub if isinstance(x, float) else IntSub)(x)


def pick(drawn, values):
    fresh, factor, i = drawn
    return fresh if factor is None else factor * values[i % len(values)]


def double_steps(x):
    """x and the doubles next to it."""
    return [x, math.nextafter(x, -math.inf), math.nextafter(x, math.inf)]


def single_steps(x):
    """The single x and the singles next to it (the same sign kept at zero)."""
    bits = struct.unpack("<I", struct.pack("<f", abs(x)))[0]
    return [x] + [math.copysign(struct.unpack("<f", struct.pack("<I", b))[0], x)
                  for b in (bits - 1, bits + 1) if 0 <= b < 0x7F800000]


# --- comparing -----------------------------------------------------------------------------------------------

FIELDS = {Vector2: "xy", Vector3: "xyz", Vector4: "xyzw", Rect: ("x", "y", "width", "height"), Color: "rgba"}
COUNTS = Counter()  # (family, kind) -> cases; (family, "checks") -> comparisons


def fields(obj):
    return tuple(getattr(obj, f) for f in FIELDS[type(obj)])


def key(x):
    """What must match bit for bit."""
    if isinstance(x, type) and issubclass(x, BaseException):
        return "raises", x.__name__
    if type(x) is float:
        return "nan" if x != x else struct.pack("<d", x).hex()
    if type(x) in (bool, int):
        return type(x).__name__, x
    if type(x) in (tuple, list):
        return tuple(map(key, x))
    if type(x) is X.Obj:
        return x.name, key(x.values)
    return type(x).__name__, key(fields(x))


def run(fn, *args):
    """fn's result, or the type of the conversion error it raised."""
    try:
        return fn(*args)
    except (OverflowError, ValueError) as e:
        return type(e)


def check(family, label, got, expected, *inputs):
    COUNTS[family, "checks"] += 1
    assert key(got) == key(expected), f"{label} of {inputs!r}: got {got!r}, expected {expected!r}"


@pytest.fixture(scope="module", autouse=True)
def report():
    start = time.perf_counter()
    yield
    for family in dict.fromkeys(f for f, _ in COUNTS):
        cases = ", ".join(f"{k} {n}" for (f, k), n in COUNTS.items() if f == family and k != "checks")
        figure("exact arithmetic", f"{family}: {cases} cases, {COUNTS[family, 'checks']} comparisons")
    figure("exact arithmetic", f"{sum(n for (_, k), n in COUNTS.items() if k == 'checks')} comparisons "
                               f"in {time.perf_counter() - start:.1f} s")


class Kind:
    def __init__(self, cls, model):
        self.cls, self.m, self.n = cls, model, model.n

    def __repr__(self):
        return self.cls.__name__

    def make(self, comps):
        """The vector and the components it stores."""
        return self.cls(*comps), tuple(self.m.store(c) for c in comps)

    def operands(self, data):
        a = data.draw(components(self.n), "a")
        return a, tuple(pick(d, [c]) for d, c in zip(data.draw(st.tuples(*[related] * self.n), "b"), a))


KINDS = [Kind(Vector2, X.VECTOR2), Kind(Vector3, X.VECTOR3), Kind(Vector4, X.VECTOR4)]
vector_kinds = pytest.mark.parametrize("K", KINDS, ids=repr)


# --- storing numbers -----------------------------------------------------------------------------------------

def set_each(obj, names, values, store):
    for name, value in zip(names, values):
        store(obj, name, value)
    return obj


STORES = {  # every way a number reaches a vector's record: (T, names, values) -> the new or changed vector
    "T(*values)": lambda T, names, v: T(*v),
    "T(*subclassed values)": lambda T, names, v: T(*map(subclassed, v)),
    "T(list)": lambda T, names, v: T(list(v)),
    "T(tuple)": lambda T, names, v: T(tuple(v)),
    "T.from_tuple": lambda T, names, v: T.from_tuple(tuple(v)),
    "T.from_list": lambda T, names, v: T.from_list(list(v)),
    "T.from_components": lambda T, names, v: getattr(T, "from_" + "".join(names))(*v),
    "v.component = value": lambda T, names, v: set_each(T(), names, v, setattr),
    "v[i] = value": lambda T, names, v: set_each(T(), range(len(names)), v, operator.setitem),
}
RECT_STORES = {
    "Rect(*values)": lambda v: Rect(*v), "Rect(list)": lambda v: Rect(list(v)), "Rect(tuple)": lambda v: Rect(tuple(v)),
    "r[i] = value": lambda v: set_each(Rect(), range(4), v, operator.setitem),
    **{f"r.{'/'.join(names)} = value": (lambda names: lambda v: set_each(Rect(), names, v, setattr))(names)
       for names in [("x", "y", "w", "h"), ("left", "top", "width", "height")]},
}


@PROPERTY
@pytest.mark.parametrize("K", KINDS + ["Rect"], ids=str)
@given(data=st.data())
def test_storing_numbers(K, data):
    family = "numbers stored (constructors, from_*, setters, items, data)"
    values = data.draw(st.tuples(*[numbers] * (4 if K == "Rect" else K.n)), "values")
    COUNTS[family, str(K)] += 1
    if K == "Rect":
        expected = run(lambda: X.Obj("Rect", tuple(X.narrow(X.to_double(v)) for v in values)))
        for label, make in RECT_STORES.items():
            check(family, label, run(make, values), expected, values)
        return
    T, m = K.cls, K.m
    expected = run(lambda: m.obj(m.store(X.to_double(v)) for v in values))
    for label, make in STORES.items():
        check(family, f"{K} {label}", run(make, T, FIELDS[T], values), expected, values)
    if T is Vector2:
        check(family, "Vector2.data = mapping", run(set_each, T(), ["data"], [dict(zip("xy", values))], setattr),
              expected, values)
    # from_floats narrows to single for every type; from_ints truncates to 32 bits first
    check(family, f"{K}.from_floats", run(T.from_floats, *values),
          run(lambda: m.obj(m.store(X.narrow(X.to_double(v))) for v in values)), values)
    check(family, f"{K}.from_ints", run(T.from_ints, *values),
          run(lambda: m.obj(m.store(float(X.to_int32(v))) for v in values)), values)


# --- two vectors ---------------------------------------------------------------------------------------------

def in_place(op):
    def apply(a, b):
        result = op(a, b)
        assert result is a
        return a
    return apply


def sadd(a, b):
    v = type(a)()
    assert v.sadd(a, b) is None
    return v


TWO_VECTORS = {  # label: (what the package does, what the model gives)
    "a + b": (operator.add, "add"), "a - b": (operator.sub, "sub"), "a * b": (operator.mul, "mul"),
    "a / b": (operator.truediv, "truediv"), "a // b": (operator.floordiv, "floordiv"),
    "a += b": (in_place(operator.iadd), "add"), "a -= b": (in_place(operator.isub), "sub"),
    "a *= b": (in_place(operator.imul), "mul"), "v.sadd(a, b)": (sadd, "add"),
    "a == b": (operator.eq, "eq"), "a != b": (operator.ne, lambda m, a, b: not m.eq(a, b)),
    "a.dot(b)": (lambda a, b: a.dot(b), "dot"), "a.distance_to(b)": (lambda a, b: a.distance_to(b), "distance"),
    "a.distance_squared_to(b)": (lambda a, b: a.distance_squared_to(b), "distance_squared"),
}


@PROPERTY
@vector_kinds
@given(data=st.data())
def test_two_vectors(K, data):
    family = "vector with vector (+ - * / // += -= *= sadd == != dot distances cross)"
    a, b = K.operands(data)
    COUNTS[family, str(K)] += 1
    ops = dict(TWO_VECTORS)
    if K.cls is Vector3:
        ops["a.cross(b)"] = (lambda a, b: a.cross(b), "cross")
    for left, right in [(a, b), (b, a), (a, a)]:  # both orders, and a vector with itself
        for label, (op, ref) in ops.items():
            (va, sa), (vb, sb) = K.make(left), K.make(right)
            if left is right:
                vb = va  # the same object on both sides: in-place forms read before they write
            expected = getattr(K.m, ref)(sa, sb) if isinstance(ref, str) else ref(K.m, sa, sb)
            check(family, f"{K} {label}", op(va, vb), expected, left, right)
    # the hash is the tuple hash of the stored floats, so equal vectors hash alike (0.0 and -0.0 included)
    (va, sa), (vb, sb) = K.make(a), K.make(b)
    if not any(map(math.isnan, sa + sb)):
        check(family, f"{K} hash", (hash(va), va == vb and hash(va) == hash(vb)),
              (hash(sa), K.m.eq(sa, sb)), a, b)


# --- a vector and a number -----------------------------------------------------------------------------------

@PROPERTY
@vector_kinds
@given(data=st.data())
def test_vector_and_number(K, data):
    family = "vector with number (* / //; reflected and *= refused)"
    comps = data.draw(components(K.n), "a")
    s = pick(data.draw(close, "s"), [*comps, 0, -0.0, 2, 0.1])  # also a divisor equal to a component
    COUNTS[family, str(K)] += 1
    v, sv = K.make(comps)
    for label, op, ref in [("a * s", operator.mul, K.m.mul_scalar), ("a / s", operator.truediv, K.m.truediv_scalar),
                           ("a // s", operator.floordiv, K.m.floordiv_scalar)]:
        for scalar in (s, subclassed(s)):
            check(family, f"{K} {label}", run(op, v, scalar), run(ref, sv, s), comps, scalar)
    # no reflected forms, and *= takes a vector only: the vector is left as it was
    for op in (operator.add, operator.sub, operator.mul, operator.truediv, operator.floordiv, operator.imul):
        with pytest.raises(TypeError):
            op(v, s) if op is operator.imul else op(s, v)
    check(family, f"{K} refused", v, K.m.obj(sv), comps, s)


# --- one vector ----------------------------------------------------------------------------------------------

def to(name):
    def apply(v):
        assert getattr(v, "to_" + name)() is v
        return v
    return apply


ONE_VECTOR = {
    "-a": (operator.neg, "neg"), "a.get_neg()": (lambda v: v.get_neg(), "neg"), "a.to_neg()": (to("neg"), "neg"),
    "a.get_abs()": (lambda v: v.get_abs(), "abs"), "a.to_abs()": (to("abs"), "abs"),
    "a.get_round()": (lambda v: v.get_round(), "round"), "a.to_round()": (to("round"), "round"),
    "a.get_normalized()": (lambda v: v.get_normalized(), "normalized"),
    "a.to_normalized()": (to("normalized"), "normalized"),
    "a.length": (lambda v: v.length, "length"),
    "a.get_int_tuple()": (lambda v: v.get_int_tuple(), "int_tuple"),
    "a.get_rounded_tuple()": (lambda v: v.get_rounded_tuple(), "rounded_tuple"),
}


@PROPERTY
@vector_kinds
@given(data=st.data())
def test_one_vector(K, data):
    family = "one vector (neg abs round normalized length int/rounded tuples)"
    comps = data.draw(components(K.n), "a")
    COUNTS[family, str(K)] += 1
    for label, (op, ref) in ONE_VECTOR.items():
        v, stored = K.make(comps)
        check(family, f"{K} {label}", run(op, v), run(getattr(K.m, ref), stored), comps)


# --- the toolbox: geometry in double, rounded once ------------------------------------------------------------

def both(name, *args):
    """v.get_<name>(*args) and v.to_<name>(*args) on a copy of v (which it must return): the pair of results."""
    def apply(v):
        w = v.copy()
        got = getattr(v, "get_" + name)(*args)
        assert getattr(w, "to_" + name)(*args) is w
        return got, w
    return apply


@PROPERTY
@vector_kinds
@given(data=st.data())
def test_toolbox(K, data):
    family = "toolbox (lerp min max clamp moved_toward project length_squared; 2-D/3-D reflect and lengths)"
    a, b = K.operands(data)
    c = tuple(pick(d, a + b) for d in data.draw(st.tuples(*[related] * K.n), "c"))
    s = pick(data.draw(close, "s"), [*a, *b, 0, -0.0, 0.5, 2])
    COUNTS[family, str(K)] += 1
    m = K.m
    (_, sa), (vb, sb), (vc, sc) = K.make(a), K.make(b), K.make(c)
    twice = lambda f: lambda: (f(), f())  # noqa: E731
    cases = {  # label: (the call on a fresh vector of a, the model's result); vector arguments as vectors or tuples
        "lerp": (lambda v: v.lerp(sb, s), lambda: m.lerp(sa, sb, s)),
        "get_min": (lambda v: v.get_min(vb), lambda: m.min(sa, sb)),
        "get_max": (lambda v: v.get_max(list(sb)), lambda: m.max(sa, sb)),
        "clamped": (both("clamped", sb, vc), twice(lambda: m.clamped(sa, sb, sc))),
        "moved_toward": (both("moved_toward", vb, s), twice(lambda: m.moved_toward(sa, sb, s))),
        "length_squared": (lambda v: v.length_squared, lambda: m.length_squared_wide(sa)),
    }
    if K.n < 4:
        cases |= {
            "project": (lambda v: v.project(vb), lambda: m.project(sa, sb)),
            "reflected": (both("reflected", sb), twice(lambda: m.reflected(sa, sb))),
            "scaled_to_length": (both("scaled_to_length", s), twice(lambda: m.scaled_to_length(sa, s))),
            "clamped_length": (both("clamped_length", s), twice(lambda: m.clamped_length(sa, 0.0, s))),
            "clamped_length range": (both("clamped_length", s, sb[0]), twice(lambda: m.clamped_length(sa, s, sb[0]))),
        }
    for label, (op, ref) in cases.items():
        check(family, f"{K} {label}", run(op, K.make(a)[0]), run(ref), a, b, c, s)


# --- Color ---------------------------------------------------------------------------------------------------

byte = st.integers(0, 255)
channel_values = st.one_of(st.integers(-300, 600), numbers)
# k / 255 as a double, as the nearest single and the singles next to it: fade truncates a single product
FADES = sorted({v for k in range(256) for d in [k / 255] for f in [X.narrow(d)]
                for v in [*double_steps(d), *single_steps(f)]})
unit_fractions = st.one_of(doubles, st.sampled_from(FADES), st.integers(-2, 257).map(lambda k: k * X.ONE_255TH))
CHANNELS = ["r", "g", "b", "a", "red", "green", "blue", "alpha"]


def faded(c, alpha):
    assert c.fade(alpha) is None
    return c


@PROPERTY
@given(data=st.data())
def test_color(data):
    family = "Color (conversions, setters, tint, fade, normalize, from_normalized, to_int, ==)"
    values = data.draw(st.tuples(*[channel_values] * 4), "values")
    c1, c2 = data.draw(st.tuples(byte, byte, byte, byte), "c1"), data.draw(st.tuples(byte, byte, byte, byte), "c2")
    k = data.draw(st.integers(0, 5), "c2 is c1 but for")  # a channel, none, or all: equality needs all four
    c2 = c2 if k == 5 else c1 if k == 4 else (*c1[:k], c2[k], *c1[k + 1:])
    alpha = data.draw(st.one_of(unit_fractions, numbers), "alpha")
    normal = data.draw(st.tuples(*[unit_fractions] * 4), "normal")
    COUNTS[family, "Color"] += 1
    expected = run(lambda: X.Obj("Color", tuple(map(X.channel, values))))
    check(family, "Color(r, g, b, a)", run(Color, *values), expected, values)
    check(family, "Color(r, g, b)", run(Color, *values[:3]),
          run(lambda: X.Obj("Color", (*map(X.channel, values[:3]), 255))), values)
    for i, name in enumerate(CHANNELS):
        c = Color(*c1)
        got = run(setattr, c, name, values[i % 4])
        expected = run(lambda: X.Obj("Color", (*c1[:i % 4], X.channel(values[i % 4]), *c1[i % 4 + 1:])))
        check(family, f"c.{name} = value", got if isinstance(got, type) else c, expected, c1, values[i % 4])
    a, b = Color(*c1), Color(*c2)
    for label, got, expected in [
        ("a.tint(b)", a.tint(b), X.tint(c1, c2)), ("a == b", a == b, c1 == c2), ("a != b", a != b, c1 != c2),
        ("a.equal(b)", a.equal(b), c1 == c2), ("a.equal(a)", a.equal(Color(*c1)), True),
        ("a.to_int()", a.to_int(), X.to_int(c1)), ("a.normalize()", a.normalize(), X.normalize(c1)),
        ("a.fade(alpha)", run(faded, Color(*c1), alpha), run(X.fade, c1, alpha)),
        ("Color.from_normalized(v)", Color.from_normalized(Vector4(*normal)), X.from_normalized(normal)),
        ("from_normalized(normalize())", Color.from_normalized(a.normalize()),
         X.from_normalized(X.normalize(c1).values)),
    ]:
        check(family, label, got, expected, c1, c2, alpha, normal)
    check(family, "operands unchanged", (a, b), (X.Obj("Color", c1), X.Obj("Color", c2)), c1, c2)


# --- Rect ----------------------------------------------------------------------------------------------------

RECT_GETTERS = {
    "right": X.right, "bottom": X.bottom, "centerx": lambda r: X.center(r)[0], "centery": lambda r: X.center(r)[1],
    "center": lambda r: X.Obj("Vector2", X.center(r)), "get_vector4()": lambda r: X.Obj("Vector4", r),
    "get_tuple()": lambda r: r, "get_width()": lambda r: r[2], "get_height()": lambda r: r[3],
}


def moved_center(r, cx, cy):
    x = X.moved(X.moved(r, "centerx", X.to_double(cx)), "centery", X.to_double(cy))
    return X.Obj("Rect", x)


def assigned(r, name, value):
    setattr(r, name, value)
    return r


@PROPERTY
@given(data=st.data())
def test_rect(data):
    family = "Rect (edges, centre, moving setters, collisions, ==)"
    raw = data.draw(components(4), "fields")
    if data.draw(st.booleans(), "positive size"):
        raw = (*raw[:2], *map(abs, raw[2:]))
    r = tuple(map(X.narrow, raw))
    far = (X.right(r), X.bottom(r))
    # points and rectangles near the edges: per axis the near and far edges, the centre and the doubles next to them
    xs, ys = ([v for e in (r[i], far[i], X.center(r)[i]) for v in double_steps(e)] for i in (0, 1))
    point, near = data.draw(st.tuples(close, close), "point"), data.draw(st.tuples(close, close), "near edges")
    point = (pick(point[0], xs), pick(point[1], ys))
    other = (pick(near[0], xs), pick(near[1], ys), *(pick(s, r) for s in data.draw(st.tuples(related, related))))
    value = data.draw(close, "value")
    COUNTS[family, "Rect"] += 1
    rect = Rect(*raw)
    for name, ref in RECT_GETTERS.items():
        got = getattr(rect, name.removesuffix("()"))
        check(family, f"r.{name}", got() if name.endswith("()") else got, ref(r), raw)
    for name, near in [("right", xs), ("bottom", ys), ("centerx", xs), ("centery", ys)]:
        v = pick(value, near)
        check(family, f"r.{name} = value", run(assigned, Rect(*raw), name, v),
              run(lambda: X.Obj("Rect", X.moved(r, name, v))), raw, v)
    check(family, "r.center = (cx, cy)", run(assigned, Rect(*raw), "center", point), run(moved_center, r, *point),
          raw, point)
    # the generic tests take a sequence's numbers as doubles and sum the other's edges in double
    for form in (tuple, list):
        check(family, f"r.collide_point({form.__name__})", run(rect.collide_point, form(point)),
              run(lambda: X.collide_point(r, *map(X.to_double, point))), raw, point)
        check(family, f"r.collide_rect({form.__name__})", run(rect.collide_rect, form(other)),
              run(lambda: X.collide_rect(r, tuple(map(X.to_double, other)), X.F64)), raw, other)
    if all(isinstance(o, float) for o in point + other):
        o32 = tuple(map(X.narrow, other))
        check(family, "r.center = Vector2", assigned(Rect(*raw), "center", Vector2(*point)),
              moved_center(r, *map(X.narrow, point)), raw, point)
        check(family, "r.collide_point(Vector2)", rect.collide_point(Vector2(*point)),
              X.collide_point(r, *map(X.narrow, point)), raw, point)
        check(family, "r.collide_rect(Vector4)", rect.collide_rect(Vector4(*other)), X.collide_rect(r, other, X.F64),
              raw, other)
        check(family, "r.collide_rect(Rect)", rect.collide_rect(Rect(*other)), X.collide_rect(r, o32, X.F64),
              raw, other)
        check(family, "r.collide_rect_rect(Rect)", rect.collide_rect_rect(Rect(*other)),
              X.collide_rect(r, o32, X.F32), raw, other)
        for label, got in [("r == other", rect == Rect(*other)), ("r != other", rect != Rect(*other))]:
            check(family, label, got, all(map(operator.eq, r, o32)) is (label == "r == other"), raw, other)
    check(family, "r == copy", rect == Rect(*raw), not any(map(math.isnan, r)), raw)
    # the derived rectangles, with other as a Rect, a tuple of doubles and a Vector4 of doubles
    family2 = "Rect derived (moved, inflated, union, clipped)"
    COUNTS[family2, "Rect"] += 1
    o32 = tuple(map(X.narrow, other)) if all(isinstance(v, float) for v in other) else None
    a, b = pick(value, xs), point[1]
    for label, got, expected in [
        ("get_moved", lambda: Rect(*raw).get_moved(a, b), lambda: X.rect_moved(r, a, b)),
        ("to_moved", lambda: Rect(*raw).to_moved((a, b)), lambda: X.rect_moved(r, a, b)),
        ("get_inflated", lambda: Rect(*raw).get_inflated(a, b), lambda: X.rect_inflated(r, a, b)),
        ("to_inflated", lambda: Rect(*raw).to_inflated(a, b), lambda: X.rect_inflated(r, a, b)),
        ("get_union(tuple)", lambda: rect.get_union(tuple(other)),
         lambda: X.rect_union(r, tuple(map(X.to_double, other)))),
        ("get_clipped(list)", lambda: rect.get_clipped(list(other)),
         lambda: X.rect_clipped(r, tuple(map(X.to_double, other)))),
    ] + ([] if o32 is None else [
        ("to_union(Rect)", lambda: Rect(*raw).to_union(Rect(*other)), lambda: X.rect_union(r, o32)),
        ("get_clipped(Rect)", lambda: rect.get_clipped(Rect(*other)), lambda: X.rect_clipped(r, o32)),
        ("get_union(Vector4)", lambda: rect.get_union(Vector4(*other)), lambda: X.rect_union(r, other)),
    ]):
        check(family2, f"r.{label}", run(got), run(expected), raw, other, a, b)
    # At each boundary, one axis at a time (the other spanning ours exactly): the point at our edges and the
    # numbers next to them, and the other rectangle with every pair of those as its near and far edges.
    for i in (0, 1):
        for steps, fmt in [(double_steps, X.F64), (single_steps, X.F32)]:
            edges = [v for e in (r[i], far[i]) for v in steps(e)]
            for p in edges:
                pt = (p, X.center(r)[1]) if i == 0 else (X.center(r)[0], p)
                got = rect.collide_point(pt) if fmt is X.F64 else rect.collide_point(Vector2(*pt))
                check(family, "r.collide_point at an edge", got, X.collide_point(r, *pt), raw, pt)
            for a, b in itertools.product(edges, repeat=2):
                o = list(r)
                o[i], o[i + 2] = a, b - a
                if fmt is X.F64:
                    got, expected = rect.collide_rect(tuple(o)), X.collide_rect(r, o, X.F64)
                else:
                    got, expected = rect.collide_rect_rect(Rect(*o)), X.collide_rect(r, tuple(map(X.narrow, o)), X.F32)
                check(family, "r.collide_rect at an edge", got, expected, raw, o)
