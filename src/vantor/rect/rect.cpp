// vantor.rect.rect: the single-precision axis-aligned rectangle over raylib's Rectangle, with its
// edges, centre and collision tests. Python subclasses may override the table-backed methods.
#include "rect.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "frame/declare.hpp"
#include "frame/function.hpp"
#include "frame/iterator.hpp"
#include "frame/module.hpp"
#include "frame/record.hpp"

namespace {

using namespace vantor::frame;

constexpr ModuleInfo info{"rect", "vantor.rect.rect", "src/vantor/rect/rect.cpp", "vantor.rect.rect.Rect"};

using Obj = VantorRectObject;

extern PyTypeObject rect_type;
VantorRectVTable table;
PyTypeObject* vector2_type = nullptr;
PyTypeObject* vector4_type = nullptr;
VantorVector2VTable* vector2_table = nullptr;
VantorVector4VTable* vector4_table = nullptr;

Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }
PyObject* obj(Obj* o) noexcept { return reinterpret_cast<PyObject*>(o); }
bool is_rect(PyObject* o) noexcept { return PyObject_TypeCheck(o, &rect_type); }

// ---- record arithmetic (single precision) -----------------------------------------------------

// The fields x, y, width, height, as items 0 to 3; every access goes through the record layer.
struct Layout {
    using Object = Obj;
    using Record = Rectangle;
    using Scalar = float;
    static constexpr int N = 4;
    static constexpr Rectangle Obj::*record = &Obj::_raw;
    static constexpr float Rectangle::*members[N] = {&Rectangle::x, &Rectangle::y, &Rectangle::width,
                                                     &Rectangle::height};
};
using Record = Fields<Layout>;
float get(Obj* o, int i) noexcept { return Record::get(o, i); }
void set(Obj* o, int i, float v) noexcept { Record::set(o, i, v); }
[[gnu::always_inline]] inline Rectangle load(Obj* o) noexcept { return Record::load_record(o); }
[[gnu::always_inline]] inline void store(Obj* o, const Rectangle& r) noexcept { Record::store_record(o, r); }
// The far edges as they stand at the moment of the call: x + width, y + height.
float right_now(Obj* o) noexcept { return get(o, 0) + get(o, 2); }
float bottom_now(Obj* o) noexcept { return get(o, 1) + get(o, 3); }
float right_of(const Rectangle& r) noexcept { return r.x + r.width; }
float bottom_of(const Rectangle& r) noexcept { return r.y + r.height; }
float centerx_of(const Rectangle& r) noexcept { return std::fma(r.width, 0.5f, r.x); }
float centery_of(const Rectangle& r) noexcept { return std::fma(r.height, 0.5f, r.y); }

// Inclusive on every edge, compared in double; NaN never collides.
bool point_inside(const Rectangle& r, double px, double py) noexcept {
    return r.x <= px && px <= right_of(r) && r.y <= py && py <= bottom_of(r);
}

// ---- reading other objects --------------------------------------------------------------------

// The components of a Vector2 or Vector4, widened to double as their attributes give them. The
// types cannot be subclassed and their attributes cannot be replaced, so reading the records
// straight is what reading x, y, ... through attribute access yields, without the float objects.
void read_vector2(PyObject* o, double& x, double& y) noexcept {
    const Vector2& v = reinterpret_cast<VantorVector2Object*>(o)->data;
    x = relaxed_load(v.x);
    y = relaxed_load(v.y);
}
void read_vector4(PyObject* o, double (&out)[4]) noexcept {
    const VantorVector4Data& v = reinterpret_cast<VantorVector4Object*>(o)->data;
    out[0] = relaxed_load(v.x);
    out[1] = relaxed_load(v.y);
    out[2] = relaxed_load(v.z);
    out[3] = relaxed_load(v.w);
}

// 1 when `o` is a list or tuple (subclasses included) of length n, 0 when not, -1 on error.
int is_sequence_of(PyObject* o, Py_ssize_t n) noexcept {
    if (!PyList_Check(o) && !PyTuple_Check(o)) return 0;
    const Py_ssize_t len = PyObject_Length(o);
    return len < 0 ? -1 : len == n;
}

// A position or size: a Vector2's x and y, or items 0 and 1 of a list or tuple of length 2.
// 0: not such an argument; -1: error.
int read_pair(PyObject* o, double& a, double& b) noexcept {
    if (PyObject_TypeCheck(o, vector2_type)) {
        read_vector2(o, a, b);
        return 1;
    }
    const int ok = is_sequence_of(o, 2);
    if (ok <= 0) return ok;
    return item_double(o, 0, a) && item_double(o, 1, b) ? 1 : -1;
}

PyObject* py_float(double d) noexcept { return PyFloat_FromDouble(d); }

// Python comparison `a op b`, a being a float made from `ad`: 1, 0, or -1 on error. When the other
// operand is an exact float or a small exact int, comparing doubles gives exactly Python's result
// (NaN included) without making float objects.
int compare_doubles(double a, double b, int op) noexcept {
    return op == Py_LE ? a <= b : a < b;
}
int compare(double ad, PyObject* b, int op) noexcept {
    double bd;
    if (exact_real(b, bd)) return compare_doubles(ad, bd, op);
    Ref a(py_float(ad));
    return a ? PyObject_RichCompareBool(a.get(), b, op) : -1;
}
int compare(PyObject* a, double bd, int op) noexcept {
    double ad;
    if (exact_real(a, ad)) return compare_doubles(ad, bd, op);
    Ref b(py_float(bd));
    return b ? PyObject_RichCompareBool(a, b.get(), op) : -1;
}

// ---- collision tests computed directly ---------------------------------------------------------

// A typed tuple/list parameter: None cannot be indexed, anything else is the wrong type, and a
// container with fewer than `needed` items is an IndexError whatever its values.
bool check_items(PyObject* o, bool tuple, const char* param, Py_ssize_t needed) noexcept {
    if (tuple ? PyTuple_CheckExact(o) : PyList_CheckExact(o)) {
        if ((tuple ? PyTuple_GET_SIZE(o) : PyList_GET_SIZE(o)) >= needed) return true;
        PyErr_SetString(PyExc_IndexError, tuple ? "tuple index out of range" : "list index out of range");
        return false;
    }
    if (o == Py_None)
        PyErr_SetString(PyExc_TypeError, "'NoneType' object is not subscriptable");
    else
        raise_arg_type(param, tuple ? "tuple" : "list", o);
    return false;
}

[[gnu::noinline]] int point_any_other(Obj* self, PyObject* point) noexcept {
    double px = 0, py = 0;
    int ok;
    if (PyObject_TypeCheck(point, vector2_type)) {
        read_vector2(point, px, py);
        ok = 1;
    } else if (PyTuple_CheckExact(point) && PyTuple_GET_SIZE(point) == 2) {
        // A tuple's items cannot change or go away: read them in place, converted as below.
        ok = to_double(PyTuple_GET_ITEM(point, 0), px) && to_double(PyTuple_GET_ITEM(point, 1), py) ? 1 : -1;
    } else {
        ok = is_sequence_of(point, 2);
        if (ok == 1) ok = item_double(point, 0, px) && item_double(point, 1, py) ? 1 : -1;
        if (ok == 0) {
            PyErr_SetString(PyExc_ValueError, "Point must be a Vector2, tuple, or list of length 2");
            return -1;
        }
    }
    if (ok < 0) return -1;
    return point_inside(load(self), px, py);
}
// An exact Vector2 first, inline: the other kinds in the general path.
int point_any(Obj* self, PyObject* point) noexcept {
    if (Py_IS_TYPE(point, vector2_type)) [[likely]] {
        double px, py;
        read_vector2(point, px, py);
        return point_inside(load(self), px, py);
    }
    return point_any_other(self, point);
}

// float(x) <= px <= float(x + width), then the same for y, as Python comparisons; py is only read
// once the x comparisons hold. Each field is read when its comparison is made.
template <class ReadY>
int point_compared(Obj* self, PyObject* px, ReadY read_y) noexcept {
    int t = compare(get(self, 0), px, Py_LE);
    if (t == 1) t = compare(px, right_now(self), Py_LE);
    if (t != 1) return t;
    Ref py(read_y());
    if (!py) return -1;
    t = compare(get(self, 1), py.get(), Py_LE);
    return t == 1 ? compare(py.get(), bottom_now(self), Py_LE) : t;
}

int point_vector2(Obj* self, PyObject* point) noexcept {
    if (!check_arg_type(point, vector2_type, "point")) return -1;
    if (Py_IS_TYPE(point, vector2_type)) {  // comparisons of its floats, without making them
        double px, py;
        read_vector2(point, px, py);
        return get(self, 0) <= px && px <= right_now(self) && get(self, 1) <= py && py <= bottom_now(self);
    }
    Ref px(get_attr(point, "x"));
    if (!px) return -1;
    return point_compared(self, px.get(), [point] { return get_attr(point, "y"); });
}

// Items 0..N-1 of an exact tuple or list as doubles, when every one is an exact real (see
// exact_real): then no Python code runs while they are read, so a list is read under its critical
// section and no item is used past it. False when any is not, or the list has shrunk meanwhile:
// the caller then takes the general path, which reads and converts the items as it always has.
template <size_t N>
bool exact_items(PyObject* seq, double (&out)[N]) noexcept {
    const auto n = static_cast<Py_ssize_t>(N);
    if (PyTuple_CheckExact(seq)) {
        if (PyTuple_GET_SIZE(seq) < n) return false;
        for (Py_ssize_t i = 0; i < n; ++i)
            if (!exact_real(PyTuple_GET_ITEM(seq, i), out[i])) return false;
        return true;
    }
    CriticalSection cs(seq);
    if (PyList_GET_SIZE(seq) < n) return false;
    for (Py_ssize_t i = 0; i < n; ++i)
        if (!exact_real(PyList_GET_ITEM(seq, i), out[i])) return false;
    return true;
}

template <bool Tuple>
int point_items(Obj* self, PyObject* point) noexcept {
    if (!check_items(point, Tuple, "point", 2)) return -1;
    double p[2];
    if (exact_items(point, p))
        return get(self, 0) <= p[0] && p[0] <= right_now(self) && get(self, 1) <= p[1] && p[1] <= bottom_now(self);
    Ref px(item_ref(point, 0));
    if (!px) return -1;
    return point_compared(self, px.get(), [point] { return item_ref(point, 1); });
}

// Strict on every edge, in the order ox + ow > x, ox < x + width, oy + oh > y, oy < y + height.
bool rects_overlap(const Rectangle& r, double ox, double oy, double ow, double oh) noexcept {
    return ox + ow > r.x && ox < right_of(r) && oy + oh > r.y && oy < bottom_of(r);
}

[[gnu::noinline]] int rect_any_other(Obj* self, PyObject* other) noexcept {
    double o[4];
    int ok;
    if (is_rect(other)) {
        const Rectangle r = load(as(other));
        o[0] = r.x, o[1] = r.y, o[2] = r.width, o[3] = r.height;
        ok = 1;
    } else if (PyObject_TypeCheck(other, vector4_type)) {
        read_vector4(other, o);
        ok = 1;
    } else {
        ok = is_sequence_of(other, 4);
        for (int i = 0; ok == 1 && i < 4; ++i)
            if (!item_double(other, i, o[i])) ok = -1;
        if (ok == 0) {
            PyErr_SetString(PyExc_ValueError, "rect for collision must be a Rect, Vector4, tuple, or list of length 4");
            return -1;
        }
    }
    if (ok < 0) return -1;
    return rects_overlap(load(self), o[0], o[1], o[2], o[3]);
}
// An exact Rect first, inline: the other kinds (and a subclass instance) in the general path.
int rect_any(Obj* self, PyObject* other) noexcept {
    if (Py_IS_TYPE(other, &rect_type)) [[likely]] {
        const Rectangle o = load(as(other));
        return rects_overlap(load(self), o.x, o.y, o.width, o.height);
    }
    return rect_any_other(self, other);
}

// Both rectangles entirely in single precision, no Python objects made.
int rect_rect(Obj* self, PyObject* other) noexcept {
    if (!check_arg_type(other, &rect_type, "other")) return -1;
    const Rectangle a = load(self), b = load(as(other));
    return a.x < b.x + b.width && b.x < right_of(a) && a.y < b.y + b.height && b.y < bottom_of(a);
}

// float(x) < ox + ow, ox < float(x + width), then the same for y: Python arithmetic and
// comparisons on what `item(i)` yields for x, y, width, height (i = 0..3). The rectangle's
// fields for an axis are read once the other's values for it are in hand.
template <class Item>
int rect_compared(Obj* self, Item item) noexcept {
    for (int axis = 0; axis < 2; ++axis) {
        Ref pos(item(axis)), size(pos ? item(axis + 2) : nullptr);
        if (!size) return -1;
        double p, w;
        if (exact_real(pos.get(), p) && exact_real(size.get(), w)) {
            // Python's sum and comparisons of these, in doubles.
            const float lo = get(self, axis), hi = axis ? bottom_now(self) : right_now(self);
            if (!(lo < p + w && p < hi)) return 0;
            continue;
        }
        Ref far(PyNumber_Add(pos.get(), size.get()));
        if (!far) return -1;
        const float lo = get(self, axis), hi = axis ? bottom_now(self) : right_now(self);
        int t = compare(lo, far.get(), Py_LT);
        if (t == 1) t = compare(pos.get(), hi, Py_LT);
        if (t != 1) return t;
    }
    return 1;
}

int rect_vector4(Obj* self, PyObject* other) noexcept {
    if (!check_arg_type(other, vector4_type, "other")) return -1;
    if (Py_IS_TYPE(other, vector4_type)) {  // the same sums and comparisons, on its doubles
        double o[4];
        read_vector4(other, o);
        return get(self, 0) < o[0] + o[2] && o[0] < right_now(self) && get(self, 1) < o[1] + o[3] &&
               o[1] < bottom_now(self);
    }
    static constexpr const char* names[] = {"x", "y", "z", "w"};
    return rect_compared(self, [other](int i) { return get_attr(other, names[i]); });
}

template <bool Tuple>
int rect_items(Obj* self, PyObject* other) noexcept {
    if (!check_items(other, Tuple, "other", 4)) return -1;
    double o[4];
    if (exact_items(other, o))  // Python's sums and comparisons of these, in doubles
        return get(self, 0) < o[0] + o[2] && o[0] < right_now(self) && get(self, 1) < o[1] + o[3] &&
               o[1] < bottom_now(self);
    return rect_compared(self, [other](int i) { return item_ref(other, i); });
}

// ---- table entries: override dispatch, then the direct computation ----------------------------

// With dispatch flag 0 on a Python subclass instance that overrides `name`: calls the override
// with `args` and sets `called`. Returns its result (null on error, with a traceback entry).
PyObject* call_override(Obj* self, int flag, const char* name, std::initializer_list<PyObject*> args,
                        bool& called) noexcept {
    called = false;
    if (flag || !may_be_overridden(obj(self))) return nullptr;
    Ref method(find_override(obj(self), &rect_type, name));
    if (!method && !PyErr_Occurred()) return nullptr;
    called = true;
    PyObject* r = method ? PyObject_Vectorcall(method.get(), args.begin(), args.size(), nullptr) : nullptr;
    if (!r) add_traceback(name);
    return r;
}

// A truth entry: the override's result as a truth value, or the direct test (1, 0, or -1 with an
// exception set). 0 with an exception set on failure.
template <int (*Direct)(Obj*, PyObject*), const Method& M>
int truth_entry(Obj* self, PyObject* arg, int flag) noexcept {
    bool called;
    Ref r(call_override(self, flag, M.name, {arg}, called));
    int t;
    if (called) {
        t = r ? PyObject_IsTrue(r.get()) : -1;
    } else {
        t = Direct(self, arg);
    }
    if (t < 0) {
        add_traceback(M.name);
        return 0;
    }
    return t;
}

// The Python methods, declared once: the docstrings, the keyword binding and the stub follow.
// Points collide when inside or on an edge; rectangles when they overlap with a positive area
// (touching edges do not collide).
constexpr char point_types[] = "Vector2 | tuple[_FloatLike, _FloatLike] | list[_FloatLikeT]";
constexpr char rect_types[] =
    "Rect | Vector4 | list[_FloatLikeT] | tuple[_FloatLike, _FloatLike, _FloatLike, _FloatLike]";
constexpr Method m_get_width{"get_width", "float", "The width, as a float."};
constexpr Method m_get_height{"get_height", "float", "The height, as a float."};
constexpr Method m_get_tuple{"get_tuple", "tuple[float, float, float, float]",
                             "(x, y, width, height) as a tuple of floats."};
constexpr Method m_get_vector4{"get_vector4", "Vector4", "A new Vector4(x, y, width, height)."};
constexpr Method m_collide_point{
    "collide_point", "bool",
    "Whether the point (a Vector2, or a tuple or list of 2 numbers) lies inside this rectangle or on its edge.",
    {{{"point", point_types}}}};
constexpr Method m_collide_point_vector2{"collide_point_vector2", "bool",
                                         "Whether the Vector2 point lies inside this rectangle or on its edge.",
                                         {{{"point", "Vector2"}}}};
constexpr Method m_collide_point_tuple{
    "collide_point_tuple", "bool",
    "Whether the point, a tuple of 2 numbers, lies inside this rectangle or on its edge.",
    {{{"point", "tuple[float, float, *tuple[object, ...]]"}}}};
constexpr Method m_collide_point_list{"collide_point_list", "bool",
                                      "Whether the point, a list of 2 numbers, lies inside this rectangle or on its "
                                      "edge.",
                                      {{{"point", "list[_FloatT]"}}}};
constexpr Method m_collide_rect{"collide_rect", "bool",
                                "Whether this rectangle overlaps other (a Rect, a Vector4 (x, y, width, height), or a "
                                "tuple or list of 4 numbers); touching edges do not overlap.",
                                {{{"other", rect_types}}}};
constexpr Method m_collide_rect_rect{"collide_rect_rect", "bool",
                                     "Whether this rectangle overlaps the Rect other; touching edges do not overlap.",
                                     {{{"other", "Rect"}}}};
constexpr Method m_collide_rect_vector4{
    "collide_rect_vector4", "bool",
    "Whether this rectangle overlaps the Vector4 other, read as (x, y, width, height); touching edges do not "
    "overlap.",
    {{{"other", "Vector4"}}}};
constexpr Method m_collide_rect_tuple{
    "collide_rect_tuple", "bool",
    "Whether this rectangle overlaps other, a tuple (x, y, width, height); touching edges do not overlap.",
    {{{"other", "tuple[float, float, float, float, *tuple[object, ...]]"}}}};
constexpr Method m_collide_rect_list{
    "collide_rect_list", "bool",
    "Whether this rectangle overlaps other, a list (x, y, width, height); touching edges do not overlap.",
    {{{"other", "list[_FloatT]"}}}};

constexpr auto collide_point = truth_entry<point_any, m_collide_point>;
constexpr auto collide_point_tuple = truth_entry<point_items<true>, m_collide_point_tuple>;
constexpr auto collide_point_list = truth_entry<point_items<false>, m_collide_point_list>;
constexpr auto collide_rect = truth_entry<rect_any, m_collide_rect>;
constexpr auto collide_rect_tuple = truth_entry<rect_items<true>, m_collide_rect_tuple>;
constexpr auto collide_rect_list = truth_entry<rect_items<false>, m_collide_rect_list>;
int collide_point_vector2(Obj* self, VantorVector2Object* point, int flag) noexcept {
    return truth_entry<point_vector2, m_collide_point_vector2>(self, reinterpret_cast<PyObject*>(point), flag);
}
int collide_rect_vector4(Obj* self, VantorVector4Object* other, int flag) noexcept {
    return truth_entry<rect_vector4, m_collide_rect_vector4>(self, reinterpret_cast<PyObject*>(other), flag);
}
int collide_rect_rect(Obj* self, Obj* other, int flag) noexcept {
    return truth_entry<rect_rect, m_collide_rect_rect>(self, obj(other), flag);
}

PyObject* new_(Rectangle r) noexcept {
    Obj* o = Record::alloc<&table>(&rect_type);
    if (!o) return fail("new");
    store(o, r);
    return obj(o);
}

// An object entry: the override's result after `check`, or the direct computation.
template <PyObject* (*Direct)(Obj*), const Method& M, bool (*Check)(PyObject*) = nullptr>
PyObject* object_entry(Obj* self, int flag) noexcept {
    bool called;
    PyObject* r = call_override(self, flag, M.name, {}, called);
    if (!called) r = Direct(self);
    if (r && called && Check && !Check(r)) Py_CLEAR(r);
    return r ? r : fail(M.name);
}

PyObject* width_of(Obj* self) noexcept { return py_float(get(self, 2)); }
PyObject* height_of(Obj* self) noexcept { return py_float(get(self, 3)); }
PyObject* vector4_of(Obj* self) noexcept {
    const Rectangle r = load(self);
    return vector4_table->new_(r.x, r.y, r.width, r.height);
}
PyObject* tuple_of(Obj* self) noexcept {
    const Rectangle r = load(self);
    return Py_BuildValue("(dddd)", double(r.x), double(r.y), double(r.width), double(r.height));
}
bool vector4_or_none(PyObject* r) noexcept {
    if (r == Py_None || PyObject_TypeCheck(r, vector4_type)) return true;
    PyErr_Format(PyExc_TypeError, "%.1sCannot convert %.200s to %.200s", "", type_name_of(r), vector4_type->tp_name);
    return false;
}
bool tuple_or_none(PyObject* r) noexcept {
    if (r == Py_None || PyTuple_CheckExact(r)) return true;
    PyErr_Format(PyExc_TypeError, "Expected %.42s, got %.200s", "tuple", type_name_of(r));
    return false;
}

constexpr auto get_width = object_entry<width_of, m_get_width>;
constexpr auto get_height = object_entry<height_of, m_get_height>;
constexpr auto get_vector4 = object_entry<vector4_of, m_get_vector4, vector4_or_none>;
constexpr auto get_tuple = object_entry<tuple_of, m_get_tuple, tuple_or_none>;

// ---- Python methods ---------------------------------------------------------------------------

// The Python methods run what their table entries run with dispatch flag 1 (no override is
// looked for): the direct computation, with the same traceback entry on failure.
template <PyObject* (*Direct)(Obj*), const Method& M>
PyObject* py_object(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    if (!bind_none(M.name, nargs, kwnames)) return fail(M.name);
    PyObject* r = Direct(as(self));
    return r ? r : fail(M.name);
}

template <int (*Direct)(Obj*, PyObject*), const Method& M>
PyObject* py_truth(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* arg;
    if (!bind_params<M>(args, nargs, kwnames, &arg)) return fail(M.name);
    const int t = Direct(as(self), arg);
    if (t < 0) return fail(M.name);
    return PyBool_FromLong(t);
}

// ---- derived rectangles, list tests, circles and lines ----------------------------------------

// A rectangle in double precision: a record's float32 fields widened, or another's numbers. The
// results below are computed on these and each field rounded once to float32.
struct Box {
    double x, y, w, h;
};
// A rectangle's fields read one by one straight into doubles (inline: no record is assembled).
[[gnu::always_inline]] inline Box box_of(Obj* o) noexcept { return {get(o, 0), get(o, 1), get(o, 2), get(o, 3)}; }
Rectangle narrowed(const Box& b) noexcept { return {narrow(b.x), narrow(b.y), narrow(b.w), narrow(b.h)}; }

// "<what> must be <expected>, not <type>" (for a tuple or list, "not a <type> of length <n>").
[[gnu::noinline, gnu::cold]] void raise_wrong_kind(const char* what, const char* expected, PyObject* o) noexcept {
    if (PyList_Check(o) || PyTuple_Check(o)) {
        const Py_ssize_t n = PyObject_Length(o);
        if (n >= 0)
            PyErr_Format(PyExc_TypeError, "%s must be %s, not a %.200s of length %zd", what, expected,
                         type_name_of(o), n);
        return;
    }
    PyErr_Format(PyExc_TypeError, "%s must be %s, not %.200s", what, expected, type_name_of(o));
}
constexpr char rect_like_kinds[] = "a Rect, Vector4, tuple or list of 4 numbers";
constexpr char pair_kinds[] = "a Vector2, tuple or list of 2 numbers";

// A rect-like argument read as collide_rect reads it: a Rect (subclasses too), a Vector4 (x, y,
// z, w), or a tuple or list of 4 numbers; any other kind is a TypeError naming `what`.
[[gnu::noinline]] bool read_rect_like_other(PyObject* o, const char* what, Box& out) noexcept {
    double d[4];
    if (is_rect(o)) {
        out = box_of(as(o));
        return true;
    }
    if (PyObject_TypeCheck(o, vector4_type)) {
        read_vector4(o, d);
    } else {
        const int ok = is_sequence_of(o, 4);
        if (ok == 0) raise_wrong_kind(what, rect_like_kinds, o);
        if (ok != 1) return false;
        for (int i = 0; i < 4; ++i)
            if (!item_double(o, i, d[i])) return false;
    }
    out = {d[0], d[1], d[2], d[3]};
    return true;
}
// An exact Rect inline, the other kinds out of line.
[[gnu::always_inline]] inline bool read_rect_like(PyObject* o, const char* what, Box& out) noexcept {
    if (Py_IS_TYPE(o, &rect_type)) [[likely]] {
        out = box_of(as(o));
        return true;
    }
    return read_rect_like_other(o, what, out);
}

// A Vector2, or a tuple or list of 2 numbers; any other kind is a TypeError naming `what`.
bool read_pair_arg(PyObject* o, const char* what, double& a, double& b) noexcept {
    const int ok = read_pair(o, a, b);
    if (ok == 0) raise_wrong_kind(what, pair_kinds, o);
    return ok == 1;
}

bool given(PyObject* arg) noexcept { return arg && arg != Py_None; }

// A new exact Rect (the module's own type, also for a subclass's self) holding r. The type is
// static, fixed-size and not tracked by the collector: the object allocator and PyObject_Init
// make what its generic allocator makes, and every field is written before the object is handed out.
PyObject* new_rect(const Rectangle& r) noexcept {
    auto* o = static_cast<Obj*>(PyObject_Malloc(sizeof(Obj)));
    if (!o) return PyErr_NoMemory();
    PyObject_Init(obj(o), &rect_type);
    o->vtab = &table;
    store(o, r);
    return obj(o);
}

// One derived rectangle: Op::read converts the arguments (Python code may run there), then the
// record is loaded once and Op::apply computes the result (false with an exception for undefined
// geometry). The get_ form returns it as a new Rect, the to_ form stores it and returns self.
template <class Op, const Method& M, bool InPlace>
PyObject* py_derived(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    // Parameters left out stay null; nothing else needs clearing before it is bound and read.
    PyObject* a[4];
    if constexpr (M.required() < M.arity() || M.forms() > 1) std::fill_n(a, 4, nullptr);
    typename Op::Args v;
    if constexpr (M.arity() == 0) {
        if (!bind_none(M.name, nargs, kwnames)) return fail(M.name);
    } else if constexpr (M.forms() > 1) {
        if (bind_form<M>(args, nargs, kwnames, a) < 0 || !Op::read(a, v)) return fail(M.name);
    } else {
        if (!bind_params<M>(args, nargs, kwnames, a) || !Op::read(a, v)) return fail(M.name);
    }
    Box b;
    if (!Op::apply(box_of(as(self)), v, b)) return fail(M.name);
    if constexpr (InPlace) {
        store(as(self), narrowed(b));
        return Py_NewRef(self);
    } else {
        PyObject* r = new_rect(narrowed(b));
        return r ? r : fail(M.name);
    }
}

struct Moved {
    struct Args {
        double dx, dy;
    };
    static bool read(PyObject** a, Args& v) noexcept {
        if (!a[1]) return read_pair_arg(a[0], "offset", v.dx, v.dy);
        return to_double(a[0], v.dx) && to_double(a[1], v.dy);
    }
    static bool apply(const Box& r, const Args& v, Box& out) noexcept {
        out = {r.x + v.dx, r.y + v.dy, r.w, r.h};
        return true;
    }
};

struct Inflated {
    struct Args {
        double dw, dh;
    };
    static bool read(PyObject** a, Args& v) noexcept { return to_double(a[0], v.dw) && to_double(a[1], v.dh); }
    static bool apply(const Box& r, const Args& v, Box& out) noexcept {
        out = {r.x - v.dw * 0.5, r.y - v.dh * 0.5, r.w + v.dw, r.h + v.dh};
        return true;
    }
};

struct ScaledBy {
    struct Args {
        double sx, sy;
    };
    static bool read(PyObject** a, Args& v) noexcept {
        if (!to_double(a[0], v.sx)) return false;
        if (!given(a[1])) {
            v.sy = v.sx;
            return true;
        }
        return to_double(a[1], v.sy);
    }
    // Factors count by their magnitude, as pygame's scale_by takes them.
    static bool apply(const Box& r, const Args& v, Box& out) noexcept {
        const double w = r.w * std::fabs(v.sx), h = r.h * std::fabs(v.sy);
        out = {r.x + r.w * 0.5 - w * 0.5, r.y + r.h * 0.5 - h * 0.5, w, h};
        return true;
    }
};

// One rect-like argument `other`.
struct OtherArg {
    using Args = Box;
    static bool read(PyObject** a, Box& v) noexcept { return read_rect_like(a[0], "other", v); }
};

// On one axis: a rectangle at p of size s moved inside [q, q + t]; centred on it when s >= t.
double clamp_axis(double p, double s, double q, double t) noexcept {
    if (s >= t) return q + t * 0.5 - s * 0.5;
    if (p < q) return q;
    if (p + s > q + t) return q + t - s;
    return p;
}
struct Clamped : OtherArg {
    static bool apply(const Box& r, const Box& o, Box& out) noexcept {
        out = {clamp_axis(r.x, r.w, o.x, o.w), clamp_axis(r.y, r.h, o.y, o.h), r.w, r.h};
        return true;
    }
};

// On one axis: the start and size of the overlap of [p, p + s) and [q, q + t); false when none.
bool clip_axis(double p, double s, double q, double t, double& start, double& size) noexcept {
    const double pe = p + s, qe = q + t;
    if (p >= q && p < qe)
        start = p;
    else if (q >= p && q < pe)
        start = q;
    else
        return false;
    if (pe > q && pe <= qe)
        size = pe - start;
    else if (qe > p && qe <= pe)
        size = qe - start;
    else
        return false;
    return true;
}
// As pygame's clip: a rectangle without a positive width and height overlaps nothing.
struct Clipped : OtherArg {
    static bool apply(const Box& r, const Box& o, Box& out) noexcept {
        if (!(r.w > 0 && r.h > 0 && o.w > 0 && o.h > 0) || !clip_axis(r.x, r.w, o.x, o.w, out.x, out.w) ||
            !clip_axis(r.y, r.h, o.y, o.h, out.y, out.h))
            out = {r.x, r.y, 0.0, 0.0};
        return true;
    }
};

// The bounds of several rectangles: the least x and y, the greatest x + w and y + h.
struct Bounds {
    double x0, y0, x1, y1;
    bool any = false;
    void add(const Box& b) noexcept {
        if (!any) {
            *this = {b.x, b.y, b.x + b.w, b.y + b.h, true};
            return;
        }
        x0 = std::min(x0, b.x), y0 = std::min(y0, b.y);
        x1 = std::max(x1, b.x + b.w), y1 = std::max(y1, b.y + b.h);
    }
    Box joined(const Box& r) noexcept {
        add(r);
        return {x0, y0, x1 - x0, y1 - y0};
    }
};
struct Union : OtherArg {
    static bool apply(const Box& r, const Box& o, Box& out) noexcept {
        Bounds b{};
        b.add(o);
        out = b.joined(r);
        return true;
    }
};

// Calls f(i, item) on each item of an iterable in turn (tuples read in place, anything else through
// its iterator, which holds a strong reference to each item): f gives 1 to go on, 0 to stop, -1 on
// error. Returns -1 on error, else 0.
template <class F>
int each_item(PyObject* items, F f) noexcept {
    if (PyTuple_CheckExact(items)) {
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(items); ++i) {
            const int r = f(i, PyTuple_GET_ITEM(items, i));
            if (r <= 0) return r;
        }
        return 0;
    }
    Ref it(PyObject_GetIter(items));
    if (!it) return -1;
    for (Py_ssize_t i = 0;; ++i) {
        Ref item(PyIter_Next(it.get()));
        if (!item) return PyErr_Occurred() ? -1 : 0;
        const int r = f(i, item.get());
        if (r <= 0) return r;
    }
}

struct UnionAll {
    using Args = Bounds;
    static bool read(PyObject** a, Bounds& v) noexcept {
        return each_item(a[0], [&v](Py_ssize_t, PyObject* o) {
                   Box b;
                   if (!read_rect_like(o, "each of rects", b)) return -1;
                   v.add(b);
                   return 1;
               }) == 0;
    }
    static bool apply(const Box& r, Bounds v, Box& out) noexcept {
        out = v.joined(r);
        return true;
    }
};

struct Normalized {
    struct Args {};
    static bool apply(const Box& r, const Args&, Box& out) noexcept {
        out = r;
        if (out.w < 0) out.x += out.w, out.w = -out.w;
        if (out.h < 0) out.y += out.h, out.h = -out.h;
        return true;
    }
};

// pygame's fit: the larger of the width and height ratios scales this rectangle down (or up).
// Other's zero width or height gives a zero-size result at its centre; 0 / 0 has no answer.
struct Fit : OtherArg {
    static bool apply(const Box& r, const Box& o, Box& out) noexcept {
        if ((r.w == 0 && o.w == 0) || (r.h == 0 && o.h == 0)) {
            PyErr_SetString(PyExc_ValueError, "cannot fit: both rectangles have zero width or both zero height");
            return false;
        }
        const double xr = r.w / o.w, yr = r.h / o.h, ratio = xr > yr ? xr : yr;
        if (ratio == 0) {
            PyErr_SetString(PyExc_ValueError, "cannot fit a rectangle of zero width and height");
            return false;
        }
        const double w = r.w / ratio, h = r.h / ratio;
        out = {o.x + (o.w - w) * 0.5, o.y + (o.h - h) * 0.5, w, h};
        return true;
    }
};

// Calls hit(i) for the index of each rect-like in `rects` that overlaps this rectangle (the
// collide_rect rule), until hit gives 0 (stop) or -1 (error). An exact list is read under its
// critical section while its items are exact Rects (no Python code runs, no item is kept past it);
// from its first other item on, each item is taken as a strong reference.
template <class Hit>
int each_overlap(const Rectangle& me, PyObject* rects, Hit hit) noexcept {
    auto test = [&](Py_ssize_t i, PyObject* o) {
        Box b;
        if (!read_rect_like(o, "each of rects", b)) return -1;
        return rects_overlap(me, b.x, b.y, b.w, b.h) ? hit(i) : 1;
    };
    if (!PyList_CheckExact(rects)) return each_item(rects, test);
    Py_ssize_t i = 0;
    {
        CriticalSection cs(rects);
        for (; i < PyList_GET_SIZE(rects); ++i) {
            PyObject* o = PyList_GET_ITEM(rects, i);
            if (!Py_IS_TYPE(o, &rect_type)) break;
            const Rectangle b = load(as(o));
            if (rects_overlap(me, b.x, b.y, b.width, b.height)) {
                const int r = hit(i);
                if (r <= 0) return r;
            }
        }
    }
    for (;; ++i) {
        Ref o(PyList_GetItemRef(rects, i));
        if (!o) {
            if (!PyErr_ExceptionMatches(PyExc_IndexError)) return -1;
            PyErr_Clear();  // the end of the list, as it stands now
            return 0;
        }
        const int r = test(i, o.get());
        if (r <= 0) return r;
    }
}

template <const Method& M>
PyObject* py_collide_list(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* rects;
    if (!bind_params<M>(args, nargs, kwnames, &rects)) return fail(M.name);
    Py_ssize_t found = -1;
    if (each_overlap(load(as(self)), rects, [&found](Py_ssize_t i) {
            found = i;
            return 0;
        }) < 0)
        return fail(M.name);
    return PyLong_FromSsize_t(found);
}

template <const Method& M>
PyObject* py_collide_list_all(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* rects;
    if (!bind_params<M>(args, nargs, kwnames, &rects)) return fail(M.name);
    Ref out(PyList_New(0));
    if (!out || each_overlap(load(as(self)), rects, [&out](Py_ssize_t i) {
                    Ref n(PyLong_FromSsize_t(i));
                    return n && PyList_Append(out.get(), n.get()) == 0 ? 1 : -1;
                }) < 0)
        return fail(M.name);
    return out.release();
}

// Each object's rectangle, key(obj) or obj.rect, tested against this one; All: every object that
// overlaps, in order, else the first (None when none does).
template <const Method& M, bool All>
PyObject* py_collide_objects(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* a[2] = {};
    if (!bind_params<M>(args, nargs, kwnames, a)) return fail(M.name);
    PyObject* key = given(a[1]) ? a[1] : nullptr;
    Ref out(All ? PyList_New(0) : Py_NewRef(Py_None));
    if (!out) return fail(M.name);
    const Rectangle me = load(as(self));
    const int r = each_item(a[0], [&](Py_ssize_t, PyObject* o) {
        Ref rect(key ? PyObject_CallOneArg(key, o) : get_attr(o, "rect"));
        Box b;
        if (!rect || !read_rect_like(rect.get(), key ? "key(object)" : "object.rect", b)) return -1;
        if (!rects_overlap(me, b.x, b.y, b.w, b.h)) return 1;
        if constexpr (All) return PyList_Append(out.get(), o) == 0 ? 1 : -1;
        out = Ref(Py_NewRef(o));
        return 0;
    });
    return r < 0 ? fail(M.name) : out.release();
}

// pygame's contains: other lies inside this rectangle (edges may meet) and does not lie wholly on
// its right or bottom edge.
bool box_contains(const Box& r, const Box& o) noexcept {
    const double right = r.x + r.w, bottom = r.y + r.h;
    return r.x <= o.x && r.y <= o.y && right >= o.x + o.w && bottom >= o.y + o.h && right > o.x && bottom > o.y;
}

// raylib's circle-rectangle test, in float32: touching counts.
bool circle_touches(const Rectangle& rec, float cx, float cy, float radius) noexcept {
    const float hw = rec.width / 2.0f, hh = rec.height / 2.0f;
    const float dx = std::fabs(cx - (rec.x + hw)), dy = std::fabs(cy - (rec.y + hh));
    if (dx > hw + radius || dy > hh + radius) return false;
    if (dx <= hw || dy <= hh) return true;
    const float ex = dx - hw, ey = dy - hh;
    return ex * ex + ey * ey <= radius * radius;
}

// The segment clipped to the normalized rectangle, edges included (as collide_point counts them),
// by Cohen-Sutherland; false when nothing remains, the rectangle has no positive width and height,
// or an end is NaN.
bool clip_segment(Box r, double (&p)[4]) noexcept {
    if (r.w < 0) r.x += r.w, r.w = -r.w;
    if (r.h < 0) r.y += r.h, r.h = -r.h;
    if (!(r.w > 0 && r.h > 0)) return false;
    for (double c : p)
        if (std::isnan(c)) return false;
    double &x1 = p[0], &y1 = p[1], &x2 = p[2], &y2 = p[3];
    const double left = r.x, top = r.y, right = r.x + r.w, bottom = r.y + r.h;
    enum { TOP = 1, BOTTOM = 2, LEFT = 4, RIGHT = 8 };
    auto code = [&](double x, double y) {
        return (y < top ? TOP : y > bottom ? BOTTOM : 0) | (x < left ? LEFT : x > right ? RIGHT : 0);
    };
    int c1 = code(x1, y1), c2 = code(x2, y2);
    // Each round moves one outside end onto an edge line; a few settle any segment (the bound guards
    // against infinities, whose intersections can be NaN).
    for (int round = 0; c1 || c2; ++round) {
        if ((c1 & c2) || round == 16) return false;
        const int c = c1 ? c1 : c2;
        double x, y;
        if (c & (TOP | BOTTOM)) {
            y = c & TOP ? top : bottom;
            x = x1 + (x2 - x1) * (y - y1) / (y2 - y1);
        } else {
            x = c & LEFT ? left : right;
            y = y1 + (y2 - y1) * (x - x1) / (x2 - x1);
        }
        if (std::isnan(x) || std::isnan(y)) return false;
        if (c1) {
            x1 = x, y1 = y, c1 = code(x, y);
        } else {
            x2 = x, y2 = y, c2 = code(x, y);
        }
    }
    return true;
}

// The line's ends as x1, y1, x2, y2, from the form the call used: four numbers, two points, or one
// line (a tuple or list of two points or of four numbers).
bool read_line(int form, PyObject** a, double (&p)[4]) noexcept {
    if (form == 0) {
        for (int i = 0; i < 4; ++i)
            if (!to_double(a[i], p[i])) return false;
        return true;
    }
    if (form == 1) return read_pair_arg(a[0], "p1", p[0], p[1]) && read_pair_arg(a[1], "p2", p[2], p[3]);
    PyObject* line = a[0];
    const int four = is_sequence_of(line, 4);
    if (four < 0) return false;
    if (four) {
        for (int i = 0; i < 4; ++i)
            if (!item_double(line, i, p[i])) return false;
        return true;
    }
    const int two = is_sequence_of(line, 2);
    if (two == 0) raise_wrong_kind("line", "a tuple or list of 2 points or 4 numbers", line);
    if (two != 1) return false;
    Ref first(item_ref(line, 0));
    if (!first || !read_pair_arg(first.get(), "the first point of line", p[0], p[1])) return false;
    Ref second(item_ref(line, 1));
    return second && read_pair_arg(second.get(), "the second point of line", p[2], p[3]);
}

template <const Method& M>
PyObject* py_contains(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* other;
    Box o;
    if (!bind_params<M>(args, nargs, kwnames, &other) || !read_rect_like(other, "other", o)) return fail(M.name);
    return PyBool_FromLong(box_contains(box_of(as(self)), o));
}

template <const Method& M>
PyObject* py_collide_circle(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* a[2];
    double cx, cy, radius;
    if (!bind_params<M>(args, nargs, kwnames, a) || !read_pair_arg(a[0], "center", cx, cy) ||
        !to_double(a[1], radius))
        return fail(M.name);
    return PyBool_FromLong(circle_touches(load(as(self)), narrow(cx), narrow(cy), narrow(radius)));
}

template <const Method& M>
PyObject* py_clip_line(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* a[4];
    double p[4];
    const int form = bind_form<M>(args, nargs, kwnames, a);
    if (form < 0 || !read_line(form, a, p)) return fail(M.name);
    if (!clip_segment(box_of(as(self)), p)) return PyTuple_New(0);
    PyObject* r = Py_BuildValue("((dd)(dd))", double(narrow(p[0])), double(narrow(p[1])), double(narrow(p[2])),
                                double(narrow(p[3])));
    return r ? r : fail(M.name);
}

// The declarations of the members above.
constexpr char pair_types[] = "Vector2 | tuple[_FloatLike, _FloatLike] | list[_FloatLikeT]";
constexpr char rects_type[] = "Iterable[Rect | Vector4 | Sequence[_FloatLike]]";
constexpr std::array<Param, 4> other_param{{{"other", rect_types}}};
constexpr Method m_get_moved{
    .name = "get_moved",
    .result = "Rect",
    .doc = "A new Rect moved by (dx, dy), or by offset (a Vector2, or a tuple or list of 2 numbers).",
    .params = {{{"dx", "_FloatLike"}, {"dy", "_FloatLike"}}},
    .more_forms = {{{{{"offset", "_PointArg"}}}}},
};
constexpr Method m_to_moved = [] {
    Method m = m_get_moved;
    m.name = "to_moved";
    m.doc = "Moves by (dx, dy), or by offset, in place; returns this rectangle.";
    return m;
}();
constexpr Method m_get_inflated{
    "get_inflated", "Rect",
    "A new Rect grown by dw and dh about the same centre: x - dw / 2, y - dh / 2, width + dw, height + dh "
    "(negative values shrink it).",
    {{{"dw", "_FloatLike"}, {"dh", "_FloatLike"}}}};
constexpr Method m_to_inflated{"to_inflated", "Rect",
                               "Grows by dw and dh about the same centre, in place; returns this rectangle.",
                               m_get_inflated.params};
constexpr Method m_get_scaled_by{
    "get_scaled_by", "Rect",
    "A new Rect with width times |sx| and height times |sy| (sy defaults to sx), about the same centre.",
    {{{"sx", "_FloatLike"}, {"sy", "_FloatLike | None", "None"}}}};
constexpr Method m_to_scaled_by{
    "to_scaled_by", "Rect",
    "Scales width by |sx| and height by |sy| (sy defaults to sx) about the same centre, in place; returns this "
    "rectangle.",
    m_get_scaled_by.params};
constexpr Method m_get_clamped{
    "get_clamped", "Rect",
    "A new Rect of the same size moved inside other (a rect-like); centred on other along an axis where it is "
    "at least as large.",
    other_param};
constexpr Method m_to_clamped{"to_clamped", "Rect",
                              "Moves inside other (as get_clamped), in place; returns this rectangle.", other_param};
constexpr Method m_get_clipped{
    "get_clipped", "Rect",
    "A new Rect, the overlap with other (a rect-like); when there is none, Rect(x, y, 0, 0) at this "
    "rectangle's position. A rectangle without a positive width and height overlaps nothing here.",
    other_param};
constexpr Method m_get_union{"get_union", "Rect",
                             "A new Rect, the smallest that covers this rectangle and other (a rect-like).",
                             other_param};
constexpr Method m_to_union{"to_union", "Rect",
                            "Grows to cover other (a rect-like) as well, in place; returns this rectangle.",
                            other_param};
constexpr Method m_get_union_all{
    "get_union_all", "Rect",
    "A new Rect, the smallest that covers this rectangle and every rect-like in the iterable rects.",
    {{{"rects", rects_type}}}};
constexpr Method m_to_union_all{
    "to_union_all", "Rect",
    "Grows to cover every rect-like in the iterable rects as well, in place; returns this rectangle.",
    {{{"rects", rects_type}}}};
constexpr Method m_contains{
    "contains", "bool",
    "Whether other (a rect-like) lies wholly inside this rectangle; edges may meet, but other may not lie "
    "wholly on the right or bottom edge.",
    other_param};
constexpr Method m_get_normalized{
    "get_normalized", "Rect",
    "A new Rect covering the same area with a negative width or height made positive (x + width, -width)."};
constexpr Method m_to_normalized{"to_normalized", "Rect",
                                 "Makes a negative width or height positive, covering the same area, in place; "
                                 "returns this rectangle."};
constexpr Method m_get_fit{
    "get_fit", "Rect",
    "A new Rect scaled to fit inside other (a rect-like), keeping the aspect ratio, centred in it. ValueError "
    "when this rectangle has zero width and height, or both have zero width or both zero height.",
    other_param};
constexpr Method m_collide_list{
    "collide_list", "int",
    "The index of the first rect-like in rects that overlaps this rectangle (touching edges do not), or -1.",
    {{{"rects", rects_type}}}};
constexpr Method m_collide_list_all{
    "collide_list_all", "list[int]",
    "The indices, in order, of the rect-likes in rects that overlap this rectangle (touching edges do not).",
    {{{"rects", rects_type}}}};
constexpr Method m_collide_objects{
    "collide_objects", "_T | None",
    "The first object whose rectangle, key(object) or else object.rect (a rect-like), overlaps this one; None "
    "when none does.",
    {{{"objects", "Iterable[_T]"}, {"key", "Callable[[_T], object] | None", "None"}}}};
constexpr Method m_collide_objects_all{
    "collide_objects_all", "list[_T]",
    "The objects, in order, whose rectangle, key(object) or else object.rect (a rect-like), overlaps this one.",
    m_collide_objects.params};
constexpr Method m_collide_circle{
    "collide_circle", "bool",
    "Whether the circle at center (a Vector2, or a tuple or list of 2 numbers) with the given radius touches or "
    "overlaps this rectangle; raylib's test, in float32.",
    {{{"center", pair_types}, {"radius", "_FloatLike"}}}};
constexpr Method m_clip_line{
    .name = "clip_line",
    .result = "tuple[tuple[float, float], tuple[float, float]] | tuple[()]",
    .doc = "The part of the segment inside this rectangle or on its edges as ((x1, y1), (x2, y2)) in float32, or "
           "() when none (also for a rectangle without a positive width and height, or a NaN end); the segment "
           "is given as x1, y1, x2, y2, as two points, or as one line of two points or four numbers.",
    .params = {{{"x1", "_FloatLike"}, {"y1", "_FloatLike"}, {"x2", "_FloatLike"}, {"y2", "_FloatLike"}}},
    .more_forms = {{{{{"p1", "_PointArg"}, {"p2", "_PointArg"}}}, {{{"line", "_LineArg"}}}}},
};

using Functions =
    Methods<Def<py_object<width_of, m_get_width>, m_get_width>, Def<py_object<height_of, m_get_height>, m_get_height>,
            Def<py_object<tuple_of, m_get_tuple>, m_get_tuple>,
            Def<py_object<vector4_of, m_get_vector4>, m_get_vector4>,
            Def<py_truth<point_any, m_collide_point>, m_collide_point>,
            Def<py_truth<point_vector2, m_collide_point_vector2>, m_collide_point_vector2>,
            Def<py_truth<point_items<true>, m_collide_point_tuple>, m_collide_point_tuple>,
            Def<py_truth<point_items<false>, m_collide_point_list>, m_collide_point_list>,
            Def<py_truth<rect_any, m_collide_rect>, m_collide_rect>,
            Def<py_truth<rect_rect, m_collide_rect_rect>, m_collide_rect_rect>,
            Def<py_truth<rect_vector4, m_collide_rect_vector4>, m_collide_rect_vector4>,
            Def<py_truth<rect_items<true>, m_collide_rect_tuple>, m_collide_rect_tuple>,
            Def<py_truth<rect_items<false>, m_collide_rect_list>, m_collide_rect_list>,
            Def<py_derived<Moved, m_get_moved, false>, m_get_moved>,
            Def<py_derived<Moved, m_to_moved, true>, m_to_moved>,
            Def<py_derived<Inflated, m_get_inflated, false>, m_get_inflated>,
            Def<py_derived<Inflated, m_to_inflated, true>, m_to_inflated>,
            Def<py_derived<ScaledBy, m_get_scaled_by, false>, m_get_scaled_by>,
            Def<py_derived<ScaledBy, m_to_scaled_by, true>, m_to_scaled_by>,
            Def<py_derived<Clamped, m_get_clamped, false>, m_get_clamped>,
            Def<py_derived<Clamped, m_to_clamped, true>, m_to_clamped>,
            Def<py_derived<Clipped, m_get_clipped, false>, m_get_clipped>,
            Def<py_derived<Union, m_get_union, false>, m_get_union>,
            Def<py_derived<Union, m_to_union, true>, m_to_union>,
            Def<py_derived<UnionAll, m_get_union_all, false>, m_get_union_all>,
            Def<py_derived<UnionAll, m_to_union_all, true>, m_to_union_all>,
            Def<py_contains<m_contains>, m_contains>,
            Def<py_derived<Normalized, m_get_normalized, false>, m_get_normalized>,
            Def<py_derived<Normalized, m_to_normalized, true>, m_to_normalized>,
            Def<py_derived<Fit, m_get_fit, false>, m_get_fit>,
            Def<py_collide_list<m_collide_list>, m_collide_list>,
            Def<py_collide_list_all<m_collide_list_all>, m_collide_list_all>,
            Def<py_collide_objects<m_collide_objects, false>, m_collide_objects>,
            Def<py_collide_objects<m_collide_objects_all, true>, m_collide_objects_all>,
            Def<py_collide_circle<m_collide_circle>, m_collide_circle>,
            Def<py_clip_line<m_clip_line>, m_clip_line>>;
auto functions =
    Functions::table(refuse_reduce_def<pickling_message_raw>(), refuse_setstate_def<pickling_message_raw>());


// ---- construction -----------------------------------------------------------------------------

// Converts and stores field i at once (a later failure leaves it stored).
bool store_field(Obj* self, int i, double d) noexcept {
    set(self, i, narrow(d));
    return true;
}

int init_from(Obj* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    if (kwnames && PyTuple_GET_SIZE(kwnames)) {
        raise_unexpected_keyword("__init__", PyTuple_GET_ITEM(kwnames, 0));
        return -1;
    }
    double d[4] = {0, 0, 0, 0};
    if (nargs == 0) {
        store(self, Rectangle{0, 0, 0, 0});
        return 0;
    }
    if (nargs == 4) {
        for (int i = 0; i < 4; ++i)
            if (!to_double(args[i], d[i]) || !store_field(self, i, d[i])) return -1;
        return 0;
    }
    if (nargs == 2) {
        double p[2], s[2];
        int ok = read_pair(args[0], p[0], p[1]);
        if (ok == 0) PyErr_SetString(PyExc_ValueError, "First argument must be a Vector2 or list/tuple of length 2");
        if (ok != 1) return -1;
        store_field(self, 0, p[0]);
        store_field(self, 1, p[1]);
        ok = read_pair(args[1], s[0], s[1]);
        if (ok == 0) PyErr_SetString(PyExc_ValueError, "Second argument must be a Vector2 or list/tuple of length 2");
        if (ok != 1) return -1;
        store_field(self, 2, s[0]);
        store_field(self, 3, s[1]);
        return 0;
    }
    if (nargs != 1) {
        PyErr_Format(PyExc_TypeError, "Rect expected 0, 1, 2, or 4 arguments, got %zd", nargs);
        return -1;
    }
    PyObject* a = args[0];
    if (PyObject_TypeCheck(a, vector2_type)) {  // a size at the origin
        read_vector2(a, d[2], d[3]);
        store(self, Rectangle{0.0f, 0.0f, narrow(d[2]), narrow(d[3])});
        return 0;
    }
    if (is_rect(a)) {
        store(self, load(as(a)));
        return 0;
    }
    if (PyObject_TypeCheck(a, vector4_type)) {
        read_vector4(a, d);
        store(self, Rectangle{narrow(d[0]), narrow(d[1]), narrow(d[2]), narrow(d[3])});
        return 0;
    }
    if (PyList_Check(a) || PyTuple_Check(a)) {
        const int ok = is_sequence_of(a, 4);
        if (ok < 0) return -1;
        if (!ok) {
            PyErr_SetString(PyExc_ValueError, "list/tuple for rect must have 4 elements");
            return -1;
        }
        for (int i = 0; i < 4; ++i)
            if (!item_double(a, i, d[i]) || !store_field(self, i, d[i])) return -1;
        return 0;
    }
    PyErr_SetString(PyExc_ValueError, "Rect takes Vector2, Rect, Vector4, or list/tuple of length 4");
    return -1;
}

constexpr auto tp_new = Record::tp_new<&table>;

int tp_init(PyObject* self, PyObject* args, PyObject* kwds) noexcept {
    if (kwds && PyDict_GET_SIZE(kwds)) {
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        PyDict_Next(kwds, &pos, &key, &value);
        raise_unexpected_keyword("__init__", key);
    } else if (init_from(as(self), &PyTuple_GET_ITEM(args, 0), PyTuple_GET_SIZE(args), nullptr) == 0) {
        return 0;
    }
    add_traceback("__init__");
    return -1;
}

// Rect(...) itself without type.__call__'s detour (subclasses do not inherit this).
PyObject* tp_vectorcall(PyObject* type, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept {
    Ref o(tp_new(reinterpret_cast<PyTypeObject*>(type), nullptr, nullptr));
    if (!o || init_from(as(o.get()), args, PyVectorcall_NARGS(nargsf), kwnames) < 0) return fail("__init__");
    return o.release();
}

// ---- text, comparison, sequence ---------------------------------------------------------------

PyObject* tp_repr(PyObject* self) noexcept {
    const Rectangle r = load(as(self));
    char buf[160];
    size_t pos = 0;
    auto text = [&](const char* s) {
        while (*s) buf[pos++] = *s++;
    };
    text("Rect(position=(");
    bool ok = append_float_repr(buf, pos, r.x);
    text(", ");
    ok = ok && append_float_repr(buf, pos, r.y);
    text("), size=(");
    ok = ok && append_float_repr(buf, pos, r.width);
    text(", ");
    ok = ok && append_float_repr(buf, pos, r.height);
    text("))");
    return ok ? PyUnicode_FromStringAndSize(buf, static_cast<Py_ssize_t>(pos)) : fail("__repr__");
}

// Equal to another Rect field by field (NaN unequal); anything else is simply unequal.
PyObject* tp_richcompare(PyObject* a, PyObject* b, int op) noexcept {
    if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
    const bool eq = is_rect(a) && is_rect(b) && Record::equal(as(a), as(b));
    return PyBool_FromLong(eq == (op == Py_EQ));
}

Py_ssize_t sq_length(PyObject*) noexcept { return 4; }

void raise_rect_index() noexcept { PyErr_SetString(PyExc_IndexError, "Rect index out of range"); }
// r[i] and r[i] = v: the value is converted first (its error wins), then the index is checked.
struct Owner {
    static PyTypeObject* type() noexcept { return &rect_type; }
};
using Items = Record::Items<Owner, raise_rect_index, false>;
// iter(r): the four fields, exactly as r[0] ... r[3] give them.
constexpr char iterator_name[] = "vantor.rect.rect.RectIterator";
using Iterator = RecordIterator<Items::sq_item, 4, iterator_name>;
PyObject* tp_iter(PyObject* self) noexcept {
    PyObject* it = Iterator::iter(self);
    return it ? it : fail("__iter__");
}

// ---- properties -------------------------------------------------------------------------------

enum Prop {
    X, Y, W, H, WIDTH, HEIGHT, LEFT, TOP, RIGHT, BOTTOM, CENTERX, CENTERY, CENTER,
    TOPLEFT, TOPRIGHT, BOTTOMLEFT, BOTTOMRIGHT, MIDTOP, MIDBOTTOM, MIDLEFT, MIDRIGHT, SIZE, PROPS
};
constexpr char float_like[] = "_FloatLike";
// Computed edges and centre: assigning one moves the rectangle. The value is combined with a float
// by Python subtraction before it is converted.
constexpr std::array<Property, PROPS> props{{
    {"x", "float", "The left edge, stored as float32; assigning converts with float() and rounds to float32.",
     float_like},
    {"y", "float", "The top edge, stored as float32; assigning converts with float() and rounds to float32.",
     float_like},
    {"w", "float", "The width (the same as width), stored as float32.", float_like},
    {"h", "float", "The height (the same as height), stored as float32.", float_like},
    {"width", "float", "The width, stored as float32; negative, infinite and NaN widths are kept as given.",
     float_like},
    {"height", "float", "The height, stored as float32; negative, infinite and NaN heights are kept as given.",
     float_like},
    {"left", "float", "The left edge (the same as x).", float_like},
    {"top", "float", "The top edge (the same as y).", float_like},
    {"right", "float", "x + width (float32); assigning moves the rectangle horizontally, keeping its width.",
     "float"},
    {"bottom", "float", "y + height (float32); assigning moves the rectangle vertically, keeping its height.",
     "float"},
    {"centerx", "float", "The horizontal centre, x + width / 2 (float32); assigning moves the rectangle.", "float"},
    {"centery", "float", "The vertical centre, y + height / 2 (float32); assigning moves the rectangle.", "float"},
    {"center", "Vector2",
     "A new Vector2 of the centre; assigning a Vector2 or a pair of numbers moves the rectangle.",
     "Vector2 | _Pair"},
    {"topleft", "Vector2", "A new Vector2 (x, y); assigning a Vector2 or a pair of numbers moves the rectangle.",
     "Vector2 | _Pair"},
    {"topright", "Vector2",
     "A new Vector2 (right, y); assigning a Vector2 or a pair of numbers moves the rectangle.", "Vector2 | _Pair"},
    {"bottomleft", "Vector2",
     "A new Vector2 (x, bottom); assigning a Vector2 or a pair of numbers moves the rectangle.", "Vector2 | _Pair"},
    {"bottomright", "Vector2",
     "A new Vector2 (right, bottom); assigning a Vector2 or a pair of numbers moves the rectangle.",
     "Vector2 | _Pair"},
    {"midtop", "Vector2",
     "A new Vector2 (centerx, y); assigning a Vector2 or a pair of numbers moves the rectangle.", "Vector2 | _Pair"},
    {"midbottom", "Vector2",
     "A new Vector2 (centerx, bottom); assigning a Vector2 or a pair of numbers moves the rectangle.",
     "Vector2 | _Pair"},
    {"midleft", "Vector2",
     "A new Vector2 (x, centery); assigning a Vector2 or a pair of numbers moves the rectangle.", "Vector2 | _Pair"},
    {"midright", "Vector2",
     "A new Vector2 (right, centery); assigning a Vector2 or a pair of numbers moves the rectangle.",
     "Vector2 | _Pair"},
    {"size", "Vector2",
     "A new Vector2 (width, height); assigning a Vector2 or a pair of numbers sets both, keeping x and y.",
     "Vector2 | _Pair"},
}};
// The field a plain property reads and writes.
constexpr int prop_field[PROPS] = {0, 1, 2, 3, 2, 3, 0, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

// The point property P names on the rectangle, each coordinate in float32 as the edge and centre
// properties give it.
template <Prop P>
Vector2 point_of(const Rectangle& r) noexcept {
    constexpr bool left = P == TOPLEFT || P == BOTTOMLEFT || P == MIDLEFT;
    constexpr bool right = P == TOPRIGHT || P == BOTTOMRIGHT || P == MIDRIGHT;
    constexpr bool top = P == TOPLEFT || P == TOPRIGHT || P == MIDTOP;
    constexpr bool bottom = P == BOTTOMLEFT || P == BOTTOMRIGHT || P == MIDBOTTOM;
    if constexpr (P == SIZE) return {r.width, r.height};
    return {left ? r.x : right ? right_of(r) : centerx_of(r), top ? r.y : bottom ? bottom_of(r) : centery_of(r)};
}

// Fails a property read with the traceback entry "<attr>.__get__".
[[gnu::noinline, gnu::cold]] PyObject* fail_getter(const char* attr) noexcept {
    Ref op(PyUnicode_FromFormat("%s.__get__", attr));
    const char* text = op ? PyUnicode_AsUTF8(op.get()) : nullptr;
    return fail(text ? text : "__get__");
}

// One getter and one setter per property, the property fixed at compile time: a plain field is
// one load (the hottest attribute accesses), without a closure to follow.
template <Prop P>
PyObject* get_prop(PyObject* self, void*) noexcept {
    if constexpr (prop_field[P] >= 0) {
        return py_float(get(as(self), prop_field[P]));
    } else {
        const Rectangle r = load(as(self));
        if constexpr (P == RIGHT) return py_float(right_of(r));
        if constexpr (P == BOTTOM) return py_float(bottom_of(r));
        if constexpr (P == CENTERX) return py_float(centerx_of(r));
        if constexpr (P == CENTERY) return py_float(centery_of(r));
        if constexpr (P == CENTER) {
            PyObject* v = vector2_table->new_(centerx_of(r), centery_of(r));
            return v ? v : fail("center.__get__");
        }
        if constexpr (P > CENTER) {
            const Vector2 p = point_of<P>(r);
            PyObject* v = vector2_table->new_(p.x, p.y);
            return v ? v : fail_getter(props[P].name);
        }
    }
}

// v - subtrahend with Python subtraction (v may be any object supporting it), as a double.
bool difference(PyObject* v, float subtrahend, double& out) noexcept {
    Ref s(py_float(subtrahend));
    Ref d(s ? PyNumber_Subtract(v, s.get()) : nullptr);
    return d && to_double(d.get(), out);
}

// An assigned point: a Vector2's x and y, else items 0 and 1 of any indexable object.
bool read_point_value(PyObject* v, double& a, double& b) noexcept {
    if (PyObject_TypeCheck(v, vector2_type)) {
        read_vector2(v, a, b);
        return true;
    }
    Ref i0(PyLong_FromLong(0)), i1(PyLong_FromLong(1));
    Ref first(PyObject_GetItem(v, i0.get()));
    if (!first || !to_double(first.get(), a)) return false;
    Ref second(PyObject_GetItem(v, i1.get()));
    return second && to_double(second.get(), b);
}

bool set_center(Obj* self, PyObject* v) noexcept {
    double cx, cy;
    if (!read_point_value(v, cx, cy)) return false;
    set(self, 0, narrow(cx - static_cast<double>(0.5f * get(self, 2))));
    set(self, 1, narrow(cy - static_cast<double>(get(self, 3) * 0.5f)));
    return true;
}

// Moves the rectangle so that the point P names is at the assigned one (size: sets width and
// height instead), from the record as it stands once the value is read; one rounding per field.
template <Prop P>
bool set_point(Obj* self, PyObject* v) noexcept {
    double px, py;
    if (!read_point_value(v, px, py)) return false;
    if constexpr (P == SIZE) {
        set(self, 2, narrow(px));
        set(self, 3, narrow(py));
    } else {
        const Rectangle r = load(self);
        constexpr double kx = P == TOPLEFT || P == BOTTOMLEFT || P == MIDLEFT     ? 0.0
                              : P == TOPRIGHT || P == BOTTOMRIGHT || P == MIDRIGHT ? 1.0
                                                                                   : 0.5;
        constexpr double ky = P == TOPLEFT || P == TOPRIGHT || P == MIDTOP          ? 0.0
                              : P == BOTTOMLEFT || P == BOTTOMRIGHT || P == MIDBOTTOM ? 1.0
                                                                                      : 0.5;
        set(self, 0, narrow(px - kx * r.width));
        set(self, 1, narrow(py - ky * r.height));
    }
    return true;
}

template <Prop P>
int set_prop(PyObject* self, PyObject* value, void*) noexcept {
    Obj* o = as(self);
    if constexpr (prop_field[P] >= 0) {
        if (value && PyFloat_CheckExact(value)) {
            set(o, prop_field[P], narrow(PyFloat_AS_DOUBLE(value)));
            return 0;
        }
    }
    bool ok = value != nullptr;
    if (!ok) raise_not_implemented_del();
    double d;
    if (ok) {
        if constexpr (P == RIGHT) ok = difference(value, get(o, 2), d) && (set(o, 0, narrow(d)), true);
        else if constexpr (P == BOTTOM) ok = difference(value, get(o, 3), d) && (set(o, 1, narrow(d)), true);
        else if constexpr (P == CENTERX) ok = difference(value, get(o, 2) * 0.5f, d) && (set(o, 0, narrow(d)), true);
        else if constexpr (P == CENTERY) ok = difference(value, get(o, 3) * 0.5f, d) && (set(o, 1, narrow(d)), true);
        else if constexpr (P == CENTER) ok = set_center(o, value);
        else if constexpr (P > CENTER) ok = set_point<P>(o, value);
        else ok = to_double(value, d) && (set(o, prop_field[P], narrow(d)), true);
    }
    if (ok) return 0;
    add_setter_traceback(props[P].name);
    return -1;
}

constexpr auto prop_docs = property_docs(props);

constexpr std::array<PyGetSetDef, PROPS + 1> make_getsets() noexcept {
    return []<size_t... P>(std::index_sequence<P...>) {
        return std::array<PyGetSetDef, PROPS + 1>{
            declared_property(props[P], prop_docs[P], get_prop<Prop(P)>, set_prop<Prop(P)>)...,
            PyGetSetDef{nullptr, nullptr, nullptr, nullptr, nullptr}};
    }(std::make_index_sequence<PROPS>{});
}
std::array<PyGetSetDef, PROPS + 1> getsets = make_getsets();

// The stub's lines for the declared members, read from the built module by scripts/gen-stubs.
[[gnu::used]] constexpr auto stub = stub_text<16000>("Rect", NoFill{}, Functions{}, props);

// ---- the type and module execution ------------------------------------------------------------

// The buffer protocol: the four fields, viewed in place.
constexpr char buffer_format[] = "f";

constexpr char type_doc[] =
    "Rect(*args)\n--\n\n"
    "A mutable axis-aligned rectangle: x, y, width and height, each stored in single precision (float32).\n\n"
    "Rect() is empty at the origin; Rect(x, y, width, height) takes numbers; Rect(position, size) takes two "
    "Vector2s or pairs; Rect(v) takes a Rect (copied), a Vector4 (x, y, width, height), a Vector2 (a size at the "
    "origin) or a list or tuple of 4 numbers. Arguments are positional only.\n\n"
    "Points collide when inside or on an edge; rectangles when they overlap (touching edges do not). A Python "
    "subclass may override the methods; native code calling them through the operation table then runs the "
    "override.\n\n"
    "case Rect(x, y, width, height) binds the fields in a match statement. The buffer protocol exposes the "
    "fields as a writable one-dimensional array of format 'f' that views the rectangle itself; with the GIL "
    "forced off, a write through it races like any other field write.\n\n"
    ">>> r = Rect(0, 0, 10, 20)\n>>> r.center, r.collide_point((10, 20)), r.collide_rect(Rect(10, 0, 5, 5))\n"
    "(Vector2(5.0, 10.0), True, False)";

PyBufferProcs buffer = {.bf_getbuffer = Record::bf_getbuffer<buffer_format>};
PySequenceMethods sequence = {.sq_length = sq_length, .sq_item = Items::sq_item, .sq_ass_item = Items::sq_ass_item};
PyMappingMethods mapping = {
    .mp_length = sq_length, .mp_subscript = Items::mp_subscript, .mp_ass_subscript = Items::mp_ass_subscript};

PyTypeObject rect_type = {
    .ob_base = PyVarObject_HEAD_INIT(&PyType_Type, 0)
    .tp_name = "vantor.rect.rect.Rect",
    .tp_basicsize = sizeof(Obj),
    .tp_dealloc = dealloc_plain,
    .tp_repr = tp_repr,
    .tp_as_sequence = &sequence,
    .tp_as_mapping = &mapping,
    .tp_as_buffer = &buffer,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = type_doc,
    .tp_richcompare = tp_richcompare,
    .tp_iter = tp_iter,
    .tp_getset = getsets.data(),
    .tp_init = tp_init,
    .tp_new = tp_new,
    .tp_vectorcall = tp_vectorcall,
};

int add_methods(PyTypeObject* type) noexcept { return add_functions(type, info.full_name, functions.data(), nullptr); }

int publish(PyObject* module) noexcept {
    if (Iterator::ready() < 0) return -1;
    table = {.new_ = new_,
             .get_width = get_width,
             .get_height = get_height,
             .collide_point = collide_point,
             .collide_point_vector2 = collide_point_vector2,
             .collide_point_tuple = collide_point_tuple,
             .collide_point_list = collide_point_list,
             .collide_rect = collide_rect,
             .collide_rect_vector4 = collide_rect_vector4,
             .collide_rect_rect = collide_rect_rect,
             .collide_rect_tuple = collide_rect_tuple,
             .collide_rect_list = collide_rect_list,
             .get_vector4 = get_vector4,
             .get_tuple = get_tuple};
    static constexpr const char* match_args[] = {"x", "y", "width", "height"};
    return publish_type(module, &rect_type, "Rect", &table, {}, add_methods, true, match_args);
}

int imports(PyObject* module) noexcept {
    if (vantor_import_vector2(&vector2_type, &vector2_table) < 0 ||
        vantor_import_vector4(&vector4_type, &vector4_table) < 0)
        return -1;
    return import_builtin_type(module);
}

constexpr ModuleSteps steps{standard_builtins, publish, imports};

}  // namespace

PyMODINIT_FUNC PyInit_rect() { return ModuleDefinition<steps>::init(info); }
