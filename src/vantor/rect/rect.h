/* Public declarations of vantor.rect.rect for native clients (C11 or C++).
 *
 * A client takes the type `Rect` and its operation table with vantor_import_rect() (below), which
 * imports the module, checks the type's instance size against sizeof(VantorRectObject) and takes
 * the table from the type's `__pyx_vtable__` capsule (no capsule name), and then calls the table's
 * entries directly. The slot order of VantorRectVTable is the calling contract: entries are only
 * ever appended.
 *
 * `Rect` can be subclassed: a Rect object here may be a subclass instance. Entries 1 to 13 take a
 * trailing dispatch flag: 1 computes directly; 0 first calls a Python subclass's override of the
 * method, if any. Object results are new references or NULL with an exception set; truth results
 * are 0 or 1, and 0 with an exception set on failure: test PyErr_Occurred() after a 0.
 */
#ifndef VANTOR_RECT_H
#define VANTOR_RECT_H

#include <Python.h>
#include <raylib.h>

#include "../typeimport.h"
#include "../vector2/vector2.h"
#include "../vector4/vector4.h"

#ifdef __cplusplus
extern "C" {
#endif

struct VantorRectVTable;

typedef struct VantorRectObject {
    PyObject_HEAD
    struct VantorRectVTable *vtab;
    Rectangle _raw;
} VantorRectObject;

typedef struct VantorRectVTable {
    /* 0: `new` (renamed: `new` is a C++ keyword); no dispatch flag */
    PyObject *(*new_)(Rectangle r);
    PyObject *(*get_width)(VantorRectObject *self, int flag);
    PyObject *(*get_height)(VantorRectObject *self, int flag);
    int (*collide_point)(VantorRectObject *self, PyObject *point, int flag);
    int (*collide_point_vector2)(VantorRectObject *self, VantorVector2Object *point, int flag);
    int (*collide_point_tuple)(VantorRectObject *self, PyObject *point, int flag);
    int (*collide_point_list)(VantorRectObject *self, PyObject *point, int flag);
    int (*collide_rect)(VantorRectObject *self, PyObject *other, int flag);
    int (*collide_rect_vector4)(VantorRectObject *self, VantorVector4Object *other, int flag);
    int (*collide_rect_rect)(VantorRectObject *self, VantorRectObject *other, int flag);
    int (*collide_rect_tuple)(VantorRectObject *self, PyObject *other, int flag);
    int (*collide_rect_list)(VantorRectObject *self, PyObject *other, int flag);
    PyObject *(*get_vector4)(VantorRectObject *self, int flag);
    PyObject *(*get_tuple)(VantorRectObject *self, int flag);
} VantorRectVTable;

/* The type vantor_import_rect() gave in this translation unit, for VantorRect_Check(). */
static inline PyTypeObject **vantor_rect_type_slot(void) {
    static PyTypeObject *type;
    return &type;
}

/* Imports `Rect` from vantor.rect.rect through vantor_import_type(), normally once at the
 * client's module execution: 0 with `*type` (a new reference the client keeps) and `*table` set,
 * or -1 with an exception set and both left as they were. */
static inline int vantor_import_rect(PyTypeObject **type, VantorRectVTable **table) {
    void *found = NULL;
    PyTypeObject *imported =
        vantor_import_type("vantor.rect.rect", "Rect", (Py_ssize_t)sizeof(VantorRectObject), &found);
    if (!imported) return -1;
    *type = *vantor_rect_type_slot() = imported;
    *table = (VantorRectVTable *)found;
    return 0;
}

/* Whether `op` is a Rect or an instance of a subclass: 0 in a translation unit that has not
 * called vantor_import_rect(). */
#define VantorRect_Check(op) vantor_type_check((op), *vantor_rect_type_slot())

#ifdef __cplusplus
}
#endif

#endif /* VANTOR_RECT_H */
