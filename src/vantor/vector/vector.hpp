// The vector family (Vector2, Vector3, Vector4) as one implementation. A traits struct gives what
// differs between them: component count and scalar type, names, messages, the order of key and
// value conversion in item assignment, the read-only swizzles, and whether the record is exposed
// as the `data` mapping. Everything else is written once here.
//
// Precision: componentwise operations between two vectors run in the scalar type; operations with
// a Python number run in double and round back; lengths and distances end in double.
#pragma once

#include "frame/convert.hpp"
#include "frame/core.hpp"
#include "frame/declare.hpp"
#include "frame/docs.hpp"
#include "frame/iterator.hpp"
#include "frame/like.hpp"
#include "frame/module.hpp"
#include "frame/record.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>

namespace vantor::vectors {

using namespace frame;

// A swizzle's name as a fixed-size string, so that tables of them are compile-time data.
template <int N>
struct SwizzleName {
    char s[N + 1];
};

// Every word of N letters over `letters` (N of them), in lexicographic order of that alphabet.
template <int N>
constexpr auto all_swizzles(const char (&letters)[N + 1]) {
    constexpr size_t count = [] {
        size_t c = 1;
        for (int i = 0; i < N; ++i) c *= N;
        return c;
    }();
    std::array<SwizzleName<N>, count> out{};
    for (size_t k = 0; k < count; ++k) {
        size_t rest = k;
        for (int i = N - 1; i >= 0; --i) {
            out[k].s[i] = letters[rest % N];
            rest /= N;
        }
    }
    return out;
}

template <int N>
struct Swizzle {
    const char* name;
    std::array<unsigned char, N> index;  // component read for each result position
    DocString<96> doc;                   // "yx: Vector2" and what it gives
};

template <class Traits>
struct Vector {
    using Obj = typename Traits::Object;
    using Table = typename Traits::Table;
    using T = typename Traits::Scalar;
    static constexpr int N = Traits::N;
    using Vals = std::array<T, N>;

    // ---- state --------------------------------------------------------------------------------

    static inline Table table{};

    static Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }
    static PyTypeObject* type() noexcept { return &type_object; }
    static PyObject* obj(Obj* o) noexcept { return reinterpret_cast<PyObject*>(o); }

    // The components, in the record layer: every access to one goes through these four.
    struct Layout {
        using Object = Obj;
        using Record = typename Traits::Record;
        using Scalar = T;
        static constexpr int N = Traits::N;
        static constexpr Record Obj::*record = &Obj::data;
        static constexpr const auto& members = Traits::members;
    };
    using Record = Fields<Layout>;
    static T get(const Obj* o, int i) noexcept { return Record::get(o, i); }
    static void set(Obj* o, int i, T v) noexcept { Record::set(o, i, v); }
    static Vals load(const Obj* o) noexcept { return Record::load(o); }
    static void store(Obj* o, const Vals& v) noexcept { Record::store(o, v); }

    // ---- construction at C level -------------------------------------------------------------

    // The type's allocator: the object allocator without the generic allocator's size arithmetic
    // and garbage-collector checks (instances are fixed-size and untracked); fields after the
    // header start zeroed.
    static PyObject* tp_alloc(PyTypeObject* type, Py_ssize_t) noexcept {
        auto* o = static_cast<PyObject*>(PyObject_Malloc(sizeof(Obj)));
        if (!o) return PyErr_NoMemory();
        std::memset(reinterpret_cast<char*>(o) + sizeof(PyObject), 0, sizeof(Obj) - sizeof(PyObject));
        return PyObject_Init(o, type);
    }

    // Allocates through the type's allocator with the table pointer set and a zero record.
    static Obj* alloc() noexcept { return Record::template alloc<&table>(&type_object); }

    // Every new vector ends here; `op` names the entry for the traceback when allocation fails.
    // The type's own allocation, called directly and without zeroing: every field after the
    // header is written before the object is handed out.
    static PyObject* make(const Vals& v, const char* op) noexcept {
        auto* o = static_cast<Obj*>(PyObject_Malloc(sizeof(Obj)));
        if (!o) {
            PyErr_NoMemory();
            add_traceback("new");
            if (op) add_traceback(op);
            return nullptr;
        }
        PyObject_Init(obj(o), &type_object);
        o->vtab = &table;
        store(o, v);
        return obj(o);
    }

    template <class... D>
    static Vals from_doubles(D... d) noexcept {
        return Vals{static_cast<T>(static_cast<double>(d))...};
    }

    // Slot 0, `new`: the components arrive as doubles and are stored in the scalar type.
    template <class... D>
    static PyObject* new_(D... d) noexcept {
        static_assert(sizeof...(D) == N);
        return make(from_doubles(d...), nullptr);
    }
    // cfrom_xy/xyz/xyzw, cfrom_ints, cfrom_floats: the same, under their own traceback names.
    template <class... D>
    static PyObject* cfrom_components(D... d) noexcept {
        return make(from_doubles(d...), Traits::n_cfrom_components);
    }
    template <class... D>
    static PyObject* cfrom_ints(D... d) noexcept {
        return make(from_doubles(d...), "cfrom_ints");
    }
    template <class... D>
    static PyObject* cfrom_floats(D... d) noexcept {
        return make(from_doubles(d...), "cfrom_floats");
    }
    static PyObject* cfrom_struct(typename Traits::Record r) noexcept {
        Obj tmp;
        tmp.data = r;
        return make(load(&tmp), "cfrom_struct");
    }
    static PyObject* cfrom_vector(Obj* other) noexcept { return make(load(other), Traits::n_cfrom_vector); }

    // Items 0..N-1 of a tuple or list, by real conversion; too few items is an IndexError, never a
    // read past the end, and another object is a TypeError, never read as a tuple. List items are
    // taken as strong references, so a list changed by another thread cannot hand over a freed
    // object.
    static PyObject* cfrom_tuple(PyObject* t) noexcept {
        if (!PyTuple_Check(t)) {
            PyErr_Format(PyExc_TypeError, "cfrom_tuple() expected a tuple, got %.200s", type_name_of(t));
            add_traceback("cfrom_tuple");
            return nullptr;
        }
        Vals v;
        for (int i = 0; i < N; ++i) {
            if (i >= PyTuple_GET_SIZE(t)) {
                PyErr_SetString(PyExc_IndexError, "tuple index out of range");
                add_traceback("cfrom_tuple");
                return nullptr;
            }
            double d;
            if (!to_double(PyTuple_GET_ITEM(t, i), d)) {
                add_traceback("cfrom_tuple");
                return nullptr;
            }
            v[i] = static_cast<T>(d);
        }
        return make(v, "cfrom_tuple");
    }
    static PyObject* cfrom_list(PyObject* l) noexcept {
        Vals v;
        for (int i = 0; i < N; ++i) {
            Ref item(PyList_GetItemRef(l, i));
            double d;
            if (!item || !to_double(item.get(), d)) {
                add_traceback("cfrom_list");
                return nullptr;
            }
            v[i] = static_cast<T>(d);
        }
        return make(v, "cfrom_list");
    }

    // ---- arithmetic on records ---------------------------------------------------------------

    template <class F>
    static Vals zip(const Vals& a, const Vals& b, F f) noexcept {
        Vals r;
        for (int i = 0; i < N; ++i) r[i] = f(a[i], b[i]);
        return r;
    }
    template <class F>
    static Vals map(const Vals& a, F f) noexcept {
        Vals r;
        for (int i = 0; i < N; ++i) r[i] = f(a[i]);
        return r;
    }
    static T add(T a, T b) noexcept { return a + b; }
    static T sub(T a, T b) noexcept { return a - b; }
    static T mul(T a, T b) noexcept { return a * b; }
    static T div(T a, T b) noexcept { return a / b; }
    static T floordiv(T a, T b) noexcept { return std::floor(a / b); }
    static T neg(T a) noexcept { return -a; }
    static T abs(T a) noexcept { return std::fabs(a); }
    static T round(T a) noexcept { return static_cast<T>(std::round(static_cast<double>(a))); }

    // x*x, then each further square added with one rounding, in the scalar type.
    static T squared_length(const Vals& v) noexcept {
        T q = v[0] * v[0];
        for (int i = 1; i < N; ++i) q = std::fma(v[i], v[i], q);
        return q;
    }
    static double length(const Vals& v) noexcept { return std::sqrt(static_cast<double>(squared_length(v))); }

    // A zero length leaves a zero vector; NaN lengths divide like any other (IEEE).
    static Vals normalized(const Vals& v) noexcept {
        const double len = length(v);
        if (len == 0.0) return Vals{};
        return map(v, [len](T c) { return static_cast<T>(static_cast<double>(c) / len); });
    }

    // Differences in the scalar type, the sum of squares in double.
    static double distance_squared(const Vals& a, const Vals& b) noexcept {
        double d0 = static_cast<double>(static_cast<T>(a[0] - b[0]));
        double s = d0 * d0;
        for (int i = 1; i < N; ++i) {
            const double d = static_cast<double>(static_cast<T>(a[i] - b[i]));
            s = std::fma(d, d, s);
        }
        return s;
    }

    static T dot_product(const Vals& a, const Vals& b) noexcept {
        T p = b[0] * a[0];
        for (int i = 1; i < N; ++i) p = std::fma(a[i], b[i], p);
        return p;
    }

    // The vector product, each component one rounded product inside a fused multiply-subtract.
    static Vals cross_product(const Vals& a, const Vals& b) noexcept
        requires(N == 3)
    {
        return {std::fma(a[1], b[2], -(a[2] * b[1])), std::fma(b[0], a[2], -(b[2] * a[0])),
                std::fma(b[1], a[0], -(a[1] * b[0]))};
    }

    // ---- table entries (C level) -------------------------------------------------------------

    static PyObject* _add(Obj* a, Obj* b) noexcept { return make(zip(load(a), load(b), add), "_add"); }
    static PyObject* _sub(Obj* a, Obj* b) noexcept { return make(zip(load(a), load(b), sub), "_sub"); }
    // Both records are read before the receiver is written, so `a op= a` works.
    static void _iadd(Obj* a, Obj* b) noexcept { store(a, zip(load(a), load(b), add)); }
    static void _isub(Obj* a, Obj* b) noexcept { store(a, zip(load(a), load(b), sub)); }
    static void _imul(Obj* a, Obj* b) noexcept { store(a, zip(load(a), load(b), mul)); }
    // Component by component, each sum read just before it is stored: the receiver may be an operand.
    static void _sadd(Obj* self, Obj* a, Obj* b) noexcept {
        for (int i = 0; i < N; ++i) set(self, i, get(a, i) + get(b, i));
    }
    static void sadd(Obj* self, Obj* new_vec, Obj* old_vec, int) noexcept {
        for (int i = 0; i < N; ++i) set(self, i, get(old_vec, i) + get(new_vec, i));
        if (PyErr_Occurred()) add_traceback("sadd");
    }

    static PyObject* c_get_tuple(Obj* self) noexcept {
        const Vals v = load(self);
        PyObject* t = PyTuple_New(N);
        if (!t) {
            add_traceback("c_get_tuple");
            return nullptr;
        }
        for (int i = 0; i < N; ++i) {
            PyObject* f = PyFloat_FromDouble(static_cast<double>(v[i]));
            if (!f) {
                Py_DECREF(t);
                add_traceback("c_get_tuple");
                return nullptr;
            }
            PyTuple_SET_ITEM(t, i, f);
        }
        return t;
    }
    static PyObject* get_tuple(Obj* self, int) noexcept {
        PyObject* t = c_get_tuple(self);
        if (!t) add_traceback("get_tuple");
        return t;
    }

    template <bool Rounded>
    static PyObject* int_tuple(Obj* self, const char* op) noexcept {
        const Vals v = load(self);
        Ref t(PyTuple_New(N));
        if (!t) {
            add_traceback(op);
            return nullptr;
        }
        for (int i = 0; i < N; ++i) {
            const double d = static_cast<double>(v[i]);
            PyObject* n = int32_from(Rounded ? std::round(d) : d);
            if (!n) {
                add_traceback(op);
                return nullptr;
            }
            PyTuple_SET_ITEM(t.get(), i, n);
        }
        return t.release();
    }
    static PyObject* get_int_tuple(Obj* self, int) noexcept { return int_tuple<false>(self, "get_int_tuple"); }
    static PyObject* get_rounded_tuple(Obj* self, int) noexcept {
        return int_tuple<true>(self, "get_rounded_tuple");
    }

    static PyObject* in_place(Obj* self, const Vals& v) noexcept {
        store(self, v);
        return Py_NewRef(obj(self));
    }
    static PyObject* to_round(Obj* self, int) noexcept { return in_place(self, map(load(self), round)); }
    static PyObject* get_round(Obj* self, int) noexcept { return make(map(load(self), round), "get_round"); }
    static PyObject* to_abs(Obj* self, int) noexcept { return in_place(self, map(load(self), abs)); }
    static PyObject* get_abs(Obj* self, int) noexcept { return make(map(load(self), abs), "get_abs"); }
    static PyObject* to_neg(Obj* self, int) noexcept { return in_place(self, map(load(self), neg)); }
    static PyObject* get_neg(Obj* self, int) noexcept { return make(map(load(self), neg), "get_neg"); }
    static PyObject* copy(Obj* self, int) noexcept { return make(load(self), "copy"); }
    static PyObject* to_normalized(Obj* self, int) noexcept { return in_place(self, normalized(load(self))); }
    static PyObject* get_normalized(Obj* self, int) noexcept {
        return make(normalized(load(self)), "get_normalized");
    }
    static double distance_to(Obj* self, Obj* other, int) noexcept {
        return std::sqrt(distance_squared(load(self), load(other)));
    }
    static double distance_squared_to(Obj* self, Obj* other, int) noexcept {
        return distance_squared(load(self), load(other));
    }
    static double dot(Obj* self, Obj* other, int) noexcept {
        return static_cast<double>(dot_product(load(self), load(other)));
    }
    static PyObject* cross(Obj* self, Obj* other, int) noexcept
        requires(N == 3)
    {
        return make(cross_product(load(self), load(other)), "cross");
    }

    // ---- the toolbox: geometry in double precision ---------------------------------------------

    // Each operation widens the stored components to double, computes there, and rounds each result
    // component once to the scalar type (a no-op for float64). Operations that are undefined for
    // their input (a zero normal, axis or target direction) raise ValueError and change nothing.
    using Wide = std::array<double, N>;
    static Wide wide(const Vals& v) noexcept {
        Wide w;
        for (int i = 0; i < N; ++i) w[i] = static_cast<double>(v[i]);
        return w;
    }
    static Vals rounded(const Wide& w) noexcept {
        Vals v;
        for (int i = 0; i < N; ++i) v[i] = static_cast<T>(w[i]);
        return v;
    }
    // a0 * b0, then each further product added with one rounding (float32 products are exact).
    static double wide_dot(const Wide& a, const Wide& b) noexcept {
        double s = a[0] * b[0];
        for (int i = 1; i < N; ++i) s = std::fma(a[i], b[i], s);
        return s;
    }
    static double wide_length(const Wide& a) noexcept { return std::sqrt(wide_dot(a, a)); }

    static bool value_error(const char* message) noexcept {
        PyErr_SetString(PyExc_ValueError, message);
        return false;
    }

    static bool lerp_to(Wide& v, const Wide& other, double t) noexcept {
        for (int i = 0; i < N; ++i) v[i] = v[i] + (other[i] - v[i]) * t;
        return true;
    }
    // Python's min() and max() of (component, other's component): the first unless the second is
    // strictly smaller (larger), so a NaN in either keeps this vector's component.
    static bool min_with(Wide& v, const Wide& other) noexcept {
        for (int i = 0; i < N; ++i) v[i] = other[i] < v[i] ? other[i] : v[i];
        return true;
    }
    static bool max_with(Wide& v, const Wide& other) noexcept {
        for (int i = 0; i < N; ++i) v[i] = other[i] > v[i] ? other[i] : v[i];
        return true;
    }
    static bool clamp_between(Wide& v, const Wide& low, const Wide& high) noexcept {
        return max_with(v, low) && min_with(v, high);
    }
    static bool move_toward(Wide& v, const Wide& target, double max_distance) noexcept {
        Wide d;
        for (int i = 0; i < N; ++i) d[i] = target[i] - v[i];
        const double distance = wide_length(d);
        if (distance <= max_distance || distance == 0.0) {
            v = target;
            return true;
        }
        const double f = max_distance / distance;
        for (int i = 0; i < N; ++i) v[i] = v[i] + d[i] * f;
        return true;
    }
    static bool project_onto(Wide& v, const Wide& onto) noexcept {
        const double oo = wide_dot(onto, onto);
        if (oo == 0.0) return value_error("cannot project onto a zero vector");
        const double f = wide_dot(v, onto) / oo;
        for (int i = 0; i < N; ++i) v[i] = onto[i] * f;
        return true;
    }
    static bool reflect_off(Wide& v, const Wide& normal) noexcept {
        const double nn = wide_dot(normal, normal);
        if (nn == 0.0) return value_error("cannot reflect off a zero normal");
        const double f = 2.0 * wide_dot(v, normal) / nn;
        for (int i = 0; i < N; ++i) v[i] = v[i] - f * normal[i];
        return true;
    }
    static bool scale_to(Wide& v, double length) noexcept {
        const double current = wide_length(v);
        if (current == 0.0) return value_error("cannot scale a zero vector to a length");
        const double f = length / current;
        for (int i = 0; i < N; ++i) v[i] = v[i] * f;
        return true;
    }
    static bool clamp_length(Wide& v, double min_length, double max_length) noexcept {
        if (!(min_length >= 0.0 && max_length >= min_length))
            return value_error("the length range must satisfy 0 <= min_length <= max_length");
        const double current = wide_length(v);
        if (current > max_length) return scale_to(v, max_length);
        if (current < min_length) return scale_to(v, min_length);
        return true;
    }
    // Counter-clockwise in the plane.
    static bool rotate_plane(Wide& v, double angle) noexcept
        requires(N == 2)
    {
        const double c = std::cos(angle), s = std::sin(angle), x = v[0], y = v[1];
        v = {x * c - y * s, x * s + y * c};
        return true;
    }
    // About a unit axis k by the right-hand rule: v cos a + (k x v) sin a + k (k . v)(1 - cos a).
    static bool rotate_axis(Wide& v, const Wide& axis, double angle) noexcept
        requires(N == 3)
    {
        const double n = wide_length(axis);
        if (n == 0.0) return value_error("cannot rotate about a zero axis");
        const Wide k{axis[0] / n, axis[1] / n, axis[2] / n};
        const double c = std::cos(angle), s = std::sin(angle), kv = wide_dot(k, v) * (1.0 - c);
        const Wide kxv{k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2], k[0] * v[1] - k[1] * v[0]};
        for (int i = 0; i < N; ++i) v[i] = v[i] * c + kxv[i] * s + k[i] * kv;
        return true;
    }
    static bool perpendicular(Wide& v) noexcept
        requires(N == 2)
    {
        v = {-v[1], v[0]};
        return true;
    }
    static double plane_cross(const Wide& a, const Wide& b) noexcept
        requires(N == 2)
    {
        return a[0] * b[1] - a[1] * b[0];
    }
    // Signed in the plane, with -pi (a negative zero cross product) taken as pi.
    static double signed_angle(const Wide& a, const Wide& b) noexcept
        requires(N == 2)
    {
        const double r = std::atan2(plane_cross(a, b), wide_dot(a, b));
        return r == -M_PI ? M_PI : r;
    }
    static double unsigned_angle(const Wide& a, const Wide& b) noexcept
        requires(N == 3)
    {
        const Wide c{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
        return std::atan2(wide_length(c), wide_dot(a, b));
    }

    // ---- Python methods ----------------------------------------------------------------------

    static bool is_vector(PyObject* o) noexcept { return Py_IS_TYPE(o, &type_object); }

    static bool check_vector(PyObject* o, const char* param) noexcept {
        return check_arg_type(o, &type_object, param);
    }

    // ---- declarations ------------------------------------------------------------------------

    // Texts shared by the three types hold keys expanded per type: {T} the type's name, {N} the
    // component count, {P} the components as parameters ("x, y"), {S} the storage
    // ("float32"/"float64"), {F} the storage in words, {R} what assigning does beyond float(), {W}
    // the rounding of a result computed in double, {B} the buffer format, {V}/{C} the names of from_vector2/from_xy and their siblings, {E} the
    // type's example, {c} component `c`; in stub types {f}, {i} and {L} are "float", "int" and
    // "_FloatLike" once per component.
    static constexpr bool single = sizeof(T) == 4;
    struct Keys {
        const char* component = "";
        template <class Out>
        constexpr void operator()(char key, Out& out) const {
            const auto each = [&out](const char* word) {
                for (int i = 0; i < N; ++i) (i ? out.add(", ") : out).add(word);
            };
            switch (key) {
                case 'T': out.add(Traits::name); break;
                case 'N': out.add_int(N); break;
                case 'P':
                    for (int i = 0; i < N; ++i) (i ? out.add(", ") : out).add(Traits::components[i]);
                    break;
                case 'S': out.add(single ? "float32" : "float64"); break;
                case 'F': out.add(single ? "single precision (float32)" : "double precision (float64)"); break;
                case 'R': out.add(single ? " and rounds to float32" : ""); break;
                case 'W': out.add(single ? ", each component rounded once to float32" : ""); break;
                case 'B': out.add(single ? "f" : "d"); break;
                case 'V': out.add(Traits::n_from_vector); break;
                case 'C': out.add(Traits::n_from_components); break;
                case 'E': out.add(Traits::example); break;
                case 'c': out.add(component); break;
                case 'f': each("float"); break;
                case 'i': each("int"); break;
                case 'L': each("_FloatLike"); break;
            }
        }
    };
    template <size_t Cap = 400>
    static constexpr DocString<Cap> doc(const char* pattern, const char* component = "") {
        return expand_doc<Cap>(pattern, Keys{component});
    }

    // A parameter per component, of stub type `type`.
    static constexpr std::array<Param, 4> component_params(const char* type) {
        std::array<Param, 4> p{};
        for (int i = 0; i < N; ++i) p[i] = {Traits::components[i], type};
        return p;
    }
    static constexpr std::array<Param, 4> other{{{"other", "{T}"}}};

    static constexpr Method m_from_vector =
        as_static({Traits::n_from_vector, "{T}", "A new {T} with the components of the {T} other.", other});
    static constexpr Method m_from_tuple = as_static({
        "from_tuple", "{T}",
        "A new {T} from the first {N} items of the tuple other (exactly a tuple; further items are ignored, fewer "
        "raise IndexError), each converted with float().",
        {{{"other", "tuple[{L}, *tuple[object, ...]]"}}}});
    static constexpr Method m_from_list = as_static({
        "from_list", "{T}",
        "A new {T} from the first {N} items of the list other (exactly a list; further items are ignored, fewer "
        "raise IndexError), each converted with float().",
        {{{"other", "list[_FloatLikeT]"}}}});
    static constexpr Method m_from_ints = as_static({
        "from_ints", "{T}",
        "A new {T} from integers: each argument is converted as a C int (floats truncate toward zero; "
        "OverflowError outside the signed 32-bit range), then stored as {S}.",
        component_params("SupportsInt")});
    static constexpr Method m_from_floats = as_static({
        "from_floats", "{T}",
        "A new {T} from numbers, each converted with float() and narrowed to single precision (float32) before it "
        "is stored.",
        component_params("_FloatLike")});
    static constexpr Method m_from_components =
        as_static({Traits::n_from_components, "{T}",
                   "A new {T} from numbers (anything float() accepts), stored as {S}.", component_params("_FloatLike")});
    static constexpr Method m_dunder_copy{"__copy__", "{T}", "A new {T} with the same components (copy.copy)."};
    static constexpr Method m_deepcopy{"__deepcopy__", "{T}",
                                       "A new {T} with the same components (copy.deepcopy; memo is not used).",
                                       {{{"memo", "object"}}}};
    static constexpr Method m_sadd{"sadd", "None",
                                   "Sets this vector to new_vec + old_vec (two {T}s), in place; returns None.",
                                   {{{"new_vec", "{T}"}, {"old_vec", "{T}"}}}};
    static constexpr Method m_get_tuple{"get_tuple", "tuple[{f}]", "The components as a tuple of floats."};
    static constexpr Method m_to_round{
        "to_round", "{T}",
        "Rounds every component to a whole number, halves away from zero, in place; returns this vector."};
    static constexpr Method m_get_round{
        "get_round", "{T}", "A new {T} with every component rounded to a whole number, halves away from zero."};
    static constexpr Method m_to_abs{"to_abs", "{T}",
                                     "Makes every component its absolute value, in place; returns this vector."};
    static constexpr Method m_get_abs{"get_abs", "{T}", "A new {T} of the components' absolute values."};
    static constexpr Method m_to_neg{"to_neg", "{T}", "Negates every component, in place; returns this vector."};
    static constexpr Method m_get_neg{"get_neg", "{T}", "A new {T} with every component negated."};
    static constexpr Method m_get_int_tuple{
        "get_int_tuple", "tuple[{i}]",
        "The components truncated toward zero, as a tuple of ints (ValueError for NaN, OverflowError outside the "
        "signed 32-bit range)."};
    static constexpr Method m_get_rounded_tuple{
        "get_rounded_tuple", "tuple[{i}]",
        "The components rounded, halves away from zero, as a tuple of ints (ValueError for NaN, OverflowError "
        "outside the signed 32-bit range)."};
    static constexpr Method m_copy{"copy", "{T}", "A new {T} with the same components."};
    static constexpr Method m_to_normalized{
        "to_normalized", "{T}",
        "Scales this vector to length 1, in place (a zero vector stays zero); returns this vector."};
    static constexpr Method m_get_normalized{
        "get_normalized", "{T}",
        "A new {T} of length 1 in this vector's direction (the zero vector for a zero vector)."};
    static constexpr Method m_distance_to{"distance_to", "float",
                                          "The Euclidean distance to the {T} other, as a float.", other};
    static constexpr Method m_distance_squared_to{
        "distance_squared_to", "float", "The squared Euclidean distance to the {T} other, as a float.", other};
    static constexpr Method m_dot{"dot", "float", "The dot product with the {T} other, computed in {S}, as a float.",
                                  other};
    static constexpr Method m_cross{"cross", "{T}", "A new {T}, the cross product of this vector and the {T} other.",
                                    other};
    // The toolbox. A vector parameter takes a {T} or a sequence of {N} numbers.
    static constexpr char vector_like[] = "{T} | Sequence[_FloatLike]";
    static constexpr Method m_lerp{
        "lerp", "{T}",
        "A new {T} the fraction t of the way from this vector to other: self + (other - self) * t, in double "
        "precision{W}. t outside 0..1 extrapolates.",
        {{{"other", vector_like}, {"t", "_FloatLike"}}}};
    static constexpr Method m_get_min{
        "get_min", "{T}",
        "A new {T} of the smaller of each pair of components of this vector and other, as min() picks (a NaN in "
        "either keeps this vector's component).",
        {{{"other", vector_like}}}};
    static constexpr Method m_get_max{
        "get_max", "{T}",
        "A new {T} of the larger of each pair of components of this vector and other, as max() picks (a NaN in "
        "either keeps this vector's component).",
        {{{"other", vector_like}}}};
    static constexpr std::array<Param, 4> low_high{{{"low", vector_like}, {"high", vector_like}}};
    static constexpr Method m_get_clamped{
        "get_clamped", "{T}",
        "A new {T} with each component limited to the range of the matching components of low and high: "
        "min(max(c, low), high), so where low exceeds high the result is high.",
        low_high};
    static constexpr Method m_to_clamped{
        "to_clamped", "{T}",
        "Limits each component to the range of the matching components of low and high, as get_clamped does, in "
        "place; returns this vector.",
        low_high};
    static constexpr std::array<Param, 4> target_distance{
        {{"target", vector_like}, {"max_distance", "_FloatLike"}}};
    static constexpr Method m_get_moved_toward{
        "get_moved_toward", "{T}",
        "A new {T} moved from this vector straight toward target by max_distance, or target itself when it lies "
        "within max_distance (a negative max_distance moves away); in double precision{W}.",
        target_distance};
    static constexpr Method m_to_moved_toward{
        "to_moved_toward", "{T}",
        "Moves this vector toward target by at most max_distance, as get_moved_toward does, in place; returns "
        "this vector.",
        target_distance};
    static constexpr std::array<Param, 4> normal{{{"normal", vector_like}}};
    static constexpr Method m_get_reflected{
        "get_reflected", "{T}",
        "A new {T}, this vector reflected off a surface with the given normal (of any non-zero length): self - 2 * "
        "(self . normal) / (normal . normal) * normal, in double precision{W}. ValueError for a zero normal.",
        normal};
    static constexpr Method m_to_reflected{
        "to_reflected", "{T}",
        "Reflects this vector off a surface with the given normal, as get_reflected does, in place; returns this "
        "vector.",
        normal};
    static constexpr Method m_get_clamped_length{
        .name = "get_clamped_length",
        .result = "{T}",
        .doc = "A new {T} in this vector's direction with its length limited to at most max_length, or to "
               "min_length..max_length, in double precision{W}. ValueError when the range is negative or inverted, "
               "or when a zero vector would have to grow.",
        .params = {{{"max_length", "_FloatLike"}}},
        .more_forms = {{{{{"min_length", "_FloatLike"}, {"max_length", "_FloatLike"}}}}},
    };
    static constexpr Method m_to_clamped_length = [] {
        Method m = m_get_clamped_length;
        m.name = "to_clamped_length";
        m.doc = "Limits this vector's length to at most max_length, or to min_length..max_length, as "
                "get_clamped_length does, in place; returns this vector.";
        return m;
    }();
    static constexpr std::array<Param, 4> target_length{{{"length", "_FloatLike"}}};
    static constexpr Method m_get_scaled_to_length{
        "get_scaled_to_length", "{T}",
        "A new {T} in this vector's direction with the given length (a negative length reverses it), in double "
        "precision{W}. ValueError for a zero vector.",
        target_length};
    static constexpr Method m_to_scaled_to_length{
        "to_scaled_to_length", "{T}",
        "Scales this vector to the given length, as get_scaled_to_length does, in place; returns this vector.",
        target_length};
    static constexpr Method m_project{
        "project", "{T}",
        "A new {T}, the projection of this vector onto onto: (self . onto) / (onto . onto) * onto, in double "
        "precision{W}. ValueError when onto is a zero vector.",
        {{{"onto", vector_like}}}};
    static constexpr Method m_angle_to_signed{
        "angle_to", "float",
        "The signed angle in radians from this vector to other, in (-pi, pi], counter-clockwise positive: "
        "atan2(cross, dot) in double precision (0.0 when either is zero).",
        {{{"other", vector_like}}}};
    static constexpr Method m_angle_to_unsigned{
        "angle_to", "float",
        "The angle in radians between this vector and other, in [0, pi]: atan2(|self x other|, self . other) in "
        "double precision (0.0 when either is zero).",
        {{{"other", vector_like}}}};
    static constexpr std::array<Param, 4> angle_only{{{"angle", "_FloatLike"}}};
    static constexpr Method m_get_rotated_plane{
        "get_rotated", "{T}",
        "A new {T}, this vector rotated counter-clockwise by angle radians: (x cos a - y sin a, x sin a + y cos a) "
        "in double precision{W}.",
        angle_only};
    static constexpr Method m_to_rotated_plane{
        "to_rotated", "{T}", "Rotates this vector counter-clockwise by angle radians, as get_rotated does, in place; "
                              "returns this vector.",
        angle_only};
    static constexpr std::array<Param, 4> axis_angle{{{"axis", vector_like}, {"angle", "_FloatLike"}}};
    static constexpr Method m_get_rotated_axis{
        "get_rotated", "{T}",
        "A new {T}, this vector rotated by angle radians about axis (of any non-zero length) by the right-hand "
        "rule: v cos a + (k x v) sin a + k (k . v)(1 - cos a) with k the unit axis, in double precision{W}. "
        "ValueError for a zero axis.",
        axis_angle};
    static constexpr Method m_to_rotated_axis{
        "to_rotated", "{T}",
        "Rotates this vector by angle radians about axis, as get_rotated does, in place; returns this vector.",
        axis_angle};
    static constexpr Method m_cross_plane{
        "cross", "float",
        "The scalar cross product x * other.y - y * other.x in double precision: positive when other lies "
        "counter-clockwise of this vector.",
        {{{"other", vector_like}}}};
    static constexpr Method m_get_perpendicular{
        "get_perpendicular", "{T}", "A new {T} (-y, x): this vector turned a quarter turn counter-clockwise."};
    static constexpr Method m_from_polar = as_static(
        {"from_polar", "{T}",
         "A new {T} (length * cos(angle), length * sin(angle)), angle in radians, in double precision{W}.",
         {{{"length", "_FloatLike"}, {"angle", "_FloatLike"}}}});
    static constexpr Method m_get_polar{
        "get_polar", "tuple[float, float]",
        "(length, angle): the length property's value and atan2(y, x) in radians, as floats."};

    // ---- Python methods ----------------------------------------------------------------------

    template <const Method& M>
    static constexpr auto method_doc_of = method_doc(M, Keys{});

    // A method without parameters that forwards to a table entry taking the dispatch flag.
    template <PyObject* (*Entry)(Obj*, int), const Method& M>
    static PyObject* method0(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        if (!bind_none(M.name, nargs, kwnames)) return fail(M.name);
        return Entry(as(self), 1);
    }

    // A method taking one vector `other` and returning a float.
    template <double (*Entry)(Obj*, Obj*, int), const Method& M>
    static PyObject* method_other(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) noexcept {
        PyObject* o;
        if (!bind_params<M>(args, nargs, kwnames, &o) || !check_vector(o, "other"))
            return fail(M.name);
        return PyFloat_FromDouble(Entry(as(self), as(o), 1));
    }

    // A method taking one vector `other` and returning a new object.
    template <PyObject* (*Entry)(Obj*, Obj*, int), const Method& M>
    static PyObject* method_other_object(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                         PyObject* kwnames) noexcept {
        PyObject* o;
        if (!bind_params<M>(args, nargs, kwnames, &o) || !check_vector(o, "other"))
            return fail(M.name);
        return Entry(as(self), as(o), 1);
    }

    // The three methods below bind with bind_args rather than bind_params: GCC 12 crashes when a
    // function of the class being defined evaluates one of the class's own declarations.
    static PyObject* py_deepcopy(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        PyObject* memo;
        if (!bind_args("__deepcopy__", args, nargs, kwnames, param_names<m_deepcopy>, &memo))
            return fail("__deepcopy__");
        return copy(as(self), 1);
    }

    static PyObject* py_sadd(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        PyObject* a[2];
        if (!bind_args("sadd", args, nargs, kwnames, param_names<m_sadd>, a) || !check_vector(a[0], "new_vec") ||
            !check_vector(a[1], "old_vec"))
            return fail("sadd");
        sadd(as(self), as(a[0]), as(a[1]), 1);
        if (PyErr_Occurred()) return nullptr;
        Py_RETURN_NONE;
    }

    static PyObject* py_from_vector(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        PyObject* o;
        if (!bind_args(Traits::n_from_vector, args, nargs, kwnames, param_names<m_from_vector>, &o) ||
            !check_vector(o, "other"))
            return fail(Traits::n_from_vector);
        return cfrom_vector(as(o));
    }
    // from_tuple / from_list: an exact tuple or list, read by the matching table entry.
    template <bool (*Check)(PyObject*, const char*), PyObject* (*Entry)(PyObject*), const Method& M>
    static PyObject* py_from_items(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        PyObject* o;
        if (!bind_params<M>(args, nargs, kwnames, &o) || !Check(o, "other")) return fail(M.name);
        PyObject* r = Entry(o);
        return r ? r : fail(M.name);
    }

    // Converts every argument with `Convert` before the vector is made; the first failure ends it.
    template <class C, bool (*Convert)(PyObject*, C&)>
    static bool convert_all(const char* fn, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                            std::array<C, N>& out) noexcept {
        PyObject* a[N];
        if (!bind_args(fn, args, nargs, kwnames, Traits::components, a)) return false;
        for (int i = 0; i < N; ++i)
            if (!Convert(a[i], out[i])) return false;
        return true;
    }
    static PyObject* py_from_ints(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        std::array<int, N> c;
        if (!convert_all<int, to_int>("from_ints", args, nargs, kwnames, c)) return fail("from_ints");
        return std::apply([](auto... v) { return cfrom_ints(v...); }, c);
    }
    static PyObject* py_from_floats(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        std::array<float, N> c;
        if (!convert_all<float, to_float>("from_floats", args, nargs, kwnames, c)) return fail("from_floats");
        return std::apply([](auto... v) { return cfrom_floats(v...); }, c);
    }
    static PyObject* py_from_components(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames) noexcept {
        std::array<double, N> c;
        if (!convert_all<double, to_double>(Traits::n_from_components, args, nargs, kwnames, c))
            return fail(Traits::n_from_components);
        return std::apply([](auto... v) { return cfrom_components(v...); }, c);
    }

    // ---- the toolbox from Python -----------------------------------------------------------------

    // A vector argument: this type, or a sequence of N numbers, each converted as the constructor
    // converts a component (so a tuple means what the vector made from it means).
    static constexpr const Kind& like_kind = N == 2 ? vector2_kind : N == 3 ? vector3_kind : vector4_kind;
    static bool read_arg(PyObject* o, Wide& out) noexcept {
        if (is_vector(o)) {
            out = wide(load(as(o)));
            return true;
        }
        T v[N];
        Py_ssize_t len;
        if (!parse_like_items(o, like_kind, v, len)) return false;
        for (int i = 0; i < N; ++i) out[i] = static_cast<double>(v[i]);
        return true;
    }
    static bool read_arg(PyObject* o, double& out) noexcept { return to_double(o, out); }

    template <class... A>
    struct Signature {};
    template <class... A>
    static Signature<std::remove_cvref_t<A>...> signature_of(bool (*)(Wide&, A...));

    // A method running `Op` on this vector's components and the arguments, read in order: a new
    // vector, or (InPlace) the result stored into this one, which is returned.
    template <auto Op, const Method& M, bool InPlace, class... A>
    static PyObject* run_tool(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                              Signature<A...>) noexcept {
        PyObject* a[sizeof...(A) + 1];
        if constexpr (sizeof...(A) == 0) {
            if (!bind_none(M.name, nargs, kwnames)) return fail(M.name);
        } else if (!bind_params<M>(args, nargs, kwnames, a)) {
            return fail(M.name);
        }
        std::tuple<A...> parsed;
        if constexpr (sizeof...(A) > 0) {
            const bool read = std::apply(
                [&a](A&... x) {
                    size_t i = 0;
                    return (read_arg(a[i++], x) && ...);
                },
                parsed);
            if (!read) return fail(M.name);
        }
        Wide v = wide(load(as(self)));
        if (!std::apply([&v](const A&... x) { return Op(v, x...); }, parsed)) return fail(M.name);
        return InPlace ? in_place(as(self), rounded(v)) : make(rounded(v), M.name);
    }
    template <auto Op, const Method& M, bool InPlace = false>
    static PyObject* py_tool(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        return run_tool<Op, M, InPlace>(self, args, nargs, kwnames, decltype(signature_of(Op)){});
    }

    // A method of one vector argument giving a float.
    template <double (*Op)(const Wide&, const Wide&), const Method& M>
    static PyObject* py_measure(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        PyObject* o;
        Wide other;
        if (!bind_params<M>(args, nargs, kwnames, &o) || !read_arg(o, other)) return fail(M.name);
        return PyFloat_FromDouble(Op(wide(load(as(self))), other));
    }

    // get_clamped_length(max_length) or (min_length, max_length), and the in-place form.
    template <const Method& M, bool InPlace>
    static PyObject* py_clamp_length(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) noexcept {
        PyObject* a[2];
        double range[2] = {0.0, 0.0};
        const int form = bind_form<M>(args, nargs, kwnames, a);
        if (form < 0 || !to_double(a[0], range[form == 0]) || (form == 1 && !to_double(a[1], range[1])))
            return fail(M.name);
        Wide v = wide(load(as(self)));
        if (!clamp_length(v, range[0], range[1])) return fail(M.name);
        return InPlace ? in_place(as(self), rounded(v)) : make(rounded(v), M.name);
    }

    static PyObject* get_angle(PyObject* self, void*) noexcept
        requires(N == 2)
    {
        const Vals v = load(as(self));
        return PyFloat_FromDouble(std::atan2(static_cast<double>(v[1]), static_cast<double>(v[0])));
    }
    static PyObject* get_length_squared(PyObject* self, void*) noexcept {
        const Wide w = wide(load(as(self)));
        return PyFloat_FromDouble(wide_dot(w, w));
    }

    template <const Method& M>
    static PyObject* py_get_polar(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        if (!bind_none(M.name, nargs, kwnames)) return fail(M.name);
        const Vals v = load(as(self));
        PyObject* t = Py_BuildValue("(dd)", length(v), std::atan2(static_cast<double>(v[1]), static_cast<double>(v[0])));
        return t ? t : fail(M.name);
    }
    template <const Method& M>
    static PyObject* py_from_polar(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        PyObject* a[2];
        double r, angle;
        if (!bind_params<M>(args, nargs, kwnames, a) || !to_double(a[0], r) || !to_double(a[1], angle))
            return fail(M.name);
        return make(rounded(Wide{r * std::cos(angle), r * std::sin(angle)}), M.name);
    }

    // ---- docstrings of the type and its attributes ----------------------------------------------

    static constexpr auto d_type = doc<1600>(
        "{T}(*args)\n--\n\n"
        "A mutable {N}-component vector stored in {F}.\n\n"
        "{T}() is the zero vector and {T}({P}) takes numbers (anything float() accepts). {T}(v) copies "
        "a {T}, a list or tuple of {N} numbers, or another library's vector (an object with the "
        "components and clamp_magnitude_ip). Arguments are positional only.\n\n"
        "a + b and a - b take two {T}s. a * s, a / s and a // s take a {T} (componentwise) or an int "
        "or float s on the right; s * a raises TypeError. Between two vectors the arithmetic runs in "
        "{S}; with a number it runs in double precision and each result is stored as {S}. Division "
        "by zero gives infinities or NaN. Methods named to_* change the vector in place and return it; "
        "get_* return a new vector.\n\n"
        "case {T}({P}) binds the components in a match statement. The buffer protocol exposes the "
        "components as a writable one-dimensional array of format '{B}' (memoryview(v), "
        "numpy.asarray(v)) that views the vector itself; with the GIL forced off, a write through it "
        "races like any other component write.\n\n{E}");

    // The properties besides the swizzles: the components, `length`, `data` where the type has it,
    // `length_squared`, then `angle` in the plane.
    static constexpr size_t data_index = N + 1;
    static constexpr size_t squared_index = data_index + (Traits::has_data ? 1 : 0);
    static constexpr size_t property_count = squared_index + 1 + (N == 2 ? 1 : 0);
    static constexpr std::array<Property, property_count> properties = [] {
        std::array<Property, property_count> p{};
        for (int i = 0; i < N; ++i)
            p[i] = {Traits::components[i], "float",
                    "The {c} component, stored as {S}; assigning converts with float(){R}.", "_FloatLike"};
        p[N] = {"length", "float", "The Euclidean length (read-only)."};
        if constexpr (Traits::has_data)
            p[data_index] = {"data", "dict[str, float]",
                             "The components as a new dict {'x': x, 'y': y}. Assigning a mapping with the keys 'x' "
                             "and 'y' sets both, or neither when a value is missing or fails to convert.",
                             "Mapping[str, _FloatLike]"};
        p[squared_index] = {"length_squared", "float",
                            "The squared Euclidean length, the sum of the squared components in double precision "
                            "(read-only)."};
        if constexpr (N == 2)
            p[squared_index + 1] = {"angle", "float",
                                    "The angle in radians from the positive x axis, atan2(y, x) (read-only)."};
        return p;
    }();
    static constexpr auto property_docs_ = [] {
        std::array<DocString<400>, property_count> d{};
        for (size_t i = 0; i < property_count; ++i)
            d[i] = property_doc<400>(properties[i], Keys{i < N ? Traits::components[i] : ""});
        return d;
    }();

    // The Python methods, in the order the type's dict holds them.
    template <auto F, const Method& M>
    using VDef = Def<F, M, method_doc_of<M>.s>;
    using Common = Methods<
        VDef<py_from_vector, m_from_vector>,
        VDef<py_from_items<check_exact_tuple, cfrom_tuple, m_from_tuple>, m_from_tuple>,
        VDef<py_from_items<check_exact_list, cfrom_list, m_from_list>, m_from_list>, VDef<py_from_ints, m_from_ints>,
        VDef<py_from_floats, m_from_floats>, VDef<py_from_components, m_from_components>,
        VDef<method0<copy, m_dunder_copy>, m_dunder_copy>, VDef<py_deepcopy, m_deepcopy>, VDef<py_sadd, m_sadd>,
        VDef<method0<get_tuple, m_get_tuple>, m_get_tuple>, VDef<method0<to_round, m_to_round>, m_to_round>,
        VDef<method0<get_round, m_get_round>, m_get_round>, VDef<method0<to_abs, m_to_abs>, m_to_abs>,
        VDef<method0<get_abs, m_get_abs>, m_get_abs>, VDef<method0<to_neg, m_to_neg>, m_to_neg>,
        VDef<method0<get_neg, m_get_neg>, m_get_neg>, VDef<method0<get_int_tuple, m_get_int_tuple>, m_get_int_tuple>,
        VDef<method0<get_rounded_tuple, m_get_rounded_tuple>, m_get_rounded_tuple>,
        VDef<method0<copy, m_copy>, m_copy>, VDef<method0<to_normalized, m_to_normalized>, m_to_normalized>,
        VDef<method0<get_normalized, m_get_normalized>, m_get_normalized>,
        VDef<method_other<distance_to, m_distance_to>, m_distance_to>,
        VDef<method_other<distance_squared_to, m_distance_squared_to>, m_distance_squared_to>,
        VDef<method_other<dot, m_dot>, m_dot>>;
    // The toolbox every vector type has, then what only some have.
    using Toolbox = Methods<VDef<py_tool<lerp_to, m_lerp>, m_lerp>, VDef<py_tool<min_with, m_get_min>, m_get_min>,
                            VDef<py_tool<max_with, m_get_max>, m_get_max>,
                            VDef<py_tool<clamp_between, m_get_clamped>, m_get_clamped>,
                            VDef<py_tool<clamp_between, m_to_clamped, true>, m_to_clamped>,
                            VDef<py_tool<move_toward, m_get_moved_toward>, m_get_moved_toward>,
                            VDef<py_tool<move_toward, m_to_moved_toward, true>, m_to_moved_toward>>;
    // Vector2 and Vector3: reflection, lengths, projection; then each one's angle and rotation.
    using Spatial = Methods<VDef<py_tool<reflect_off, m_get_reflected>, m_get_reflected>,
                            VDef<py_tool<reflect_off, m_to_reflected, true>, m_to_reflected>,
                            VDef<py_clamp_length<m_get_clamped_length, false>, m_get_clamped_length>,
                            VDef<py_clamp_length<m_to_clamped_length, true>, m_to_clamped_length>,
                            VDef<py_tool<scale_to, m_get_scaled_to_length>, m_get_scaled_to_length>,
                            VDef<py_tool<scale_to, m_to_scaled_to_length, true>, m_to_scaled_to_length>,
                            VDef<py_tool<project_onto, m_project>, m_project>>;
    using Functions = decltype([] {
        if constexpr (N == 2)
            return typename Common::template With<Toolbox>::template With<Spatial>::template With<
                Methods<VDef<py_measure<signed_angle, m_angle_to_signed>, m_angle_to_signed>,
                        VDef<py_tool<rotate_plane, m_get_rotated_plane>, m_get_rotated_plane>,
                        VDef<py_tool<rotate_plane, m_to_rotated_plane, true>, m_to_rotated_plane>,
                        VDef<py_measure<plane_cross, m_cross_plane>, m_cross_plane>,
                        VDef<py_tool<perpendicular, m_get_perpendicular>, m_get_perpendicular>,
                        VDef<py_from_polar<m_from_polar>, m_from_polar>, VDef<py_get_polar<m_get_polar>, m_get_polar>>>{};
        else if constexpr (N == 3)
            return typename Common::template With<Methods<VDef<method_other_object<cross, m_cross>, m_cross>>>::
                template With<Toolbox>::template With<Spatial>::template With<
                    Methods<VDef<py_measure<unsigned_angle, m_angle_to_unsigned>, m_angle_to_unsigned>,
                            VDef<py_tool<rotate_axis, m_get_rotated_axis>, m_get_rotated_axis>,
                            VDef<py_tool<rotate_axis, m_to_rotated_axis, true>, m_to_rotated_axis>>>{};
        else
            return typename Common::template With<Toolbox>{};
    }());
    static inline auto methods = Functions::table(refuse_reduce_def<pickling_message_data>(),
                                                  refuse_setstate_def<pickling_message_data>());

    // The table entries every vector type has; the traits fill the few whose names carry the type.
    static void fill_table(Table& t) noexcept {
        t.new_ = new_;
        if constexpr (requires { t.cfrom_struct; }) t.cfrom_struct = cfrom_struct;
        t.cfrom_list = cfrom_list;
        t.cfrom_ints = cfrom_ints;
        t.cfrom_floats = cfrom_floats;
        t.cfrom_tuple = cfrom_tuple;
        t._add = _add;
        t._sub = _sub;
        t._iadd = _iadd;
        t._isub = _isub;
        t._imul = _imul;
        t._sadd = _sadd;
        t.sadd = sadd;
        t.get_tuple = get_tuple;
        t.c_get_tuple = c_get_tuple;
        t.to_round = to_round;
        t.get_round = get_round;
        t.to_abs = to_abs;
        t.get_abs = get_abs;
        t.to_neg = to_neg;
        t.get_neg = get_neg;
        t.get_int_tuple = get_int_tuple;
        t.get_rounded_tuple = get_rounded_tuple;
        t.copy = copy;
        t.to_normalized = to_normalized;
        t.get_normalized = get_normalized;
        t.distance_to = distance_to;
        t.distance_squared_to = distance_squared_to;
        t.dot = dot;
        if constexpr (N == 3) t.cross = cross;
        Traits::template fill_named<Vector>(t);
    }

    // Module execution of a vector module: fill the table, publish the type, import the built-in
    // `type` as every module does.
    static int publish(PyObject* module) noexcept {
        fill_table(table);
        if (Iterator::ready() < 0) return -1;
        return publish_type(module, &type_object, Traits::name, &table, hidden, nullptr, true, Traits::components);
    }
    static constexpr ModuleSteps steps{standard_builtins, publish, import_builtin_type};

    // ---- construction from Python ------------------------------------------------------------

    // Converts and stores one component at once, so a later failure leaves the earlier ones stored.
    static bool store_converted(Obj* self, int i, PyObject* value) noexcept {
        double d;
        if (!to_double(value, d)) return false;
        set(self, i, static_cast<T>(d));
        return true;
    }

    static int init_from(Obj* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        if (kwnames && PyTuple_GET_SIZE(kwnames)) {
            raise_unexpected_keyword("__init__", PyTuple_GET_ITEM(kwnames, 0));
            return -1;
        }
        if (nargs == 0) {
            store(self, Vals{});
            return 0;
        }
        if (nargs == N) {
            for (int i = 0; i < N; ++i)
                if (!store_converted(self, i, args[i])) return -1;
            return 0;
        }
        if (nargs != 1) {
            PyErr_Format(PyExc_TypeError, "%s() takes 0, 1, or %d arguments, but %zd were given", Traits::name, N,
                         nargs);
            return -1;
        }
        PyObject* a = args[0];
        if (PyObject_TypeCheck(a, &type_object)) {
            store(self, load(as(a)));
            return 0;
        }
        // A foreign vector object is recognised by this method of its API.
        PyObject* probe = nullptr;
        if (get_optional_attr(a, "clamp_magnitude_ip", &probe) < 0) return -1;
        if (probe) {
            Py_DECREF(probe);
            for (int i = 0; i < N; ++i) {
                Ref c(get_attr(a, Traits::components[i]));
                if (!c || !store_converted(self, i, c.get())) return -1;
            }
            return 0;
        }
        if (PyList_Check(a) || PyTuple_Check(a)) {
            const Py_ssize_t len = PyObject_Length(a);
            if (len < 0) return -1;
            if (len != N) {
                PyErr_Format(PyExc_TypeError, "%s() takes a sequence of length %d, but got %zd", Traits::name, N, len);
                return -1;
            }
            for (int i = 0; i < N; ++i) {
                Ref item(item_ref(a, i));
                if (!item || !store_converted(self, i, item.get())) return -1;
            }
            return 0;
        }
        Ref tname(Traits::type_name_as_attribute ? type_name_text(a) : PyType_GetName(Py_TYPE(a)));
        if (tname) PyErr_Format(PyExc_TypeError, "%s() invalid constructor argument: %U", Traits::name, tname.get());
        return -1;
    }

    static constexpr auto tp_new = Record::template tp_new<&table>;
    static int tp_init(PyObject* self, PyObject* args, PyObject* kwds) noexcept {
        if (kwds && PyDict_GET_SIZE(kwds)) {
            Py_ssize_t pos = 0;
            PyObject *key, *value;
            PyDict_Next(kwds, &pos, &key, &value);
            raise_unexpected_keyword("__init__", key);
            add_traceback("__init__");
            return -1;
        }
        if (init_from(as(self), &PyTuple_GET_ITEM(args, 0), PyTuple_GET_SIZE(args), nullptr) < 0) {
            add_traceback("__init__");
            return -1;
        }
        return 0;
    }
    // Vector2(...) without the detour through type.__call__, __new__ and an argument tuple: the
    // same result as tp_new followed by tp_init (the type cannot be subclassed).
    static PyObject* tp_vectorcall(PyObject*, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept {
        Obj* o = alloc();
        if (!o) return fail("__new__");
        if (init_from(o, args, PyVectorcall_NARGS(nargsf), kwnames) < 0) {
            Py_DECREF(o);
            return fail("__init__");
        }
        return obj(o);
    }

    // ---- text, hash, comparison --------------------------------------------------------------

    static PyObject* tp_repr(PyObject* self) noexcept {
        const Vals v = load(as(self));
        char buf[16 + N * 34];
        size_t pos = 0;
        for (const char* p = Traits::name; *p; ++p) buf[pos++] = *p;
        buf[pos++] = '(';
        for (int i = 0; i < N; ++i) {
            if (i) {
                buf[pos++] = ',';
                buf[pos++] = ' ';
            }
            if (!append_float_repr(buf, pos, static_cast<double>(v[i]))) return fail("__repr__");
        }
        buf[pos++] = ')';
        return PyUnicode_FromStringAndSize(buf, static_cast<Py_ssize_t>(pos));
    }

    // The hash of the tuple of components as Python floats.
    static Py_hash_t tp_hash(PyObject* self) noexcept {
        const Vals v = load(as(self));
        std::array<double, N> d;
        for (int i = 0; i < N; ++i) d[i] = static_cast<double>(v[i]);
        Py_hash_t h;
        if (hash_as_float_tuple(d, h)) return h;
        Ref t(c_get_tuple(as(self)));
        if (!t) return -1;
        return PyObject_Hash(t.get());
    }

    // Equality with another vector of the type, componentwise under IEEE rules (NaN is unequal to
    // everything); anything else is unequal. There is no ordering.
    static PyObject* truth(bool eq, int op) noexcept { return Py_NewRef(eq == (op == Py_EQ) ? Py_True : Py_False); }
    static bool equal(PyObject* a, PyObject* b) noexcept { return Record::equal(as(a), as(b)); }
    [[gnu::noinline]] static PyObject* richcompare_checked(PyObject* a, PyObject* b, int op) noexcept {
        return truth(PyObject_TypeCheck(a, &type_object) && PyObject_TypeCheck(b, &type_object) && equal(a, b), op);
    }
    static PyObject* tp_richcompare(PyObject* a, PyObject* b, int op) noexcept {
        if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
        if (Py_IS_TYPE(a, &type_object) && Py_IS_TYPE(b, &type_object)) [[likely]] return truth(equal(a, b), op);
        return richcompare_checked(a, b, op);
    }

    // ---- number protocol ---------------------------------------------------------------------

    static PyObject* nb_add(PyObject* a, PyObject* b) noexcept {
        if (!is_vector(a)) Py_RETURN_NOTIMPLEMENTED;
        if (!check_vector(b, "other")) return fail("__add__");
        return _add(as(a), as(b));
    }
    static PyObject* nb_subtract(PyObject* a, PyObject* b) noexcept {
        if (!is_vector(a)) Py_RETURN_NOTIMPLEMENTED;
        if (!check_vector(b, "other")) return fail("__sub__");
        return _sub(as(a), as(b));
    }

    // `a op b` for * / //: a vector operand works componentwise in the scalar type; an int or float
    // operand is taken as a double and each result is computed in double, then stored.
    template <T (*VecOp)(T, T), double (*NumOp)(double, double)>
    static PyObject* scaled(PyObject* a, PyObject* b, const char* op) noexcept {
        if (!is_vector(a)) Py_RETURN_NOTIMPLEMENTED;
        if (PyObject_TypeCheck(b, &type_object)) return make(zip(load(as(a)), load(as(b)), VecOp), op);
        if (!PyFloat_Check(b) && !PyLong_Check(b)) Py_RETURN_NOTIMPLEMENTED;
        double s;
        if (!to_double(b, s)) return fail(op);
        return make(map(load(as(a)), [s](T c) { return static_cast<T>(NumOp(static_cast<double>(c), s)); }), op);
    }
    static double mul_d(double a, double s) noexcept { return a * s; }
    static double div_d(double a, double s) noexcept { return a / s; }
    static double floordiv_d(double a, double s) noexcept { return std::floor(a / s); }
    static PyObject* nb_multiply(PyObject* a, PyObject* b) noexcept { return scaled<mul, mul_d>(a, b, "__mul__"); }
    static PyObject* nb_true_divide(PyObject* a, PyObject* b) noexcept {
        return scaled<div, div_d>(a, b, "__truediv__");
    }
    static PyObject* nb_floor_divide(PyObject* a, PyObject* b) noexcept {
        return scaled<floordiv, floordiv_d>(a, b, "__floordiv__");
    }
    static PyObject* nb_negative(PyObject* a) noexcept { return get_neg(as(a), 1); }

    template <void (*Entry)(Obj*, Obj*)>
    static PyObject* in_place_op(PyObject* a, PyObject* b, const char* op) noexcept {
        if (!is_vector(a)) Py_RETURN_NOTIMPLEMENTED;
        if (!check_vector(b, "other")) return fail(op);
        Entry(as(a), as(b));
        return Py_NewRef(a);
    }
    static PyObject* nb_inplace_add(PyObject* a, PyObject* b) noexcept { return in_place_op<_iadd>(a, b, "__iadd__"); }
    static PyObject* nb_inplace_subtract(PyObject* a, PyObject* b) noexcept {
        return in_place_op<_isub>(a, b, "__isub__");
    }
    static PyObject* nb_inplace_multiply(PyObject* a, PyObject* b) noexcept {
        return in_place_op<_imul>(a, b, "__imul__");
    }

    // ---- sequence and mapping protocol -------------------------------------------------------

    static Py_ssize_t length_of(PyObject*) noexcept { return N; }

    // The buffer protocol: the components, viewed in place.
    static constexpr char buffer_format[] = {single ? 'f' : 'd', '\0'};

    // v[i] and v[i] = x; the traits decide whether the key or the value is converted first.
    using Items = typename Record::template Items<Vector, raise_vector_index, Traits::setitem_key_first>;
    // iter(v): the components as floats, exactly as v[0], v[1], ... give them.
    using Iterator = RecordIterator<Items::sq_item, N, Traits::iterator_name>;
    static PyObject* tp_iter(PyObject* self) noexcept {
        PyObject* it = Iterator::iter(self);
        return it ? it : fail("__iter__");
    }

    // ---- properties --------------------------------------------------------------------------

    // One getter and one setter per component, the member named at compile time (the hottest
    // attribute accesses: no closure to follow, no member table to read).
    template <int I>
    static PyObject* get_component(PyObject* self, void*) noexcept {
        return PyFloat_FromDouble(static_cast<double>(relaxed_load(as(self)->data.*Traits::members[I])));
    }
    template <int I>
    static int set_component(PyObject* self, PyObject* value, void*) noexcept {
        double d;
        if (value && PyFloat_CheckExact(value)) {
            relaxed_store(as(self)->data.*Traits::members[I], static_cast<T>(PyFloat_AS_DOUBLE(value)));
            return 0;
        }
        if (!value) raise_not_implemented_del();
        if (!value || !to_double(value, d)) {
            add_setter_traceback(Traits::components[I]);
            return -1;
        }
        relaxed_store(as(self)->data.*Traits::members[I], static_cast<T>(d));
        return 0;
    }
    static constexpr auto component_getters = []<size_t... I>(std::index_sequence<I...>) {
        return std::array<getter, N>{&get_component<I>...};
    }(std::make_index_sequence<N>{});
    static constexpr auto component_setters = []<size_t... I>(std::index_sequence<I...>) {
        return std::array<setter, N>{&set_component<I>...};
    }(std::make_index_sequence<N>{});

    static PyObject* get_swizzle(PyObject* self, void* closure) noexcept {
        const auto& index = static_cast<const Swizzle<N>*>(closure)->index;
        const Vals v = load(as(self));
        Vals r;
        for (int i = 0; i < N; ++i) r[i] = v[index[i]];
        return make(r, nullptr);
    }

    static PyObject* get_length(PyObject* self, void*) noexcept {
        return PyFloat_FromDouble(length(load(as(self))));
    }

    // `data`: the whole record as a dict, read and written under the instance's critical section.
    // A write looks every field up, then converts them all, and only then stores: all or nothing.
    static PyObject* get_data(PyObject* self, void*) noexcept {
        CriticalSection cs(self);
        const Vals v = load(as(self));
        Ref d(PyDict_New());
        if (!d) return fail("data.__get__");
        for (int i = 0; i < N; ++i) {
            Ref f(PyFloat_FromDouble(static_cast<double>(v[i])));
            if (!f || PyDict_SetItemString(d.get(), Traits::components[i], f.get()) < 0) return fail("data.__get__");
        }
        return d.release();
    }
    static int set_data(PyObject* self, PyObject* value, void*) noexcept {
        if (!value) {
            raise_not_implemented_del();
            add_traceback("data.__set__");
            return -1;
        }
        CriticalSection cs(self);
        if (!check_record_mapping(value)) {
            add_traceback("data.__set__");
            return -1;
        }
        std::array<Ref, N> items;
        for (int i = 0; i < N; ++i) {
            items[i] = Ref(record_lookup(value, Traits::components[i]));
            if (!items[i]) {
                add_traceback("data.__set__");
                return -1;
            }
        }
        Vals v;
        for (int i = 0; i < N; ++i) {
            double d;
            if (!to_double(items[i].get(), d)) {
                add_traceback("data.__set__");
                return -1;
            }
            v[i] = static_cast<T>(d);
        }
        store(as(self), v);
        return 0;
    }

    // Swizzle patterns computed at compile time from the names the traits list.
    static constexpr auto swizzles = [] {
        constexpr auto& names = Traits::swizzles;
        std::array<Swizzle<N>, std::size(names)> out{};
        for (size_t k = 0; k < std::size(names); ++k) {
            out[k].name = names[k].s;
            for (int i = 0; i < N; ++i) {
                int c = 0;
                while (Traits::letters[c] != names[k].s[i]) ++c;
                out[k].index[i] = static_cast<unsigned char>(c);
            }
            auto& d = out[k].doc;
            d.add(names[k].s).add(": ").add(Traits::name).add("\n\nA new ").add(Traits::name);
            d.add(" of the components (");
            for (int i = 0; i < N; ++i) (i ? d.add(", ") : d).add(names[k].s[i]);
            d.add("), read-only.");
        }
        return out;
    }();

    // Attribute table: the components, the swizzles, then the other properties in declaration order.
    static constexpr size_t getset_count = swizzles.size() + property_count + 1;
    static constexpr std::array<PyGetSetDef, getset_count> make_getsets() {
        std::array<PyGetSetDef, getset_count> g{};
        size_t k = 0;
        for (int i = 0; i < N; ++i)
            g[k++] = declared_property(properties[i], property_docs_[i], component_getters[i], component_setters[i]);
        for (const auto& s : swizzles)
            g[k++] = {s.name, get_swizzle, nullptr, s.doc.s, const_cast<void*>(static_cast<const void*>(&s))};
        g[k++] = declared_property(properties[N], property_docs_[N], get_length);
        if constexpr (Traits::has_data)
            g[k++] = declared_property(properties[data_index], property_docs_[data_index], get_data, set_data);
        g[k++] = declared_property(properties[squared_index], property_docs_[squared_index], get_length_squared);
        if constexpr (N == 2)
            g[k++] = declared_property(properties[squared_index + 1], property_docs_[squared_index + 1], get_angle);
        g[k] = {nullptr, nullptr, nullptr, nullptr, nullptr};
        return g;
    }
    static inline constinit std::array<PyGetSetDef, getset_count> getsets = make_getsets();

    // The stub's lines for the declared members and the swizzles, which each vector module
    // compiles in for scripts/gen-stubs.
    static constexpr auto stub_text() {
        auto out = frame::stub_text<16000>(Traits::name, Keys{}, Functions{}, properties);
        for (const auto& sw : swizzles)
            out.add("@property\ndef ").add(sw.name).add("(self) -> ").add(Traits::name).add(": ...\n");
        return out;
    }

    // The reflected operator wrappers the interpreter would add: the type has none.
    static constexpr const char* hidden[] = {"__radd__", "__rsub__", "__rmul__", "__rtruediv__", "__rfloordiv__"};

    static inline PyNumberMethods number = {
        .nb_add = nb_add,
        .nb_subtract = nb_subtract,
        .nb_multiply = nb_multiply,
        .nb_negative = nb_negative,
        .nb_inplace_add = nb_inplace_add,
        .nb_inplace_subtract = nb_inplace_subtract,
        .nb_inplace_multiply = nb_inplace_multiply,
        .nb_floor_divide = nb_floor_divide,
        .nb_true_divide = nb_true_divide,
    };
    static inline PySequenceMethods sequence = {
        .sq_length = length_of,
        .sq_item = Items::sq_item,
        .sq_ass_item = Items::sq_ass_item,
    };
    static inline PyBufferProcs buffer = {.bf_getbuffer = Record::template bf_getbuffer<buffer_format>};
    static inline PyMappingMethods mapping = {
        .mp_length = length_of,
        .mp_subscript = Items::mp_subscript,
        .mp_ass_subscript = Items::mp_ass_subscript,
    };

    static inline PyTypeObject type_object = {
        .ob_base = PyVarObject_HEAD_INIT(&PyType_Type, 0)
        .tp_name = Traits::full_name,
        .tp_basicsize = sizeof(Obj),
        .tp_itemsize = 0,
        .tp_dealloc = dealloc_plain,
        .tp_repr = tp_repr,
        .tp_as_number = &number,
        .tp_as_sequence = &sequence,
        .tp_as_mapping = &mapping,
        .tp_hash = tp_hash,
        .tp_as_buffer = &buffer,
        .tp_flags = Py_TPFLAGS_DEFAULT,
        .tp_doc = d_type.s,
        .tp_richcompare = tp_richcompare,
        .tp_iter = tp_iter,
        .tp_methods = methods.data(),
        .tp_getset = getsets.data(),
        .tp_init = tp_init,
        .tp_alloc = tp_alloc,
        .tp_new = tp_new,
        .tp_free = PyObject_Free,
        .tp_vectorcall = tp_vectorcall,
    };
};

}  // namespace vantor::vectors
