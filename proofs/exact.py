"""An exact model of the value types' number rules, for the arithmetic proof.

Every IEEE operation is computed exactly on integer ratios (Fractions where speed does not matter) and rounded
once, to nearest with ties to even, into single (F32) or double (F64) precision, with overflow to infinity,
subnormals, signed zeros and NaN as IEEE 754 has them. Values are Python floats throughout (a single is the double
holding its exact value). Nothing here calls the package or takes a rounded result from the platform's floats.

Where the rules leave a case open, the model follows what the package chose (and its other tests pin): NaN
compares unequal and a NaN length is divided by; integer conversion raises ValueError for NaN and OverflowError
beyond 32 bits; `Color.from_normalized` saturates products beyond 32 bits and gives 0 for NaN.
"""

import math
from fractions import Fraction
from typing import NamedTuple

INF, NAN = math.inf, math.nan


class Format(NamedTuple):
    bits: int  # significand bits, the hidden one included
    tiny: int  # exponent of the smallest subnormal
    over: int  # exponent of the first power of two beyond the largest finite value


F32 = Format(24, -149, 128)
F64 = Format(53, -1074, 1024)


def sign(x):
    return math.copysign(1.0, x)


def round_ratio(n, d, fmt):
    """The exact rational n / d (d > 0) rounded once into fmt; a result too small keeps the sign of n."""
    if n == 0:
        return 0.0
    m = abs(n)
    e = m.bit_length() - d.bit_length()  # now 2**(e - 1) < m / d < 2**(e + 1)
    if (m << -e if e < 0 else m) < (d << e if e > 0 else d):
        e -= 1
    k = max(e - fmt.bits + 1, fmt.tiny)  # the exponent of the last significand bit kept
    q, r = divmod(m << -k, d) if k < 0 else divmod(m, d << k)
    if 2 * r > (d << k if k > 0 else d) or 2 * r == (d << k if k > 0 else d) and q & 1:
        q += 1
    v = INF if q.bit_length() + k > fmt.over else math.ldexp(q, k)  # q * 2**k, exact
    return -v if n < 0 else v


def round_to(q, fmt):
    q = Fraction(q)
    return round_ratio(q.numerator, q.denominator, fmt)


def narrow(x, fmt=F32):
    """A double stored into fmt."""
    return x if x != x or x == 0 or math.isinf(x) else round_ratio(*x.as_integer_ratio(), fmt)


def add(a, b, fmt):
    if a != a or b != b:
        return NAN
    if math.isinf(a) or math.isinf(b):
        if math.isinf(a) and math.isinf(b) and a != b:
            return NAN
        return a if math.isinf(a) else b
    (na, da), (nb, db) = a.as_integer_ratio(), b.as_integer_ratio()
    n = na * db + nb * da
    if n == 0:  # an exact zero sum is -0 only when both addends are -0
        return a if a == 0 and b == 0 and sign(a) == sign(b) else 0.0
    return round_ratio(n, da * db, fmt)


def sub(a, b, fmt):
    return add(a, -b, fmt)


def mul(a, b, fmt):
    if a != a or b != b:
        return NAN
    s = sign(a) * sign(b)
    if math.isinf(a) or math.isinf(b):
        return NAN if a == 0 or b == 0 else math.copysign(INF, s)
    (na, da), (nb, db) = a.as_integer_ratio(), b.as_integer_ratio()
    return math.copysign(0.0, s) if na * nb == 0 else round_ratio(na * nb, da * db, fmt)


def div(a, b, fmt):
    if a != a or b != b:
        return NAN
    s = sign(a) * sign(b)
    if math.isinf(a):
        return NAN if math.isinf(b) else math.copysign(INF, s)
    if math.isinf(b):
        return math.copysign(0.0, s)
    if b == 0:
        return NAN if a == 0 else math.copysign(INF, s)
    if a == 0:
        return math.copysign(0.0, s)
    (na, da), (nb, db) = a.as_integer_ratio(), b.as_integer_ratio()
    return round_ratio(na * db * (1 if nb > 0 else -1), da * abs(nb), fmt)


def fma(a, b, c, fmt):
    """a * b + c with one rounding."""
    if a != a or b != b or c != c:
        return NAN
    s = sign(a) * sign(b)
    if math.isinf(a) or math.isinf(b):
        if a == 0 or b == 0:
            return NAN
        product = math.copysign(INF, s)
        return NAN if math.isinf(c) and c != product else product
    if math.isinf(c):
        return c
    (na, da), (nb, db), (nc, dc) = a.as_integer_ratio(), b.as_integer_ratio(), c.as_integer_ratio()
    n = na * nb * dc + nc * da * db
    if n == 0:  # as for add: -0 only when the exact product and c are both -0
        return math.copysign(0.0, s) if (a == 0 or b == 0) and c == 0 and s == sign(c) else 0.0
    return round_ratio(n, da * db * dc, fmt)


def sqrt(a, fmt=F64):
    """The correctly rounded square root, from an integer square root with a sticky bit."""
    if a != a or a < 0:
        return NAN
    if a == 0 or math.isinf(a):
        return a
    q = Fraction(a)
    e = q.numerator.bit_length() - q.denominator.bit_length()
    k = fmt.bits + 4 - e // 2  # sqrt(q * 4**k) has at least bits + 3 integer bits
    scaled = q * Fraction(4) ** k
    r = math.isqrt(scaled.numerator // scaled.denominator)
    sticky = Fraction(r * r) != scaled
    # r + 1/2 stands for any value strictly between r and r + 1: no rounding boundary lies there
    return round_to(Fraction(2 * r + sticky, 2) / Fraction(2) ** k, fmt)


def floor(x):
    """C floor: keeps infinities, NaN and the sign of zero; (-1, 0) gives -1."""
    return x if x != x or x == 0 or math.isinf(x) else float(math.floor(Fraction(x)))


def round_half_away(x):
    """C round: halves away from zero, the sign kept (round(-0.3) is -0.0)."""
    if x != x or x == 0 or math.isinf(x):
        return x
    return math.copysign(float(math.floor(abs(Fraction(x)) + Fraction(1, 2))), x)


def to_double(x):
    """The interpreter's float conversion of an int or float; an int that would round to infinity is refused."""
    if isinstance(x, float):
        return float(x)
    d = round_to(Fraction(int(x)), F64)
    if math.isinf(d):
        raise OverflowError("int too large to convert to float")
    return d


def to_int32(x):
    """The C int conversion: ints as they are, anything else truncated by int(); beyond 32 bits refused."""
    if isinstance(x, float):
        if x != x:
            raise ValueError("cannot convert float NaN to integer")
        if math.isinf(x):
            raise OverflowError("cannot convert float infinity to integer")
    t = int(x) if isinstance(x, int) else math.trunc(Fraction(x))
    if not -2 ** 31 <= t < 2 ** 31:
        raise OverflowError("value out of 32-bit range")
    return t


class Obj(NamedTuple):
    """An expected object: its type's name and its components (vectors, Rect) or channels (Color)."""

    name: str
    values: tuple


# --- vectors -------------------------------------------------------------------------------------------------

class Vec(NamedTuple):
    name: str
    n: int
    fmt: Format  # storage precision

    def store(self, d):
        return narrow(d, self.fmt)

    def obj(self, comps):
        return Obj(self.name, tuple(comps))

    def each(self, f, *vs):
        return self.obj(map(f, *vs))

    # vector op vector: in storage precision
    def add(self, a, b):
        return self.each(lambda x, y: add(x, y, self.fmt), a, b)

    def sub(self, a, b):
        return self.each(lambda x, y: sub(x, y, self.fmt), a, b)

    def mul(self, a, b):
        return self.each(lambda x, y: mul(x, y, self.fmt), a, b)

    def truediv(self, a, b):
        return self.each(lambda x, y: div(x, y, self.fmt), a, b)

    def floordiv(self, a, b):
        return self.each(lambda x, y: floor(div(x, y, self.fmt)), a, b)

    # vector op number: the number as a double, the operation in double, the result stored
    def mul_scalar(self, a, s):
        s = to_double(s)
        return self.each(lambda x: self.store(mul(x, s, F64)), a)

    def truediv_scalar(self, a, s):
        s = to_double(s)
        return self.each(lambda x: self.store(div(x, s, F64)), a)

    def floordiv_scalar(self, a, s):
        s = to_double(s)
        return self.each(lambda x: self.store(floor(div(x, s, F64))), a)

    # one vector
    def neg(self, a):
        return self.each(lambda x: -x, a)

    def abs(self, a):
        return self.each(abs, a)

    def round(self, a):
        return self.each(lambda x: self.store(round_half_away(x)), a)

    def int_tuple(self, a):
        return tuple(map(to_int32, a))

    def rounded_tuple(self, a):
        return tuple(to_int32(round_half_away(x)) for x in a)

    def length_squared(self, a):
        """x * x rounded, then each further square added with one fused step, in storage precision."""
        s = mul(a[0], a[0], self.fmt)
        for x in a[1:]:
            s = fma(x, x, s, self.fmt)
        return s

    def length(self, a):
        return sqrt(self.length_squared(a))

    def normalized(self, a):
        n = self.length(a)
        if n == 0:  # a NaN length is divided by
            return self.obj([0.0] * self.n)
        return self.each(lambda x: self.store(div(x, n, F64)), a)

    def dot(self, a, b):
        p = mul(b[0], a[0], self.fmt)
        for x, y in zip(a[1:], b[1:]):
            p = fma(x, y, p, self.fmt)
        return p

    def distance_squared(self, a, b):
        """Differences in storage precision, their squares summed in double."""
        d = [sub(x, y, self.fmt) for x, y in zip(a, b)]
        s = mul(d[0], d[0], F64)
        for x in d[1:]:
            s = fma(x, x, s, F64)
        return s

    def distance(self, a, b):
        return sqrt(self.distance_squared(a, b))

    def cross(self, a, b):
        (x, y, z), (ox, oy, oz) = a, b

        def fms(p, q, r, s):  # p * q - (r * s rounded), one rounding
            return fma(p, q, -mul(r, s, F32), F32)

        return self.obj([fms(y, oz, z, oy), fms(ox, z, oz, x), fms(oy, x, y, ox)])

    def eq(self, a, b):
        return all(x == y for x, y in zip(a, b))

    # The toolbox: computed in double from the stored components, each result component stored once.
    def wide_dot(self, a, b):
        s = mul(a[0], b[0], F64)
        for x, y in zip(a[1:], b[1:]):
            s = fma(x, y, s, F64)
        return s

    def length_squared_wide(self, a):
        return self.wide_dot(a, a)

    def stored(self, comps):
        return self.obj(map(self.store, comps))

    def lerp(self, a, b, t):
        t = to_double(t)
        return self.stored(add(x, mul(sub(y, x, F64), t, F64), F64) for x, y in zip(a, b))

    def min(self, a, b):
        return self.obj(y if y < x else x for x, y in zip(a, b))

    def max(self, a, b):
        return self.obj(y if y > x else x for x, y in zip(a, b))

    def clamped(self, a, low, high):
        return self.min(self.max(a, low).values, high)

    def moved_toward(self, a, b, d):
        d = to_double(d)
        delta = [sub(y, x, F64) for x, y in zip(a, b)]
        distance = sqrt(self.wide_dot(delta, delta))
        if distance <= d or distance == 0:
            return self.obj(b)
        f = div(d, distance, F64)
        return self.stored(add(x, mul(dx, f, F64), F64) for x, dx in zip(a, delta))

    def project(self, a, onto):
        oo = self.wide_dot(onto, onto)
        if oo == 0:
            raise ValueError("cannot project onto a zero vector")
        f = div(self.wide_dot(a, onto), oo, F64)
        return self.stored(mul(y, f, F64) for y in onto)

    def reflected(self, a, normal):
        nn = self.wide_dot(normal, normal)
        if nn == 0:
            raise ValueError("cannot reflect off a zero normal")
        f = div(mul(2.0, self.wide_dot(a, normal), F64), nn, F64)
        return self.stored(sub(x, mul(f, y, F64), F64) for x, y in zip(a, normal))

    def scaled_to_length(self, a, length):
        length = to_double(length)
        current = sqrt(self.wide_dot(a, a))
        if current == 0:
            raise ValueError("cannot scale a zero vector to a length")
        f = div(length, current, F64)
        return self.stored(mul(x, f, F64) for x in a)

    def clamped_length(self, a, low, high):
        low, high = to_double(low), to_double(high)
        if not (low >= 0 and high >= low):
            raise ValueError("the length range must satisfy 0 <= min_length <= max_length")
        current = sqrt(self.wide_dot(a, a))
        if current > high:
            return self.scaled_to_length(a, high)
        if current < low:
            return self.scaled_to_length(a, low)
        return self.obj(a)


VECTOR2, VECTOR3, VECTOR4 = Vec("Vector2", 2, F32), Vec("Vector3", 3, F32), Vec("Vector4", 4, F64)


# --- Color ---------------------------------------------------------------------------------------------------

ONE_255TH = 0.00392156862745098  # the double nearest 1/255


def channel(x):
    """The C int conversion, then saturation to 0..255."""
    return min(max(to_int32(x), 0), 255)


def tint(c, t):
    return Obj("Color", tuple(a * b // 255 for a, b in zip(c, t)))


def fade(c, alpha):
    a = narrow(to_double(alpha))
    a = 0.0 if a != a or a < 0 else min(a, 1.0)
    return Obj("Color", (*c[:3], math.trunc(mul(a, 255.0, F32))))


def normalize(c):
    return Obj("Vector4", tuple(mul(float(v), ONE_255TH, F64) for v in c))


def from_normalized(v):
    """255 * component in double, truncated, saturated (NaN gives 0)."""
    out = []
    for x in v:
        p = mul(255.0, x, F64)
        out.append(0 if p != p else 255 if p > 255 else 0 if p < 0 else math.trunc(p))
    return Obj("Color", tuple(out))


def to_int(c):
    r, g, b, a = c
    packed = r << 24 | g << 16 | b << 8 | a
    return packed - (packed >> 31 << 32)


# --- Rect ----------------------------------------------------------------------------------------------------

def right(r):
    return add(r[0], r[2], F32)


def bottom(r):
    return add(r[1], r[3], F32)


def center(r):
    """x + width * 0.5 and y + height * 0.5, each one fused single-precision step."""
    return fma(r[2], 0.5, r[0], F32), fma(r[3], 0.5, r[1], F32)


def moved(r, edge, v):
    """The fields after setting a position property to the number v: v minus the width, height or their
    single-precision half, subtracted in double and stored."""
    x, y, w, h = r
    offset, axis = {"right": (w, 0), "bottom": (h, 1), "centerx": (mul(w, 0.5, F32), 0),
                    "centery": (mul(h, 0.5, F32), 1)}[edge]
    new = list(r)
    new[axis] = narrow(sub(to_double(v), offset, F64))
    return tuple(new)


def collide_point(r, px, py):
    """Inclusive; the point in double, the far edges single-precision sums."""
    return r[0] <= px <= right(r) and r[1] <= py <= bottom(r)


def collide_rect(r, o, fmt):
    """Strict; the other's far edges are sums in fmt (double for the generic test, single for Rect-Rect)."""
    ox, oy, ow, oh = o
    return add(ox, ow, fmt) > r[0] and ox < right(r) and add(oy, oh, fmt) > r[1] and oy < bottom(r)


# The derived rectangles: computed in double from the stored fields (and the arguments as doubles), each field
# of the result stored once.
def rect_of(*fields):
    return Obj("Rect", tuple(map(narrow, fields)))


def rect_moved(r, dx, dy):
    return rect_of(add(r[0], to_double(dx), F64), add(r[1], to_double(dy), F64), r[2], r[3])


def rect_inflated(r, dw, dh):
    dw, dh = to_double(dw), to_double(dh)
    return rect_of(sub(r[0], mul(dw, 0.5, F64), F64), sub(r[1], mul(dh, 0.5, F64), F64), add(r[2], dw, F64),
                   add(r[3], dh, F64))


def rect_union(r, o):
    """The bounds of o, then r: the lesser near edge unless r's is not smaller, the greater far edge likewise."""
    x0, y0 = (r[i] if r[i] < o[i] else o[i] for i in (0, 1))
    x1, y1 = (add(o[i], o[i + 2], F64) for i in (0, 1))
    x1, y1 = (e if e > f else f for e, f in ((add(r[0], r[2], F64), x1), (add(r[1], r[3], F64), y1)))
    return rect_of(x0, y0, sub(x1, x0, F64), sub(y1, y0, F64))


def clip_axis(p, s, q, t):
    """The overlap of [p, p + s) and [q, q + t) as (start, size), or None."""
    pe, qe = add(p, s, F64), add(q, t, F64)
    start = p if q <= p < qe else q if p <= q < pe else None
    if start is None:
        return None
    end = pe if q < pe <= qe else qe if p < qe <= pe else None
    return None if end is None else (start, sub(end, start, F64))


def rect_clipped(r, o):
    """The overlap, or a zero-size rectangle at r's position; sizes that are not positive overlap nothing."""
    ax, ay = clip_axis(r[0], r[2], o[0], o[2]), clip_axis(r[1], r[3], o[1], o[3])
    if not (min(r[2], r[3], o[2], o[3]) > 0 and ax and ay):
        return rect_of(r[0], r[1], 0.0, 0.0)
    return rect_of(ax[0], ay[0], ax[1], ay[1])
