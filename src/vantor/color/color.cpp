// vantor.color.color: the RGBA8 colour. Every channel write saturates to 0..255; equality, tint,
// packing, HSV, interpolation, blending, brightness and contrast are raylib's own functions.
#include "color.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <utility>

#include "frame/declare.hpp"
#include "frame/function.hpp"
#include "frame/like.hpp"
#include "frame/module.hpp"
#include "frame/record.hpp"
#include "vector3/vector3.h"
#include "vector4/vector4.h"

namespace {

using namespace vantor::frame;

constexpr ModuleInfo info{"color", "vantor.color.color", "src/vantor/color/color.cpp", "vantor.color.color.Color"};

using Obj = VantorColorObject;

extern PyTypeObject color_type;
VantorColorVTable table;
PyTypeObject* vector3_type = nullptr;
VantorVector3VTable* vector3_table = nullptr;
PyTypeObject* vector4_type = nullptr;
VantorVector4VTable* vector4_table = nullptr;

// ---- channel arithmetic -----------------------------------------------------------------------

unsigned char saturate(int v) noexcept { return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v); }

// 255 * fraction truncated toward zero to 32 bits; NaN and values beyond the range saturate
// (NaN to 0), so they end as 0 or 255 once the channel saturates.
int scaled_fraction(double fraction) noexcept {
    const double p = 255.0 * fraction;
    if (std::isnan(p)) return 0;
    if (p >= 2147483647.0) return INT32_MAX;
    if (p <= -2147483648.0) return INT32_MIN;
    return static_cast<int>(p);
}

// alpha clamped to [0, 1] (NaN to 0), times 255 in single precision, truncated.
unsigned char faded_alpha(float alpha) noexcept {
    if (!(alpha >= 0.0f)) alpha = 0.0f;
    if (alpha > 1.0f) alpha = 1.0f;
    return static_cast<unsigned char>(static_cast<int>(alpha * 255.0f));
}

// The C int conversion, then saturation.
bool to_channel(PyObject* o, unsigned char& out) noexcept {
    int v;
    if (!to_int(o, v)) return false;
    out = saturate(v);
    return true;
}

Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }
bool is_color(PyObject* o) noexcept { return PyObject_TypeCheck(o, &color_type); }

// The channels r, g, b, a; every access goes through the record layer.
struct Layout {
    using Object = Obj;
    using Record = Color;
    using Scalar = unsigned char;
    static constexpr int N = 4;
    static constexpr Color Obj::*record = &Obj::_raw;
    static constexpr unsigned char Color::*members[N] = {&Color::r, &Color::g, &Color::b, &Color::a};
};
using Record = Fields<Layout>;
unsigned char get_channel_value(Obj* o, int i) noexcept { return Record::get(o, i); }
void set_channel_value(Obj* o, int i, unsigned char v) noexcept { Record::set(o, i, v); }
Color load(Obj* o) noexcept { return Record::load_record(o); }
void store(Obj* o, Color c) noexcept { Record::store_record(o, c); }

// ---- table entries ----------------------------------------------------------------------------

PyObject* new_(int r, int g, int b, int a) noexcept {
    Obj* o = Record::alloc<&table>(&color_type);
    if (!o) return fail("new");
    store(o, Color{saturate(r), saturate(g), saturate(b), saturate(a)});
    return reinterpret_cast<PyObject*>(o);
}

int c_equal(Obj* self, Obj* other) noexcept { return ColorIsEqual(load(self), load(other)) ? 1 : 0; }

// Channels times the double nearest 1/255 (a product, not a quotient: they differ in the last
// bit for some channels), as a Vector4.
PyObject* c_normalize(Obj* self) noexcept {
    constexpr double k = 0.00392156862745098;
    const Color c = load(self);
    PyObject* v = vector4_table->new_(c.r * k, c.g * k, c.b * k, c.a * k);
    return v ? v : fail("c_normalize");
}

PyObject* c_tint(Obj* self, Obj* tint) noexcept {
    const Color c = ColorTint(load(self), load(tint));
    PyObject* r = new_(c.r, c.g, c.b, c.a);
    return r ? r : fail("c_tint");
}

void fade(Obj* self, float alpha, int flag) noexcept {
    PyObject* o = reinterpret_cast<PyObject*>(self);
    if (!flag && may_be_overridden(o)) {
        Ref method(find_override(o, &color_type, "fade"));
        if (method || PyErr_Occurred()) {
            Ref arg(method ? PyFloat_FromDouble(alpha) : nullptr);
            Ref result(arg ? PyObject_CallOneArg(method.get(), arg.get()) : nullptr);
            if (!result) add_traceback("fade");
            return;
        }
    }
    set_channel_value(self, 3, faded_alpha(alpha));
}

int pack(Obj* self, int flag) noexcept {
    PyObject* o = reinterpret_cast<PyObject*>(self);
    if (!flag && may_be_overridden(o)) {
        Ref method(find_override(o, &color_type, "to_int"));
        if (method || PyErr_Occurred()) {
            Ref result(method ? PyObject_CallNoArgs(method.get()) : nullptr);
            int v = 0;
            if (!result || !to_int(result.get(), v)) {
                add_traceback("to_int");
                return 0;
            }
            return v;
        }
    }
    return ColorToInt(load(self));
}

// ---- Python methods ---------------------------------------------------------------------------

// Declared once: the docstrings, the keyword binding, the stub and the return annotations (which
// only tint, normalize and equal carry) follow.
constexpr Method m_from_normalized{
    .name = "from_normalized",
    .result = "Color",
    .doc = "A new Color from a Vector4 of channel fractions (x, y, z, w for r, g, b, a): each is 255 * fraction "
           "truncated toward zero, then saturated to 0..255 (0.5 gives 127).",
    .params = {{{"vector", "Vector4"}}},
    .is_static = true,
};
constexpr Method m_tint{
    .name = "tint",
    .result = "Color",
    .doc = "A new Color, each channel self * tint / 255 rounded down (raylib's ColorTint); neither colour changes.",
    .params = {{{"tint", "Color"}}},
    .annotated = true,
};
constexpr Method m_normalize{
    .name = "normalize",
    .result = "Vector4",
    .doc = "A new Vector4 of the channels as fractions of 255 (float64), in the order r, g, b, a.",
    .annotated = true,
};
constexpr Method m_equal{
    .name = "equal",
    .result = "bool",
    .doc = "Whether all four channels equal those of the Color other.",
    .params = {{{"other", "Color"}}},
    .annotated = true,
};
constexpr Method m_fade{"fade", "None",
                        "Sets a, in place, from the fraction alpha: clamped to 0..1 (NaN to 0), times 255 in float32, "
                        "truncated. Returns None.",
                        {{{"alpha", "SupportsFloat | SupportsIndex"}}}};
constexpr Method m_to_int{"to_int", "int",
                          "The channels packed as 0xRRGGBBAA, read as a signed 32-bit int (raylib's ColorToInt): red "
                          "of 128 or more gives a negative number."};

// The new colour members: each a raylib function on the loaded channels, a new Color.
// A colour argument's stub type, an alias the stub defines: Color, or a sequence of channels.
constexpr char color_like[] = "_ColorLike";
constexpr Method m_to_hsv{"to_hsv", "Vector3",
                          "A new Vector3 (hue in degrees 0..360, saturation 0..1, value 0..1), in float32 (raylib's "
                          "ColorToHSV); grey, black and white have hue 0. The colour does not change."};
constexpr Method m_from_hsv{
    .name = "from_hsv",
    .result = "Color",
    .doc = "A new opaque Color from hue in degrees (0 or more; 360 and beyond wrap round), saturation and value "
           "(0..1 each), converted to float32 (raylib's ColorFromHSV: channels truncated). ValueError for a "
           "negative or non-finite hue, or a saturation or value outside 0..1.",
    .params = {{{"hue", "SupportsFloat | SupportsIndex"},
                {"saturation", "SupportsFloat | SupportsIndex"},
                {"value", "SupportsFloat | SupportsIndex"}}},
    .is_static = true,
};
constexpr Method m_lerp{"lerp", "Color",
                        "A new Color between this colour (t = 0) and other (t = 1), t clamped to 0..1 and converted "
                        "to float32: each channel (1 - t) * self + t * other in float32, truncated (raylib's "
                        "ColorLerp). other is a Color or a sequence of 3 or 4 ints. ValueError for a NaN t.",
                        {{{"other", color_like}, {"t", "SupportsFloat | SupportsIndex"}}}};
constexpr Method m_alpha_blend{"alpha_blend", "Color",
                               "A new Color: src, tinted by tint, blended over this colour by src's alpha in "
                               "integer steps (raylib's ColorAlphaBlend, this colour the destination), except "
                               "that a channel raylib would wrap past 255 saturates at 255. src and tint are each "
                               "a Color or a sequence of 3 or 4 ints.",
                               {{{"src", color_like}, {"tint", color_like}}}};
constexpr Method m_brightness{"brightness", "Color",
                              "A new Color, r, g and b moved toward black (factor < 0) or white (factor > 0), "
                              "factor clamped to -1..1 and converted to float32, channels truncated (raylib's "
                              "ColorBrightness); alpha is kept. ValueError for a NaN factor.",
                              {{{"factor", "SupportsFloat | SupportsIndex"}}}};
constexpr Method m_contrast{"contrast", "Color",
                            "A new Color, r, g and b spread from (amount > 0) or drawn toward (amount < 0) the "
                            "middle grey, amount clamped to -1..1 and converted to float32, channels clamped to "
                            "0..255 and truncated (raylib's ColorContrast); alpha is kept. ValueError for a NaN "
                            "amount.",
                            {{{"amount", "SupportsFloat | SupportsIndex"}}}};
constexpr Method m_from_hex{"from_hex", "Color",
                            "A new Color from text '#rrggbb' or '#rrggbbaa' ('0x' or '0X' may stand for '#'; "
                            "digits in either case); rrggbb means alpha 255. ValueError for any other text.",
                            {{{"text", "str"}}},
                            true};
constexpr Method m_from_int{"from_int", "Color",
                            "A new Color from 0xRRGGBBAA, the inverse of to_int (raylib's GetColor): value is a "
                            "signed or unsigned 32-bit int, -2**31..2**32-1 (OverflowError outside).",
                            {{{"value", "SupportsIndex"}}},
                            true};
constexpr Property p_hex{"hex", "str", "The channels as text '#rrggbbaa', in lower case (read-only)."};

PyObject* py_from_normalized(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    const char* fn = m_from_normalized.name;
    PyObject* v;
    if (!bind_params<m_from_normalized>(args, nargs, kwnames, &v) ||
        !check_arg_type(v, vector4_type, "vector"))
        return fail(fn);
    const VantorVector4Data& d = reinterpret_cast<VantorVector4Object*>(v)->data;
    PyObject* r = new_(scaled_fraction(relaxed_load(d.x)), scaled_fraction(relaxed_load(d.y)),
                       scaled_fraction(relaxed_load(d.z)), scaled_fraction(relaxed_load(d.w)));
    return r ? r : fail(fn);
}

PyObject* py_tint(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* t;
    if (!bind_params<m_tint>(args, nargs, kwnames, &t) || !check_arg_type(t, &color_type, "tint"))
        return fail("tint");
    PyObject* r = c_tint(as(self), as(t));
    return r ? r : fail("tint");
}

PyObject* py_normalize(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    if (!bind_none("normalize", nargs, kwnames)) return fail("normalize");
    PyObject* r = c_normalize(as(self));
    return r ? r : fail("normalize");
}

PyObject* py_equal(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* other;
    if (!bind_params<m_equal>(args, nargs, kwnames, &other) ||
        !check_arg_type(other, &color_type, "other"))
        return fail("equal");
    return PyBool_FromLong(c_equal(as(self), as(other)));
}

PyObject* py_fade(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* alpha;
    float a;
    if (!bind_params<m_fade>(args, nargs, kwnames, &alpha) || !to_float(alpha, a))
        return fail("fade");
    fade(as(self), a, 1);
    Py_RETURN_NONE;
}

PyObject* py_to_int(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    if (!bind_none("to_int", nargs, kwnames)) return fail("to_int");
    return PyLong_FromLong(pack(as(self), 1));
}

// ---- the colour members: argument reading, then raylib ----------------------------------------

// A colour argument: a Color (or a subclass instance), or a sequence of 3 or 4 items read as the
// color-like parser reads one (the C int conversion, clamped to 0..255; 3 items mean alpha 255),
// with its messages.
bool color_arg(PyObject* o, Color& out) noexcept {
    if (is_color(o)) [[likely]] {
        out = load(as(o));
        return true;
    }
    int v[4] = {0, 0, 0, 255};
    Py_ssize_t len;
    if (!parse_like_items(o, color_kind, v, len)) return false;
    out = Color{saturate(v[0]), saturate(v[1]), saturate(v[2]), saturate(v[3])};
    return true;
}

// A float32 argument raylib's formula cannot take as NaN (it would convert NaN to a channel).
bool number_arg(PyObject* o, const char* param, float& out) noexcept {
    if (!to_float(o, out)) return false;
    if (!std::isnan(out)) return true;
    PyErr_Format(PyExc_ValueError, "%.200s must not be NaN", param);
    return false;
}

PyObject* new_color(Color c) noexcept { return new_(c.r, c.g, c.b, c.a); }

PyObject* py_to_hsv(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    if (!bind_none("to_hsv", nargs, kwnames)) return fail("to_hsv");
    const Vector3 hsv = ColorToHSV(load(as(self)));
    PyObject* r = vector3_table->new_(hsv.x, hsv.y, hsv.z);
    return r ? r : fail("to_hsv");
}

// raylib's formula converts out-of-range products straight to channels: only hues from 0 up (it
// wraps those) and saturations and values within 0..1 give colours.
PyObject* py_from_hsv(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    const char* fn = m_from_hsv.name;
    PyObject* a[3];
    float h, s, v;
    if (!bind_params<m_from_hsv>(args, nargs, kwnames, a) || !to_float(a[0], h) || !to_float(a[1], s) ||
        !to_float(a[2], v))
        return fail(fn);
    if (!(h >= 0.0f && std::isfinite(h))) {
        PyErr_SetString(PyExc_ValueError, "hue must be a finite number of degrees, 0 or more");
        return fail(fn);
    }
    if (!(s >= 0.0f && s <= 1.0f) || !(v >= 0.0f && v <= 1.0f)) {
        PyErr_SetString(PyExc_ValueError, s >= 0.0f && s <= 1.0f ? "value must be within 0..1"
                                                                  : "saturation must be within 0..1");
        return fail(fn);
    }
    PyObject* r = new_color(ColorFromHSV(h, s, v));
    return r ? r : fail(fn);
}

PyObject* py_lerp(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* a[2];
    Color other;
    float t;
    if (!bind_params<m_lerp>(args, nargs, kwnames, a) || !color_arg(a[0], other) ||
        !number_arg(a[1], "t", t))
        return fail("lerp");
    PyObject* r = new_color(ColorLerp(load(as(self)), other, t));
    return r ? r : fail("lerp");
}

// raylib's ColorAlphaBlend in its integer steps (src tinted, then laid over dst by src's alpha),
// except at its last step: where raylib's cast to a byte wraps a channel past 255 (white over white
// can come out black), the channel saturates at 255. Every other result is raylib's.
Color alpha_blended(Color dst, Color src, Color tint) noexcept {
    const auto tinted = [](unsigned s, unsigned t) { return static_cast<unsigned char>(s * (t + 1) >> 8); };
    src = {tinted(src.r, tint.r), tinted(src.g, tint.g), tinted(src.b, tint.b), tinted(src.a, tint.a)};
    if (src.a == 0) return dst;
    if (src.a == 255) return src;
    const unsigned alpha = src.a + 1u, out_a = (alpha * 256 + dst.a * (256 - alpha)) >> 8;  // 2..255
    const auto mix = [&](unsigned s, unsigned d) {
        return saturate(static_cast<int>(((s * alpha * 256 + d * dst.a * (256 - alpha)) / out_a) >> 8));
    };
    return {mix(src.r, dst.r), mix(src.g, dst.g), mix(src.b, dst.b), static_cast<unsigned char>(out_a)};
}

PyObject* py_alpha_blend(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* a[2];
    Color src, tint;
    if (!bind_params<m_alpha_blend>(args, nargs, kwnames, a) || !color_arg(a[0], src) ||
        !color_arg(a[1], tint))
        return fail("alpha_blend");
    PyObject* r = new_color(alpha_blended(load(as(self)), src, tint));
    return r ? r : fail("alpha_blend");
}

template <const Method& M, Color (*F)(Color, float)>
PyObject* py_adjust(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* a;
    float k;
    if (!bind_params<M>(args, nargs, kwnames, &a) || !number_arg(a, M.params[0].name, k)) return fail(M.name);
    PyObject* r = new_color(F(load(as(self)), k));
    return r ? r : fail(M.name);
}

int hex_digit(Py_UCS4 ch) noexcept {
    if (ch >= '0' && ch <= '9') return static_cast<int>(ch - '0');
    if (ch >= 'a' && ch <= 'f') return static_cast<int>(ch - 'a' + 10);
    if (ch >= 'A' && ch <= 'F') return static_cast<int>(ch - 'A' + 10);
    return -1;
}

PyObject* py_from_hex(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    const char* fn = m_from_hex.name;
    PyObject* text;
    if (!bind_params<m_from_hex>(args, nargs, kwnames, &text)) return fail(fn);
    if (!PyUnicode_Check(text)) {
        raise_arg_type("text", "str", text);
        return fail(fn);
    }
    const Py_ssize_t n = PyUnicode_GET_LENGTH(text);
    const Py_ssize_t start = n > 0 && PyUnicode_READ_CHAR(text, 0) == '#' ? 1
                             : n > 1 && PyUnicode_READ_CHAR(text, 0) == '0' &&
                                       (PyUnicode_READ_CHAR(text, 1) == 'x' || PyUnicode_READ_CHAR(text, 1) == 'X')
                                 ? 2
                                 : 0;
    const Py_ssize_t digits = n - start;
    int ch[4] = {0, 0, 0, 255};
    bool ok = start && (digits == 6 || digits == 8);
    for (Py_ssize_t i = 0; ok && i < digits; i += 2) {
        const int hi = hex_digit(PyUnicode_READ_CHAR(text, start + i)),
                  lo = hex_digit(PyUnicode_READ_CHAR(text, start + i + 1));
        ok = hi >= 0 && lo >= 0;
        ch[i / 2] = hi * 16 + lo;
    }
    if (!ok) {
        // Short text is quoted whole; long text only counted, so the message never holds a cut quote.
        if (n <= 40)
            PyErr_Format(PyExc_ValueError, "invalid hex colour %R: expected '#rrggbb' or '#rrggbbaa' ('0x' may "
                         "stand for '#')", text);
        else
            PyErr_Format(PyExc_ValueError, "invalid hex colour (a str of %zd characters): expected '#rrggbb' or "
                         "'#rrggbbaa' ('0x' may stand for '#')", n);
        return fail(fn);
    }
    PyObject* r = new_(ch[0], ch[1], ch[2], ch[3]);
    return r ? r : fail(fn);
}

PyObject* py_from_int(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    const char* fn = m_from_int.name;
    PyObject* value;
    if (!bind_params<m_from_int>(args, nargs, kwnames, &value)) return fail(fn);
    Ref index(PyNumber_Index(value));
    if (!index) return fail(fn);
    int overflow;
    const long long v = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (v == -1 && PyErr_Occurred()) return fail(fn);
    if (overflow || v < INT32_MIN || v > UINT32_MAX) {
        PyErr_Format(PyExc_OverflowError, "value %.60R does not fit in 32 bits (-2**31..2**32-1)", index.get());
        return fail(fn);
    }
    PyObject* r = new_color(GetColor(static_cast<unsigned int>(v)));
    return r ? r : fail(fn);
}

PyObject* get_hex(PyObject* self, void*) noexcept {
    const Color c = load(as(self));
    return PyUnicode_FromFormat("#%02x%02x%02x%02x", c.r, c.g, c.b, c.a);
}

// Stored on the type as function objects, in this order.
using Functions = Methods<Def<py_from_normalized, m_from_normalized>, Def<py_tint, m_tint>,
                          Def<py_normalize, m_normalize>, Def<py_equal, m_equal>, Def<py_fade, m_fade>,
                          Def<py_to_int, m_to_int>, Def<py_to_hsv, m_to_hsv>, Def<py_from_hsv, m_from_hsv>,
                          Def<py_lerp, m_lerp>, Def<py_alpha_blend, m_alpha_blend>,
                          Def<py_adjust<m_brightness, ColorBrightness>, m_brightness>,
                          Def<py_adjust<m_contrast, ColorContrast>, m_contrast>, Def<py_from_hex, m_from_hex>,
                          Def<py_from_int, m_from_int>>;
auto functions = Functions::table(refuse_reduce_def<pickling_message_raw, true>(),
                                  refuse_setstate_def<pickling_message_raw, true>());

// ---- construction -----------------------------------------------------------------------------

constexpr const char* init_names[] = {"r", "g", "b", "a"};

// All four channels converted (a defaults to 255) before any is stored.
int init_channels(Obj* self, PyObject* const* bound) noexcept {
    Color c{0, 0, 0, 255};
    unsigned char* dst[] = {&c.r, &c.g, &c.b, &c.a};
    for (int i = 0; i < 4; ++i)
        if (bound[i] && !to_channel(bound[i], *dst[i])) return -1;
    store(self, c);
    return 0;
}

constexpr auto tp_new = Record::tp_new<&table>;

int tp_init(PyObject* self, PyObject* args, PyObject* kwds) noexcept {
    PyObject* bound[4];
    if (!bind_tuple_dict("__init__", args, kwds, init_names, bound, 3) || init_channels(as(self), bound) < 0) {
        add_traceback("__init__");
        return -1;
    }
    return 0;
}

// Color(...) itself: allocate and run the __init__ steps directly (subclasses do not inherit this).
PyObject* tp_vectorcall(PyObject* type, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept {
    PyObject* bound[4];
    if (!bind_args("__init__", args, PyVectorcall_NARGS(nargsf), kwnames, init_names, bound, 3))
        return fail("__init__");
    Ref o(tp_new(reinterpret_cast<PyTypeObject*>(type), nullptr, nullptr));
    if (!o || init_channels(as(o.get()), bound) < 0) return fail("__init__");
    return o.release();
}

// ---- text, comparison, length, channel properties ----------------------------------------------

PyObject* tp_repr(PyObject* self) noexcept {
    const Color c = load(as(self));
    return PyUnicode_FromFormat("Color(%d, %d, %d, %d)", c.r, c.g, c.b, c.a);
}

// == and != with another Color; anything else is left to the interpreter (identity), so colours
// can be searched for in mixed containers. No ordering.
PyObject* tp_richcompare(PyObject* a, PyObject* b, int op) noexcept {
    if ((op != Py_EQ && op != Py_NE) || !is_color(a) || !is_color(b)) Py_RETURN_NOTIMPLEMENTED;
    return PyBool_FromLong(c_equal(as(a), as(b)) == (op == Py_EQ));
}

Py_ssize_t sq_length(PyObject*) noexcept { return 4; }

struct Channel {
    int index;
    const char* name;
};
constexpr Channel channels[] = {{0, "r"},   {1, "g"},     {2, "b"},    {3, "a"},
                                {0, "red"}, {1, "green"}, {2, "blue"}, {3, "alpha"}};

PyObject* get_channel(PyObject* self, void* closure) noexcept {
    return PyLong_FromLong(get_channel_value(as(self), static_cast<const Channel*>(closure)->index));
}
int set_channel(PyObject* self, PyObject* value, void* closure) noexcept {
    const auto* ch = static_cast<const Channel*>(closure);
    if (!value) raise_not_implemented_del();
    unsigned char v;
    if (!value || !to_channel(value, v)) {
        add_setter_traceback(ch->name);
        return -1;
    }
    set_channel_value(as(self), ch->index, v);
    return 0;
}

void* closure_of(int i) noexcept { return const_cast<Channel*>(&channels[i]); }

// Each channel is converted as a C int (int() of a float truncates) and saturates to 0..255.
constexpr auto channel_bodies = [] {
    constexpr const char* what[] = {"red", "green", "blue", "alpha", "red (r)", "green (g)", "blue (b)", "alpha (a)"};
    std::array<DocString<160>, 8> d{};
    for (int i = 0; i < 8; ++i)
        d[i].add("The ").add(what[i]).add(" channel, 0..255. Assigning converts like int() (floats truncate) and "
                                          "saturates: 300 stores 255, -7 stores 0.");
    return d;
}();
constexpr std::array<Property, 8> channel_props = [] {
    std::array<Property, 8> p{};
    for (int i = 0; i < 8; ++i) p[i] = {channels[i].name, "int", channel_bodies[i].s, "SupportsInt"};
    return p;
}();
constexpr auto channel_docs = property_docs(channel_props);
constexpr auto hex_doc = property_doc(p_hex);

PyGetSetDef getsets[] = {
    declared_property(channel_props[0], channel_docs[0], get_channel, set_channel, closure_of(0)),
    declared_property(channel_props[1], channel_docs[1], get_channel, set_channel, closure_of(1)),
    declared_property(channel_props[2], channel_docs[2], get_channel, set_channel, closure_of(2)),
    declared_property(channel_props[3], channel_docs[3], get_channel, set_channel, closure_of(3)),
    declared_property(channel_props[4], channel_docs[4], get_channel, set_channel, closure_of(4)),
    declared_property(channel_props[5], channel_docs[5], get_channel, set_channel, closure_of(5)),
    declared_property(channel_props[6], channel_docs[6], get_channel, set_channel, closure_of(6)),
    declared_property(channel_props[7], channel_docs[7], get_channel, set_channel, closure_of(7)),
    declared_property(p_hex, hex_doc, get_hex),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The stub's lines for the declared members, read from the built module by scripts/gen-stubs.
[[gnu::used]] constexpr auto stub = stub_text<6000>("Color", NoFill{}, Functions{}, channel_props, p_hex);

// ---- iteration: a generator-like object reading each channel when it yields it ----------------

// One iterator may be shared between threads: its step (the colour and the index) is taken and
// advanced under the iterator's critical section, and a colour it lets go of is released only
// after the section ends, so no two threads release it and no thread reads a released one.
struct ChannelIterator {
    PyObject_HEAD
    PyObject* color;  // null once finished
    int next;         // index of the channel to yield next
};

extern PyTypeObject iterator_type;

ChannelIterator* as_iter(PyObject* o) noexcept { return reinterpret_cast<ChannelIterator*>(o); }

// Ends the iteration; the colour is released outside the critical section.
void finish(PyObject* self) noexcept {
    PyObject* color;
    {
        CriticalSection cs(self);
        color = std::exchange(as_iter(self)->color, nullptr);
    }
    Py_XDECREF(color);
}

PyObject* iter_next(PyObject* self) noexcept {
    ChannelIterator* it = as_iter(self);
    PyObject* done = nullptr;
    int value = -1;
    {
        CriticalSection cs(self);
        if (it->color) {
            if (it->next < 4)
                value = get_channel_value(as(it->color), it->next++);
            else
                done = std::exchange(it->color, nullptr);
        }
    }
    Py_XDECREF(done);
    return value < 0 ? nullptr : PyLong_FromLong(value);
}

PyObject* iter_send(PyObject* self, PyObject* value) noexcept {
    if (value != Py_None) {
        bool just_started;
        {
            CriticalSection cs(self);
            just_started = as_iter(self)->color && as_iter(self)->next == 0;
        }
        if (just_started) {
            PyErr_SetString(PyExc_TypeError, "can't send non-None value to a just-started generator");
            return nullptr;
        }
    }
    PyObject* r = iter_next(self);
    if (!r && !PyErr_Occurred()) PyErr_SetNone(PyExc_StopIteration);
    return r;
}

// The exception is raised where the generator stands; nothing handles it, so the generator ends.
PyObject* iter_throw(PyObject* self, PyObject* const* args, Py_ssize_t nargs) noexcept {
    if (nargs < 1 || nargs > 3) {
        if (nargs < 1)
            PyErr_SetString(PyExc_TypeError, "throw expected at least 1 argument, got 0");
        else
            PyErr_Format(PyExc_TypeError, "throw expected at most 3 arguments, got %zd", nargs);
        return nullptr;
    }
    finish(self);
    PyObject* typ = args[0];
    if (PyExceptionInstance_Check(typ))
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(typ)), typ);
    else if (PyExceptionClass_Check(typ))
        PyErr_SetObject(typ, nargs > 1 && args[1] != Py_None ? args[1] : nullptr);
    else
        PyErr_Format(PyExc_TypeError, "exceptions must be classes or instances deriving from BaseException, not %s",
                     type_name_of(typ));
    return nullptr;
}

PyObject* iter_close(PyObject* self, PyObject*) noexcept {
    finish(self);
    Py_RETURN_NONE;
}

PyObject* iter_name(PyObject*, void*) noexcept { return PyUnicode_FromString("__iter__"); }
PyObject* iter_qualname(PyObject*, void*) noexcept { return PyUnicode_FromString("Color.__iter__"); }

int iter_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    Py_VISIT(as_iter(self)->color);
    return 0;
}
int iter_clear(PyObject* self) noexcept {
    Py_CLEAR(as_iter(self)->color);
    return 0;
}
void iter_dealloc(PyObject* self) noexcept {
    PyObject_GC_UnTrack(self);
    iter_clear(self);
    PyObject_GC_Del(self);
}

PyMethodDef iter_methods[] = {
    {"send", iter_send, METH_O, nullptr},
    {"throw", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(iter_throw)), METH_FASTCALL, nullptr},
    {"close", iter_close, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
PyGetSetDef iter_getsets[] = {
    {"__name__", iter_name, nullptr, nullptr, nullptr},
    {"__qualname__", iter_qualname, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject iterator_type = {
    .ob_base = PyVarObject_HEAD_INIT(&PyType_Type, 0)
    .tp_name = "vantor.color.color.generator",
    .tp_basicsize = sizeof(ChannelIterator),
    .tp_dealloc = iter_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC,
    .tp_traverse = iter_traverse,
    .tp_clear = iter_clear,
    .tp_iter = PyObject_SelfIter,
    .tp_iternext = iter_next,
    .tp_methods = iter_methods,
    .tp_getset = iter_getsets,
};

PyObject* tp_iter(PyObject* self) noexcept {
    auto* it = PyObject_GC_New(ChannelIterator, &iterator_type);
    if (!it) return fail("__iter__");
    it->color = Py_NewRef(self);
    it->next = 0;
    PyObject_GC_Track(it);
    return reinterpret_cast<PyObject*>(it);
}

// ---- the type and module execution ------------------------------------------------------------

// The buffer protocol: the four channels, viewed in place.
constexpr char buffer_format[] = "B";

constexpr char type_doc[] =
    "Color(r, g, b, a=255)\n--\n\n"
    "A mutable RGBA colour of four 8-bit channels.\n\n"
    "Every channel write saturates to 0..255 (Color(300, -5, 12.9) is Color(255, 0, 12, 255)); arguments "
    "convert like int(), so floats truncate. A Color equals another Color with the same four channels and no "
    "object of another type; colours are not hashable. iter(c) yields r, g, b, a, each read when it is "
    "yielded. A Python subclass may override fade and to_int; native code calling them through the operation "
    "table then runs the override.\n\n"
    "case Color(r, g, b, a) binds the channels in a match statement. The buffer protocol exposes the channels "
    "as a writable one-dimensional array of format 'B' that views the colour itself (no saturation applies to "
    "bytes); with the GIL forced off, a write through it races like any other channel write.\n\n"
    ">>> c = Color(200, 100, 50)\n>>> c.tint(Color(128, 255, 0, 128)), c.to_int()\n"
    "(Color(100, 100, 0, 128), -932957441)";

PyBufferProcs buffer = {.bf_getbuffer = Record::bf_getbuffer<buffer_format>};
PySequenceMethods sequence = {.sq_length = sq_length};

PyTypeObject color_type = {
    .ob_base = PyVarObject_HEAD_INIT(&PyType_Type, 0)
    .tp_name = "vantor.color.color.Color",
    .tp_basicsize = sizeof(Obj),
    .tp_dealloc = dealloc_plain,
    .tp_repr = tp_repr,
    .tp_as_sequence = &sequence,
    .tp_as_buffer = &buffer,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = type_doc,
    .tp_richcompare = tp_richcompare,
    .tp_iter = tp_iter,
    .tp_getset = getsets,
    .tp_init = tp_init,
    .tp_new = tp_new,
    .tp_vectorcall = tp_vectorcall,
};

int add_methods(PyTypeObject* type) noexcept {
    return add_functions(type, info.full_name, functions.data(), Functions::return_annotation);
}

int publish(PyObject* module) noexcept {
    table = {.new_ = new_, .c_equal = c_equal, .c_normalize = c_normalize, .c_tint = c_tint, .fade = fade, .to_int = pack};
    if (PyType_Ready(&iterator_type) < 0) return -1;
    static constexpr const char* match_args[] = {"r", "g", "b", "a"};
    return publish_type(module, &color_type, "Color", &table, {}, add_methods, true, match_args);
}

int imports(PyObject*) noexcept {
    if (vantor_import_vector3(&vector3_type, &vector3_table) < 0) return -1;
    return vantor_import_vector4(&vector4_type, &vector4_table);
}

constexpr const char* builtins_used[] = {"staticmethod"};
constexpr ModuleSteps steps{builtins_used, publish, imports};

}  // namespace

PyMODINIT_FUNC PyInit_color() { return ModuleDefinition<steps>::init(info); }
