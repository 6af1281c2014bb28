// The value record every type holds by value after its table pointer (a raylib struct: a vector,
// a rectangle, a colour): its fields are read and written only through this layer, which maps
// them to items, compares them, and exports them as a buffer.
#pragma once

#include "convert.hpp"
#include "core.hpp"

#include <array>
#include <cstddef>
#include <utility>

namespace vantor::frame {

// Exports the `Count` items of type `T` at `items`, inside `self`, as a writable one-dimensional
// buffer with struct format `format`: the view is the record itself, and holds a reference to
// `self`, so the record outlives every view. Format, shape and strides are given only when asked
// for, as CPython's own array type does.
template <class T, Py_ssize_t Count>
int export_items(PyObject* self, Py_buffer* view, int flags, T* items, const char* format) noexcept {
    static Py_ssize_t shape[1] = {Count};
    static Py_ssize_t strides[1] = {static_cast<Py_ssize_t>(sizeof(T))};
    view->buf = items;
    view->obj = Py_NewRef(self);
    view->len = Count * static_cast<Py_ssize_t>(sizeof(T));
    view->readonly = 0;
    view->itemsize = sizeof(T);
    view->format = (flags & PyBUF_FORMAT) == PyBUF_FORMAT ? const_cast<char*>(format) : nullptr;
    view->ndim = 1;
    view->shape = (flags & PyBUF_ND) == PyBUF_ND ? shape : nullptr;
    view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? strides : nullptr;
    view->suboffsets = nullptr;
    view->internal = nullptr;
    return 0;
}

// A type's record, described by `Layout`:
//     using Object = ...;  using Record = ...;  using Scalar = ...;  static constexpr int N = ...;
//     static constexpr Record Object::*record = &Object::data;
//     static constexpr Scalar Record::*members[N] = {&Record::x, ...};
// Every field is one scalar, and the fields fill the record (the buffer export views them as an
// array); the object's `vtab` points at the type's operation table.
template <class Layout>
struct Fields {
    using Object = typename Layout::Object;
    using Record = typename Layout::Record;
    using Scalar = typename Layout::Scalar;
    static constexpr int N = Layout::N;
    using Values = std::array<Scalar, N>;
    static_assert(sizeof(Record) == N * sizeof(Scalar), "a record is its fields, with no padding");

    static Object* as(PyObject* o) noexcept { return reinterpret_cast<Object*>(o); }

    static Scalar& field(Object* o, int i) noexcept { return o->*Layout::record.*Layout::members[i]; }
    static const Scalar& field(const Object* o, int i) noexcept { return o->*Layout::record.*Layout::members[i]; }

    // Every access to a field goes through get and set, or load and store for the whole record.
    static Scalar get(const Object* o, int i) noexcept { return relaxed_load(field(o, i)); }
    static void set(Object* o, int i, Scalar v) noexcept { relaxed_store(field(o, i), v); }
    // Whole records are read and written with each member named at compile time: a loop over the
    // member table would read the table at run time, since atomic accesses are not unrolled.
    static Values load(const Object* o) noexcept {
        return [o]<size_t... I>(std::index_sequence<I...>) {
            return Values{relaxed_load(o->*Layout::record.*Layout::members[I])...};
        }(std::make_index_sequence<N>{});
    }
    static void store(Object* o, const Values& v) noexcept {
        [o, &v]<size_t... I>(std::index_sequence<I...>) {
            (relaxed_store(o->*Layout::record.*Layout::members[I], v[I]), ...);
        }(std::make_index_sequence<N>{});
    }
    // The same as the raylib struct. Always inline: a whole record read is a few loads, and a
    // call would cost more than the loads themselves on the hottest paths.
    [[gnu::always_inline]] static Record load_record(const Object* o) noexcept {
        const Values v = load(o);
        Record r{};
        [&r, &v]<size_t... I>(std::index_sequence<I...>) {
            ((r.*Layout::members[I] = v[I]), ...);
        }(std::make_index_sequence<N>{});
        return r;
    }
    [[gnu::always_inline]] static void store_record(Object* o, const Record& r) noexcept {
        [o, &r]<size_t... I>(std::index_sequence<I...>) {
            (relaxed_store(o->*Layout::record.*Layout::members[I], r.*Layout::members[I]), ...);
        }(std::make_index_sequence<N>{});
    }

    // Field by field under the scalar's own ==: a NaN field makes two records unequal.
    static bool equal(const Object* a, const Object* b) noexcept {
        const Values x = load(a), y = load(b);
        bool eq = true;
        for (int i = 0; i < N; ++i) eq = eq && x[i] == y[i];
        return eq;
    }

    // A new instance of `type` through its allocator: a zero record, pointing at the type's table
    // `Table`. Null with MemoryError set.
    template <auto* Table>
    static Object* alloc(PyTypeObject* type) noexcept {
        auto* o = reinterpret_cast<Object*>(type->tp_alloc(type, 0));
        if (o) o->vtab = Table;
        return o;
    }
    template <auto* Table>
    static PyObject* tp_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
        Object* o = alloc<Table>(type);
        return o ? reinterpret_cast<PyObject*>(o) : fail("__new__");
    }

    // The buffer protocol: the fields, viewed in place, as items of struct format `Format`.
    template <const char* Format>
    static int bf_getbuffer(PyObject* self, Py_buffer* view, int flags) noexcept {
        return export_items<Scalar, N>(self, view, flags, &field(as(self), 0), Format);
    }

    // The fields as items v[0] .. v[N - 1], each given as a float. `Owner::type()` is the type
    // the deletion refusal names, `RaiseIndex` sets the IndexError of an index out of range, and
    // with `KeyFirst` the key is converted before the value on assignment (else the value's error
    // wins).
    template <class Owner, void (*RaiseIndex)(), bool KeyFirst>
    struct Items {
        // The sequence entry ends every iteration with its IndexError, which the iterator
        // discards: no traceback entry is built for it. Subscription (the mapping entry) adds one.
        static PyObject* sq_item(PyObject* self, Py_ssize_t i) noexcept {
            if (i < 0 || i >= N) {
                RaiseIndex();
                return nullptr;
            }
            return PyFloat_FromDouble(static_cast<double>(get(as(self), static_cast<int>(i))));
        }
        static PyObject* mp_subscript(PyObject* self, PyObject* key) noexcept {
            Py_ssize_t i;
            PyObject* r = to_index(key, i) ? sq_item(self, i) : nullptr;
            return r ? r : fail("__getitem__");
        }
        static int assign_item(PyObject* self, PyObject* key, Py_ssize_t i, PyObject* value) noexcept {
            if (!value) {
                raise_subscript_deletion(Owner::type()->tp_name);
                add_traceback("__delitem__");
                return -1;
            }
            double d;
            bool ok = KeyFirst ? (!key || to_index(key, i)) && to_double(value, d)
                               : to_double(value, d) && (!key || to_index(key, i));
            if (ok && (i < 0 || i >= N)) {
                RaiseIndex();
                ok = false;
            }
            if (!ok) {
                add_traceback("__setitem__");
                return -1;
            }
            set(as(self), static_cast<int>(i), static_cast<Scalar>(d));
            return 0;
        }
        static int mp_ass_subscript(PyObject* self, PyObject* key, PyObject* value) noexcept {
            return assign_item(self, key, 0, value);
        }
        static int sq_ass_item(PyObject* self, Py_ssize_t i, PyObject* value) noexcept {
            return assign_item(self, nullptr, i, value);
        }
    };
};

// ---- records as mappings -------------------------------------------------------------------------

// Looks up `name` in a mapping for a record write: exact dicts (and frozendicts) by dict lookup,
// other mappings by value[name]. A missing key becomes the record's ValueError.
inline PyObject* record_lookup(PyObject* mapping, const char* name) noexcept {
    Ref key(PyUnicode_FromString(name));
    if (!key) return nullptr;
    PyObject* item = nullptr;
    bool dict_lookup = PyDict_CheckExact(mapping);
#if PY_VERSION_HEX >= 0x030F0000
    dict_lookup = dict_lookup || PyFrozenDict_CheckExact(mapping);
#endif
    if (dict_lookup) {
        if (PyDict_GetItemRef(mapping, key.get(), &item) < 0) return nullptr;
    } else {
        item = PyObject_GetItem(mapping, key.get());
        if (!item) {
            if (!PyErr_ExceptionMatches(PyExc_KeyError)) return nullptr;
            PyErr_Clear();
        }
    }
    if (!item)
        PyErr_Format(PyExc_ValueError, "No value specified for struct attribute %R", key.get());
    return item;
}

inline bool check_record_mapping(PyObject* value) noexcept {
    if (PyMapping_Check(value)) return true;
    PyErr_Format(PyExc_TypeError, "Expected %.42s, got %.200s", "a mapping", type_name_of(value));
    return false;
}

}  // namespace vantor::frame
