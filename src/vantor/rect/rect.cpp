// vantor.rect.rect: the single-precision axis-aligned rectangle over raylib's Rectangle, with its
// edges, centre and collision tests. Python subclasses may override the table-backed methods.
#include "rect.h"

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
Rectangle load(Obj* o) noexcept { return Record::load_record(o); }
void store(Obj* o, const Rectangle& r) noexcept { Record::store_record(o, r); }
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
    double px, py;
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
            Def<py_truth<rect_items<false>, m_collide_rect_list>, m_collide_rect_list>>;
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

enum Prop { X, Y, W, H, WIDTH, HEIGHT, LEFT, TOP, RIGHT, BOTTOM, CENTERX, CENTERY, CENTER, PROPS };
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
}};
// The field a plain property reads and writes.
constexpr int prop_field[PROPS] = {0, 1, 2, 3, 2, 3, 0, 1, -1, -1, -1, -1, -1};

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
    }
}

// v - subtrahend with Python subtraction (v may be any object supporting it), as a double.
bool difference(PyObject* v, float subtrahend, double& out) noexcept {
    Ref s(py_float(subtrahend));
    Ref d(s ? PyNumber_Subtract(v, s.get()) : nullptr);
    return d && to_double(d.get(), out);
}

bool set_center(Obj* self, PyObject* v) noexcept {
    double cx, cy;
    if (PyObject_TypeCheck(v, vector2_type)) {
        read_vector2(v, cx, cy);
    } else {
        Ref i0(PyLong_FromLong(0)), i1(PyLong_FromLong(1));
        Ref a(PyObject_GetItem(v, i0.get()));
        if (!a || !to_double(a.get(), cx)) return false;
        Ref b(PyObject_GetItem(v, i1.get()));
        if (!b || !to_double(b.get(), cy)) return false;
    }
    set(self, 0, narrow(cx - static_cast<double>(0.5f * get(self, 2))));
    set(self, 1, narrow(cy - static_cast<double>(get(self, 3) * 0.5f)));
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
[[gnu::used]] constexpr auto stub = stub_text<6000>("Rect", NoFill{}, Functions{}, props);

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
