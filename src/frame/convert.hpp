// Argument binding, number conversions, value-record mapping and float text: the conventions every
// Python-callable operation of the package shares, each message written once here.
#pragma once

#include "core.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>

namespace vantor::frame {

// ---- messages ------------------------------------------------------------------------------------

inline void raise_arg_count(const char* fn, const char* bound, Py_ssize_t expected, Py_ssize_t given) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)", fn, bound,
                 expected, expected == 1 ? "" : "s", given);
}

inline void raise_unexpected_keyword(const char* fn, PyObject* key) noexcept {
    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", fn, key);
}

inline void raise_arg_type(const char* param, const char* expected, PyObject* got) noexcept {
    PyErr_Format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                 param, expected, type_name_of(got));
}

inline void raise_not_implemented_del() noexcept {
    PyErr_SetString(PyExc_NotImplementedError, "__del__");
}

inline void raise_subscript_deletion(const char* type_name) noexcept {
    PyErr_Format(PyExc_NotImplementedError, "Subscript %.10s not supported by %.200s", "deletion", type_name);
}

// The text of type(o).__name__ as str() gives it: the attribute is read from the type object, so a
// metaclass that reports another name is honoured. A new reference, or null with an error set.
inline PyObject* type_name_text(PyObject* o) noexcept {
    Ref name(get_attr(reinterpret_cast<PyObject*>(Py_TYPE(o)), "__name__"));
    return name ? PyObject_Str(name.get()) : nullptr;
}

// ---- argument binding ----------------------------------------------------------------------------

// Binds a vectorcall argument list to the parameters `names` (each positional or by keyword); the
// first `required` are required (all when negative), the others stay null when not given. On
// success every bound out[i] is a borrowed reference; on failure a TypeError is set.
[[gnu::noinline]] inline bool bind_args_general(const char* fn, PyObject* const* args, Py_ssize_t nargs,
                                                 PyObject* kwnames, std::span<const char* const> names,
                                                 PyObject** out, Py_ssize_t required) noexcept {
    const auto n = static_cast<Py_ssize_t>(names.size());
    if (required < 0) required = n;
    const bool exact = required == n;
    if (nargs > n) {
        raise_arg_count(fn, exact ? "exactly" : "at most", n, nargs);
        return false;
    }
    for (Py_ssize_t i = 0; i < n; ++i) out[i] = i < nargs ? args[i] : nullptr;
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        if (!PyUnicode_Check(key)) {
            PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", fn);
            return false;
        }
        Py_ssize_t slot = -1;
        for (Py_ssize_t i = 0; i < n; ++i) {
            if (PyUnicode_EqualToUTF8(key, names[static_cast<size_t>(i)])) {
                slot = i;
                break;
            }
        }
        if (slot < 0) {
            raise_unexpected_keyword(fn, key);
            return false;
        }
        if (out[slot]) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'", fn, key);
            return false;
        }
        out[slot] = args[nargs + k];
    }
    for (Py_ssize_t i = 0; i < required; ++i) {
        if (!out[i]) {
            raise_arg_count(fn, exact ? "exactly" : "at least", required, i);
            return false;
        }
    }
    return true;
}
// The common call, every parameter given by position, binds inline; the rest (keywords, missing or
// extra arguments) out of line, so that a method's own code needs no frame for it.
inline bool bind_args(const char* fn, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                      std::span<const char* const> names, PyObject** out, Py_ssize_t required = -1) noexcept {
    if (!kwnames && nargs == static_cast<Py_ssize_t>(names.size())) [[likely]] {
        for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
        return true;
    }
    return bind_args_general(fn, args, nargs, kwnames, names, out, required);
}

// The same for a tp_init-style call: a tuple of positional arguments and a dict of keywords.
inline bool bind_tuple_dict(const char* fn, PyObject* args, PyObject* kwds, std::span<const char* const> names,
                            PyObject** out, Py_ssize_t required = -1) noexcept {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    const Py_ssize_t nkw = kwds ? PyDict_GET_SIZE(kwds) : 0;
    if (nkw == 0) return bind_args(fn, &PyTuple_GET_ITEM(args, 0), nargs, nullptr, names, out, required);
    if (nargs > static_cast<Py_ssize_t>(names.size()))  // the count error comes before any keyword's
        return bind_args(fn, &PyTuple_GET_ITEM(args, 0), nargs, nullptr, names, out, required);
    // Positional values then keyword values, as a vectorcall lays them out.
    PyObject* small[16];
    PyObject** flat = nargs + nkw <= 16 ? small : PyMem_New(PyObject*, static_cast<size_t>(nargs + nkw));
    if (!flat) {
        PyErr_NoMemory();
        return false;
    }
    struct Release {
        PyObject** p;
        PyObject** small;
        ~Release() {
            if (p != small) PyMem_Free(p);
        }
    } release{flat, small};
    Ref kwnames(PyTuple_New(nkw));
    if (!kwnames) return false;
    for (Py_ssize_t i = 0; i < nargs; ++i) flat[i] = PyTuple_GET_ITEM(args, i);
    Py_ssize_t pos = 0, k = 0;
    PyObject *key, *value;
    while (PyDict_Next(kwds, &pos, &key, &value)) {
        PyTuple_SET_ITEM(kwnames.get(), k, Py_NewRef(key));
        flat[nargs + k++] = value;
    }
    return bind_args(fn, flat, nargs, kwnames.get(), names, out, required);
}

// A function without parameters: refuses every argument with the standard messages.
inline bool bind_none(const char* fn, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    if (nargs) {
        raise_arg_count(fn, "exactly", 0, nargs);
        return false;
    }
    if (kwnames && PyTuple_GET_SIZE(kwnames)) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, 0);
        if (!PyUnicode_Check(key))
            PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", fn);
        else
            raise_unexpected_keyword(fn, key);
        return false;
    }
    return true;
}

// A parameter typed as an extension type: the type or a subtype. None is refused like any other
// wrong type, so no operation ever reads a value record out of None.
inline bool check_arg_type(PyObject* arg, PyTypeObject* type, const char* param) noexcept {
    if (Py_IS_TYPE(arg, type) || PyObject_TypeCheck(arg, type)) return true;
    raise_arg_type(param, type->tp_name, arg);
    return false;
}

// A parameter typed as exactly `tuple` or exactly `list`.
inline bool check_exact_tuple(PyObject* arg, const char* param) noexcept {
    if (PyTuple_CheckExact(arg)) return true;
    raise_arg_type(param, "tuple", arg);
    return false;
}
inline bool check_exact_list(PyObject* arg, const char* param) noexcept {
    if (PyList_CheckExact(arg)) return true;
    raise_arg_type(param, "list", arg);
    return false;
}

// ---- number conversions --------------------------------------------------------------------------

// Real conversion: an exact float is read directly, anything else goes through the interpreter's
// float conversion (__float__, then __index__); its errors propagate unchanged. An exact int is
// converted as int.__float__ converts it (the same rounding, the same OverflowError), without
// the float object that conversion makes.
// Always inline: a few instructions where a call would cost as many again, on every number a
// method or constructor takes.
[[gnu::always_inline]] inline bool to_double(PyObject* o, double& out) noexcept {
    if (PyFloat_CheckExact(o)) {
        out = PyFloat_AS_DOUBLE(o);
        return true;
    }
    out = PyLong_CheckExact(o) ? PyLong_AsDouble(o) : PyFloat_AsDouble(o);
    return !(out == -1.0 && PyErr_Occurred());
}

// An exact float, or an exact int small enough (|v| <= 2**52) that it, and the sum of two such,
// are exact as doubles: for these, comparisons and sums in double give exactly what Python's
// float/int arithmetic gives. Anything else: false, and the caller takes Python's own path.
inline bool exact_real(PyObject* o, double& out) noexcept {
    if (PyFloat_CheckExact(o)) {
        out = PyFloat_AS_DOUBLE(o);
        return true;
    }
    if (!PyLong_CheckExact(o)) return false;
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
    constexpr long long limit = 1LL << 52;
    if (overflow || v > limit || v < -limit) return false;  // (cannot fail for an exact int)
    out = static_cast<double>(v);
    return true;
}

// Reading other objects' numbers: attribute `name`, or item i (by real conversion).
inline bool attr_double(PyObject* o, const char* name, double& out) noexcept {
    Ref v(get_attr(o, name));
    return v && to_double(v.get(), out);
}

// Item i as a strong reference: tuples directly, lists without ever holding a borrowed item
// another thread could free, anything else through its item access.
inline PyObject* item_ref(PyObject* seq, Py_ssize_t i) noexcept {
    if (PyTuple_CheckExact(seq)) {
        if (i < PyTuple_GET_SIZE(seq)) return Py_NewRef(PyTuple_GET_ITEM(seq, i));
        PyErr_SetString(PyExc_IndexError, "tuple index out of range");
        return nullptr;
    }
    if (PyList_CheckExact(seq)) return PyList_GetItemRef(seq, i);
    return PySequence_GetItem(seq, i);
}

inline bool item_double(PyObject* seq, Py_ssize_t i, double& out) noexcept {
    Ref v(item_ref(seq, i));
    return v && to_double(v.get(), out);
}

// Narrowing to single precision: round to nearest even, beyond the float range an infinity.
inline float narrow(double d) noexcept { return static_cast<float>(d); }

inline bool to_float(PyObject* o, float& out) noexcept {
    double d;
    if (!to_double(o, d)) return false;
    out = narrow(d);
    return true;
}

// C int conversion: an int directly (OverflowError outside 32 bits); anything else through its
// __int__, with the package's own wording for a non-int result (the interpreter's wording differs
// between versions).
inline bool to_int(PyObject* o, int& out) noexcept {
    if (PyLong_Check(o)) {
        out = PyLong_AsInt(o);
        return !(out == -1 && PyErr_Occurred());
    }
    PyNumberMethods* nb = Py_TYPE(o)->tp_as_number;
    if (!nb || !nb->nb_int) {
        PyErr_SetString(PyExc_TypeError, "an integer is required");
        return false;
    }
    Ref r(nb->nb_int(o));
    if (!r) return false;
    if (!PyLong_CheckExact(r.get())) {
        if (!PyLong_Check(r.get())) {
            PyErr_Format(PyExc_TypeError, "__int__ returned non-int (type %.200s)", type_name_of(r.get()));
            return false;
        }
        if (PyErr_WarnFormat(PyExc_DeprecationWarning, 1,
                             "__int__ returned non-int (type %.200s).  The ability to return an instance "
                             "of a strict subclass of int is deprecated, and may be removed in a future "
                             "version of Python.",
                             type_name_of(r.get())) < 0)
            return false;
    }
    out = PyLong_AsInt(r.get());
    return !(out == -1 && PyErr_Occurred());
}

// A component turned into a 32-bit int by truncation toward zero. NaN and values outside the
// signed 32-bit range have no integer value: they raise instead of yielding garbage.
inline PyObject* int32_from(double d) noexcept {
    if (std::isnan(d)) {
        PyErr_SetString(PyExc_ValueError, "cannot convert a NaN component to an integer");
        return nullptr;
    }
    const double t = std::trunc(d);
    if (t < -2147483648.0 || t > 2147483647.0) {
        PyErr_Format(PyExc_OverflowError, "component %R does not fit in a 32-bit integer",
                     Ref(PyFloat_FromDouble(d)).get());
        return nullptr;
    }
    return PyLong_FromLong(static_cast<long>(t));
}

// Index conversion for v[i]: __index__ to a machine-size integer (TypeError for non-integers,
// OverflowError beyond the machine range).
inline bool to_index(PyObject* key, Py_ssize_t& out) noexcept {
    if (PyLong_CheckExact(key)) {
        out = PyLong_AsSsize_t(key);
        return !(out == -1 && PyErr_Occurred());
    }
    Ref idx(PyNumber_Index(key));
    if (!idx) return false;
    out = PyLong_AsSsize_t(idx.get());
    return !(out == -1 && PyErr_Occurred());
}

inline void raise_vector_index() noexcept { PyErr_SetString(PyExc_IndexError, "Vector index out of range"); }

// ---- float text ----------------------------------------------------------------------------------

// Appends repr(float(d)) to `buf` at `pos`; the buffer holds at least 32 bytes per number.
inline bool append_float_repr(char* buf, size_t& pos, double d) noexcept {
    char* s = PyOS_double_to_string(d, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
    if (!s) return false;
    const size_t n = std::strlen(s);
    std::memcpy(buf + pos, s, n);
    pos += n;
    PyMem_Free(s);
    return true;
}

// ---- hashing -------------------------------------------------------------------------------------

// hash(float(d)) for a finite or infinite d: the interpreter's numeric hash, the value reduced
// modulo the Mersenne prime 2**61 - 1 (the algorithm the language reference documents). |d| is
// m * 2**e with m its integer significand (below 2**53, so already reduced); as 2**61 is 1 modulo
// the prime, multiplying by 2**e is rotating left by e mod 61 within 61 bits.
inline Py_hash_t hash_double(double v) noexcept {
    constexpr int bits = 61;
    constexpr Py_uhash_t modulus = (Py_uhash_t{1} << bits) - 1;
    uint64_t raw;
    std::memcpy(&raw, &v, sizeof raw);
    const bool negative = raw >> 63;
    const int biased = static_cast<int>((raw >> 52) & 0x7FF);
    if (biased == 0x7FF) return negative ? -314159 : 314159;  // infinities; NaN never comes here
    uint64_t m = raw & ((uint64_t{1} << 52) - 1);
    int e = -1074;  // zeros and subnormals
    if (biased) {
        m |= uint64_t{1} << 52;
        e = biased - 1075;
    }
    const int k = (e % bits + bits) % bits;
    Py_uhash_t x = k ? ((m << k) & modulus) | (m >> (bits - k)) : m;
    if (negative) x = 0 - x;
    if (x == static_cast<Py_uhash_t>(-1)) x = static_cast<Py_uhash_t>(-2);
    return static_cast<Py_hash_t>(x);
}

// hash(tuple(float(c) for c in v)) without building the tuple: the interpreter's tuple hash
// (xxHash-style lanes) over its float hashes. NaN hashes by object identity, which only a real
// tuple of real floats reproduces; the caller falls back to one then (returns false).
template <size_t N>
bool hash_as_float_tuple(const std::array<double, N>& v, Py_hash_t& out) noexcept {
    static_assert(sizeof(Py_uhash_t) == 8, "64-bit hash constants");
    constexpr Py_uhash_t prime1 = 11400714785074694791ULL, prime2 = 14029467366897019727ULL,
                         prime5 = 2870177450012600261ULL;
    Py_uhash_t acc = prime5;
    for (double d : v) {
        if (std::isnan(d)) return false;
        const auto lane = static_cast<Py_uhash_t>(hash_double(d));
        acc += lane * prime2;
        acc = (acc << 31) | (acc >> 33);
        acc *= prime1;
    }
    acc += N ^ (prime5 ^ 3527539UL);
    out = acc == static_cast<Py_uhash_t>(-1) ? 1546275796 : static_cast<Py_hash_t>(acc);
    return true;
}

}  // namespace vantor::frame
