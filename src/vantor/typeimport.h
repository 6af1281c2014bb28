/* Type import shared by vantor's public headers (C11 or C++).
 *
 * A native client reaches one of vantor's types by importing its module, taking the type, checking
 * that the type's instances are at least as large as the object struct the client was compiled
 * with, and taking the operation table from the capsule `__pyx_vtable__` (no capsule name) in the
 * type's own dict. Each type's header wraps this in `vantor_import_<module>()`; vantor's own
 * modules import each other's types through the same function.
 *
 * The client keeps the type and table it was given (in statics of its own, filled once at module
 * execution). Each header also remembers the type per translation unit, for its one-argument
 * `Vantor<Type>_Check(op)` macro, as CPython's datetime.h remembers its C API: every translation
 * unit that checks calls the import (cheap after the first, the module being imported already);
 * before it, the check is 0.
 */
#ifndef VANTOR_TYPEIMPORT_H
#define VANTOR_TYPEIMPORT_H

#include <Python.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Takes type `name` from module `module`, checking its instance size against `expected` (the
 * sizeof of the object struct the caller was compiled with): a smaller instance fails with
 * ValueError, a larger one warns with RuntimeWarning (an error when warnings are errors). A
 * variable-size type counts one item (at least the alignment of `expected`) towards its size.
 * When `table` is not NULL, `*table` receives the type's operation table.
 *
 * Returns a new reference to the type, which the caller keeps for as long as it uses the table;
 * or NULL with an exception set, `*table` untouched: the import's own error, TypeError when the
 * attribute is not a type, KeyError when the type has no table, RuntimeError when the capsule
 * holds none. */
static inline PyTypeObject *vantor_import_type(const char *module, const char *name, Py_ssize_t expected,
                                               void **table) {
    PyObject *mod, *obj, *dict, *capsule;
    PyTypeObject *type;
    Py_ssize_t basic, item;
    void *found;

    mod = PyImport_ImportModule(module);
    if (!mod) return NULL;
    obj = PyObject_GetAttrString(mod, name);
    Py_DECREF(mod);
    if (!obj) return NULL;
    if (!PyType_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "%.200s.%.200s is not a type object", module, name);
        goto fail;
    }
    type = (PyTypeObject *)obj;
    basic = type->tp_basicsize;
    item = type->tp_itemsize;
    if (item) {
        const Py_ssize_t align = expected % 8 ? expected % 8 : 8;
        if (item < align) item = align;
    }
    if (basic + item < expected) {
        PyErr_Format(PyExc_ValueError,
                     "%.200s.%.200s size changed, may indicate binary incompatibility. Expected %zd from C "
                     "header, got %zd from PyObject",
                     module, name, expected, basic + item);
        goto fail;
    }
    if (basic > expected &&
        PyErr_WarnFormat(PyExc_RuntimeWarning, 0,
                         "%.200s.%.200s size changed, may indicate binary incompatibility. Expected %zd from "
                         "C header, got %zd from PyObject",
                         module, name, expected, basic) < 0)
        goto fail;
    if (table) {
        dict = PyType_GetDict(type);
        capsule = dict ? PyMapping_GetItemString(dict, "__pyx_vtable__") : NULL;
        Py_XDECREF(dict);
        if (!capsule) goto fail; /* the lookup's KeyError */
        found = PyCapsule_GetPointer(capsule, NULL);
        Py_DECREF(capsule);      /* the type's dict keeps the capsule */
        if (!found) {
            if (!PyErr_Occurred())
                PyErr_SetString(PyExc_RuntimeError, "invalid vtable found for imported type");
            goto fail;
        }
        *table = found;
    }
    return type;
fail:
    Py_DECREF(obj);
    return NULL;
}

/* Whether `op` is an instance of `type` or of a subclass; 0 when `type` is NULL (not imported). */
static inline int vantor_type_check(PyObject *op, PyTypeObject *type) {
    return type != NULL && PyObject_TypeCheck(op, type);
}

#ifdef __cplusplus
}
#endif

#endif /* VANTOR_TYPEIMPORT_H */
