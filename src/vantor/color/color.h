/* Public declarations of vantor.color.color for native clients (C11 or C++).
 *
 * A client takes the type `Color` and its operation table with vantor_import_color() (below), which
 * imports the module, checks the type's instance size against sizeof(VantorColorObject) and takes
 * the table from the type's `__pyx_vtable__` capsule (no capsule name), and then calls the table's
 * entries directly. The slot order of VantorColorVTable is the calling contract: entries are only
 * ever appended.
 *
 * `Color` can be subclassed: a Color object here may be a subclass instance. Entries returning
 * PyObject* return a new reference, or NULL with an exception set. `fade` and `to_int` take a
 * trailing dispatch flag: 1 computes directly; 0 first calls a Python subclass's override of the
 * method, if any. Both report failure only through a pending exception (`to_int` then returns 0).
 */
#ifndef VANTOR_COLOR_H
#define VANTOR_COLOR_H

#include <Python.h>
#include <raylib.h>

#include "../typeimport.h"

#ifdef __cplusplus
extern "C" {
#endif

struct VantorColorVTable;

typedef struct VantorColorObject {
    PyObject_HEAD
    struct VantorColorVTable *vtab;
    Color _raw;
} VantorColorObject;

typedef struct VantorColorVTable {
    /* 0: `new` (renamed: `new` is a C++ keyword); each channel saturated to 0..255 */
    PyObject *(*new_)(int r, int g, int b, int a);
    int (*c_equal)(VantorColorObject *self, VantorColorObject *other);
    PyObject *(*c_normalize)(VantorColorObject *self);
    PyObject *(*c_tint)(VantorColorObject *self, VantorColorObject *tint);
    void (*fade)(VantorColorObject *self, float alpha, int flag);
    int (*to_int)(VantorColorObject *self, int flag);
} VantorColorVTable;

/* The type vantor_import_color() gave in this translation unit, for VantorColor_Check(). */
static inline PyTypeObject **vantor_color_type_slot(void) {
    static PyTypeObject *type;
    return &type;
}

/* Imports `Color` from vantor.color.color through vantor_import_type(), normally once at the
 * client's module execution: 0 with `*type` (a new reference the client keeps) and `*table` set,
 * or -1 with an exception set and both left as they were. */
static inline int vantor_import_color(PyTypeObject **type, VantorColorVTable **table) {
    void *found = NULL;
    PyTypeObject *imported =
        vantor_import_type("vantor.color.color", "Color", (Py_ssize_t)sizeof(VantorColorObject), &found);
    if (!imported) return -1;
    *type = *vantor_color_type_slot() = imported;
    *table = (VantorColorVTable *)found;
    return 0;
}

/* Whether `op` is a Color or an instance of a subclass: 0 in a translation unit that has not
 * called vantor_import_color(). */
#define VantorColor_Check(op) vantor_type_check((op), *vantor_color_type_slot())

#ifdef __cplusplus
}
#endif

#endif /* VANTOR_COLOR_H */
