# cython: language_level=3
# The client keeps no state that threads could change, so it does not ask free-threaded Python for
# the GIL (vantor's own modules declare what they need themselves).
# cython: freethreading_compatible=True
"""A Cython client of vantor: cimports the types and the parser functions from the .pxd files
installed with the package and calls their operation tables directly, with no Python method call
in between. Each function returns what it computed for check.py to compare."""

from vantor.color.color cimport Color
from vantor.image.image cimport Image
from vantor.parser.parser cimport parse_color_like, parse_rect_like, parse_vector2_like
from vantor.raylib cimport RlColor, RlGlyphInfo, RlImage, RlRectangle, RlVector2
from vantor.rect.rect cimport Rect
from vantor.runecell.runecell cimport GlyphInfo
from vantor.vector2.vector2 cimport Vector2
from vantor.vector3.vector3 cimport Vector3
from vantor.vector4.vector4 cimport Vector4


# ---- Vector2 -------------------------------------------------------------------------------------

def vector2_constructors():
    """Every constructor of the table. The record is float32: 0.1 is stored as 0.1f."""
    cdef RlVector2 raw = RlVector2(x=0.5, y=-2.5)
    cdef Vector2 a = Vector2.new(0.1, 2.0)
    return {
        "new": a,
        "new x": a.data.x,  # the record itself, read without a Python call
        "cfrom_struct": Vector2.cfrom_struct(raw),
        "cfrom_list": Vector2.cfrom_list([3, 4.5, "ignored"]),
        "cfrom_ints": Vector2.cfrom_ints(7, -8),
        "cfrom_floats": Vector2.cfrom_floats(0.25, 1e-3),
        "cfrom_tuple": Vector2.cfrom_tuple((5, 6)),
        "cfrom_vector2": Vector2.cfrom_vector2(a),
        "cfrom_xy": Vector2.cfrom_xy(16777217.0, -0.5),  # 2**24 + 1 has no float32: 2**24
    }


def vector2_from_tuple(tuple t):
    """cfrom_tuple raises IndexError for fewer than two items; Cython propagates it."""
    return Vector2.cfrom_tuple(t)


def vector2_arithmetic(Vector2 a, Vector2 b):
    """The binary entries; the in-place ones work on copies, so a and b stay as they are."""
    cdef Vector2 c = a.copy()
    out = {"_add": a._add(b), "_sub": a._sub(b)}
    c._iadd(b)
    out["_iadd"] = c.copy()
    c._isub(b)
    out["_isub"] = c.copy()
    c._imul(b)
    out["_imul"] = c.copy()
    c._sadd(b, b)
    out["_sadd"] = c.copy()
    c.sadd(a, b)
    out["sadd"] = c.copy()
    out["distance_to"] = a.distance_to(b)
    out["distance_squared_to"] = a.distance_squared_to(b)
    out["dot"] = a.dot(b)
    return out


def vector2_unary(Vector2 v):
    """The entries without an argument. to_* change the vector and return the same object, so
    each works on its own copy; get_* leave the vector alone and return a new one."""
    cdef Vector2 w
    out = {
        "get_tuple": v.get_tuple(),
        "c_get_tuple": v.c_get_tuple(),
        "get_int_tuple": v.get_int_tuple(),
        "get_rounded_tuple": v.get_rounded_tuple(),
        "get_round": v.get_round(),
        "get_abs": v.get_abs(),
        "get_neg": v.get_neg(),
        "get_normalized": v.get_normalized(),
    }
    w = v.copy()
    out["copy is new"] = w is not v
    out["to_round"] = (w.to_round() is w, w.copy())
    w = v.copy()
    out["to_abs"] = (w.to_abs() is w, w.copy())
    w = v.copy()
    out["to_neg"] = (w.to_neg() is w, w.copy())
    w = v.copy()
    out["to_normalized"] = (w.to_normalized() is w, w.copy())
    return out


def vector2_move(Vector2 v, double dx):
    """Writes the record directly: v.data is the raylib Vector2 inside the object."""
    v.data.x += dx
    return v


# ---- Vector3 and Vector4 -------------------------------------------------------------------------

def vector3_cross(tuple a, tuple b):
    """Two vectors from tuples, their sum and their cross product (the table's last entry)."""
    cdef Vector3 u = Vector3.cfrom_tuple(a)
    cdef Vector3 w = Vector3.cfrom_tuple(b)
    cdef Vector3 s = Vector3.new(0, 0, 0)
    s.sadd(u, w)
    return u._add(w), s, u.cross(w), u.dot(w)


def vector4_record(double x, double y, double z, double w):
    """Vector4 stores doubles: its record keeps x exactly as given."""
    cdef Vector4 q = Vector4.new(x, y, z, w)
    q._iadd(Vector4.cfrom_ints(1, 1, 1, 1))
    return q.data.x, q.dot(q), q.get_tuple()


# ---- Color ---------------------------------------------------------------------------------------

def color_entries(int r, int g, int b, int a, Color tint):
    """Every entry of the colour table, on a colour made from four C ints (saturated)."""
    cdef Color c = Color.new(r, g, b, a)
    out = {
        "new": c,
        "channels": (c._raw.r, c._raw.g, c._raw.b, c._raw.a),
        "c_equal self": c.c_equal(Color.new(r, g, b, a)),
        "c_equal tint": c.c_equal(tint),
        "c_normalize": c.c_normalize(),
        "c_tint": c.c_tint(tint),
        "to_int": c.to_int(),
    }
    cdef Color faded = Color.new(r, g, b, a)
    faded.fade(0.5)
    out["fade"] = faded
    return out


def color_to_int(Color c):
    """to_int on any Color: on a Python subclass that overrides to_int, the override runs, and an
    exception it raises comes out here."""
    return c.to_int()


def color_fade(Color c, float alpha):
    c.fade(alpha)
    return c


# ---- Rect ----------------------------------------------------------------------------------------

def rect_entries(float x, float y, float width, float height):
    """Every entry of the rectangle table. Points on an edge are inside; rectangles that only touch
    do not collide."""
    cdef Rect r = Rect.new(RlRectangle(x, y, width, height))
    return {
        "new": r,
        "record": r._raw,  # a struct converts to a dict
        "get_width": r.get_width(),
        "get_height": r.get_height(),
        "collide_point": r.collide_point((x + width, y + height)),
        "collide_point_vector2": r.collide_point_vector2(Vector2.new(x - 1, y)),
        "collide_point_tuple": r.collide_point_tuple((x, y)),
        "collide_point_list": r.collide_point_list([x, y + height + 1]),
        "collide_rect": r.collide_rect(Rect.new(RlRectangle(x + width, y, 5, 5))),
        "collide_rect_vector4": r.collide_rect_vector4(Vector4.new(x + 1, y + 1, 1, 1)),
        "collide_rect_rect": r.collide_rect_rect(r),
        "collide_rect_tuple": r.collide_rect_tuple((x - 1, y - 1, 2, 2)),
        "collide_rect_list": r.collide_rect_list([x - 5, y - 5, 5, 5]),
        "get_vector4": r.get_vector4(),
        "get_tuple": r.get_tuple(),
    }


def rect_collide_point(Rect r, point):
    """collide_point on any Rect and any argument: a wrong argument, or an override that raises,
    comes out here as the exception (the entry's 0 with an exception set)."""
    return r.collide_point(point)


def rect_width(Rect r):
    return r.get_width()


# ---- parser --------------------------------------------------------------------------------------

def parse(vector2_like, color_like, rect_like):
    """The three parser functions, bound through vantor.parser.parser's __pyx_capi__. Their raylib
    structs come back to Python as dicts; an argument they reject raises here."""
    cdef RlVector2 v = parse_vector2_like(vector2_like)
    cdef RlColor c = parse_color_like(color_like)
    cdef RlRectangle r = parse_rect_like(rect_like)
    return v, c, r


def alpha_of(color_like):
    """A parser's struct used in C: the alpha channel of any colour-like argument."""
    return parse_color_like(color_like).a


# ---- Image and GlyphInfo -------------------------------------------------------------------------

# The pixels an Image points to belong to its maker and must outlive it: a module-level array
# lives as long as the process.
cdef unsigned char glyph_pixels[4]


def glyph(int value, int width):
    """A GlyphInfo over a 2x2 grayscale bitmap (raylib's pixel format 1), and an Image made
    directly, once with the optional flag and once without."""
    # &glyph_pixels[0], not glyph_pixels: given an array, Cython's struct literal would copy the
    # array into the (unset) pointer instead of storing its address.
    cdef RlImage bitmap = RlImage(data=&glyph_pixels[0], width=width, height=2, mipmaps=1, format=1)
    cdef RlGlyphInfo raw = RlGlyphInfo(value=value, offsetX=1, offsetY=-2, advanceX=3, image=bitmap)
    cdef GlyphInfo g = GlyphInfo.new(raw)
    cdef Image flagged = Image.new(bitmap, 1)
    cdef Image plain = Image.new(bitmap)
    return {
        "glyph": g,
        "value": g._raw.value,
        "advanceX": g._raw.advanceX,
        "image": g.image,
        "pixels kept": g.image._raw.data == &glyph_pixels[0],
        "flags": (g.image.flag, flagged.flag, plain.flag),
    }
