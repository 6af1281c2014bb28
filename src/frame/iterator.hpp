// An iterator over a fixed-length record (the components of a vector, the fields of a rectangle):
// iter(obj) yields exactly what obj[0], obj[1], ... yield, and ends without building the
// IndexError that iteration through item access ends with (the cost of `x, y = v`, `tuple(v)`).
#pragma once

#include "core.hpp"

#include <atomic>

namespace vantor::frame {

// `Item(obj, i)` gives item i (a new reference) for 0 <= i < Count; `Name` is the type's name.
template <PyObject* (*Item)(PyObject*, Py_ssize_t), Py_ssize_t Count, const char* Name>
struct RecordIterator {
    struct Obj {
        PyObject_HEAD
        PyObject* record;  // the object iterated over, held until the iterator is released
        Py_ssize_t next;   // index of the next item; Count or more once finished
    };

    // One iterator may be shared between threads: on free-threaded builds each step takes its
    // index with one atomic increment, so no index is yielded twice and none at or past Count is
    // ever read (with the GIL, steps cannot overlap and a plain increment does). The object
    // iterated over is only released with the iterator, so no step can meet it released.
    static PyObject* iternext(PyObject* self) noexcept {
        auto* it = reinterpret_cast<Obj*>(self);
#ifdef Py_GIL_DISABLED
        std::atomic_ref<Py_ssize_t> next(it->next);
        if (next.load(std::memory_order_relaxed) >= Count) return nullptr;
        const Py_ssize_t i = next.fetch_add(1, std::memory_order_relaxed);
        if (i >= Count) {
            next.store(Count, std::memory_order_relaxed);  // no creeping towards overflow
            return nullptr;
        }
#else
        const Py_ssize_t i = it->next;
        if (i >= Count) return nullptr;
        it->next = i + 1;
#endif
        return Item(it->record, i);
    }

    // What is left, as list iterators report it (used to size tuple(v) and list(v)).
    static PyObject* length_hint(PyObject* self, PyObject*) noexcept {
        const Py_ssize_t next = relaxed_load(reinterpret_cast<Obj*>(self)->next);
        return PyLong_FromSsize_t(next >= Count ? 0 : Count - next);
    }

    static void dealloc(PyObject* self) noexcept {
        Py_DECREF(reinterpret_cast<Obj*>(self)->record);
        PyObject_Free(self);
    }

    static void gc_dealloc(PyObject* self) noexcept {
        PyObject_GC_UnTrack(self);
        Py_DECREF(reinterpret_cast<Obj*>(self)->record);
        PyObject_GC_Del(self);
    }

    static int traverse(PyObject* self, visitproc visit, void* arg) noexcept {
        Py_VISIT(reinterpret_cast<Obj*>(self)->record);
        return 0;
    }

    static inline PyMethodDef methods[] = {
        {"__length_hint__", length_hint, METH_NOARGS, "Private method returning an estimate of len(list(it))."},
        {nullptr, nullptr, 0, nullptr},
    };

    // The package's own objects hold no references, so no cycle can pass through an iterator over
    // one, and it stays out of the collector (which would cost every `x, y = v` an allocation
    // with a collector header). An instance of a Python subclass has a __dict__, so `r.it = iter(r)`
    // makes a cycle: iterators over such objects are of a second, collector-tracked type of the
    // same name. Neither has tp_clear: the record is never taken from a live iterator, and the
    // subclass instance's own clearing breaks the cycle.
    static inline PyTypeObject type = {
        .ob_base = PyVarObject_HEAD_INIT(&PyType_Type, 0)
        .tp_name = Name,
        .tp_basicsize = sizeof(Obj),
        .tp_dealloc = dealloc,
        .tp_flags = Py_TPFLAGS_DEFAULT,
        .tp_iter = PyObject_SelfIter,
        .tp_iternext = iternext,
        .tp_methods = methods,
    };
    static inline PyTypeObject gc_type = {
        .ob_base = PyVarObject_HEAD_INIT(&PyType_Type, 0)
        .tp_name = Name,
        .tp_basicsize = sizeof(Obj),
        .tp_dealloc = gc_dealloc,
        .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC,
        .tp_traverse = traverse,
        .tp_iter = PyObject_SelfIter,
        .tp_iternext = iternext,
        .tp_methods = methods,
    };

    static int ready() noexcept { return PyType_Ready(&type) < 0 ? -1 : PyType_Ready(&gc_type); }

    static PyObject* iter(PyObject* record) noexcept {
        const bool gc = PyObject_IS_GC(record);
        auto* it = gc ? PyObject_GC_New(Obj, &gc_type) : PyObject_New(Obj, &type);
        if (!it) return nullptr;
        it->record = Py_NewRef(record);
        it->next = 0;
        if (gc) PyObject_GC_Track(it);
        return reinterpret_cast<PyObject*>(it);
    }
};

}  // namespace vantor::frame
