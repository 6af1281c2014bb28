/* Public declarations of vantor.vector2.vector2 for native clients (C11 or C++).
 *
 * A client takes the type `Vector2` and its operation table with vantor_import_vector2() (below),
 * which imports the module, checks the type's instance size against sizeof(VantorVector2Object) and
 * takes the table from the type's `__pyx_vtable__` capsule (no capsule name), and then calls the
 * table's entries directly. The slot order of VantorVector2VTable is the calling contract: entries
 * are only ever appended.
 *
 * Entries returning PyObject* return a new reference, or NULL with an exception set. Entries that
 * are also Python methods take a trailing `int` dispatch flag; pass 1. The list/tuple entries
 * (cfrom_list, cfrom_tuple) raise IndexError for fewer than two items.
 */
#ifndef VANTOR_VECTOR2_H
#define VANTOR_VECTOR2_H

#include <Python.h>
#include <raylib.h>

#include "../typeimport.h"

#ifdef __cplusplus
extern "C" {
#endif

struct VantorVector2VTable;

typedef struct VantorVector2Object {
    PyObject_HEAD
    struct VantorVector2VTable *vtab;
    Vector2 data;
} VantorVector2Object;

typedef struct VantorVector2VTable {
    /* 0: `new` (renamed: `new` is a C++ keyword) */
    PyObject *(*new_)(double x, double y);
    PyObject *(*cfrom_struct)(Vector2 v);
    PyObject *(*cfrom_list)(PyObject *list);
    PyObject *(*cfrom_ints)(int x, int y);
    PyObject *(*cfrom_floats)(float x, float y);
    PyObject *(*cfrom_tuple)(PyObject *tuple);
    PyObject *(*cfrom_vector2)(VantorVector2Object *other);
    PyObject *(*cfrom_xy)(double x, double y);
    PyObject *(*_add)(VantorVector2Object *self, VantorVector2Object *other);
    PyObject *(*_sub)(VantorVector2Object *self, VantorVector2Object *other);
    void (*_iadd)(VantorVector2Object *self, VantorVector2Object *other);
    void (*_isub)(VantorVector2Object *self, VantorVector2Object *other);
    void (*_imul)(VantorVector2Object *self, VantorVector2Object *other);
    void (*_sadd)(VantorVector2Object *self, VantorVector2Object *a, VantorVector2Object *b);
    /* 14: the caller tests PyErr_Occurred() afterwards */
    void (*sadd)(VantorVector2Object *self, VantorVector2Object *new_vec, VantorVector2Object *old_vec, int flag);
    PyObject *(*get_tuple)(VantorVector2Object *self, int flag);
    PyObject *(*c_get_tuple)(VantorVector2Object *self);
    PyObject *(*to_round)(VantorVector2Object *self, int flag);
    PyObject *(*get_round)(VantorVector2Object *self, int flag);
    PyObject *(*to_abs)(VantorVector2Object *self, int flag);
    PyObject *(*get_abs)(VantorVector2Object *self, int flag);
    PyObject *(*to_neg)(VantorVector2Object *self, int flag);
    PyObject *(*get_neg)(VantorVector2Object *self, int flag);
    PyObject *(*get_int_tuple)(VantorVector2Object *self, int flag);
    PyObject *(*get_rounded_tuple)(VantorVector2Object *self, int flag);
    PyObject *(*copy)(VantorVector2Object *self, int flag);
    PyObject *(*to_normalized)(VantorVector2Object *self, int flag);
    PyObject *(*get_normalized)(VantorVector2Object *self, int flag);
    double (*distance_to)(VantorVector2Object *self, VantorVector2Object *other, int flag);
    double (*distance_squared_to)(VantorVector2Object *self, VantorVector2Object *other, int flag);
    double (*dot)(VantorVector2Object *self, VantorVector2Object *other, int flag);
} VantorVector2VTable;

/* The type vantor_import_vector2() gave in this translation unit, for VantorVector2_Check(). */
static inline PyTypeObject **vantor_vector2_type_slot(void) {
    static PyTypeObject *type;
    return &type;
}

/* Imports `Vector2` from vantor.vector2.vector2 through vantor_import_type(), normally once at the
 * client's module execution: 0 with `*type` (a new reference the client keeps) and `*table` set,
 * or -1 with an exception set and both left as they were. */
static inline int vantor_import_vector2(PyTypeObject **type, VantorVector2VTable **table) {
    void *found = NULL;
    PyTypeObject *imported =
        vantor_import_type("vantor.vector2.vector2", "Vector2", (Py_ssize_t)sizeof(VantorVector2Object), &found);
    if (!imported) return -1;
    *type = *vantor_vector2_type_slot() = imported;
    *table = (VantorVector2VTable *)found;
    return 0;
}

/* Whether `op` is a Vector2 or an instance of a subclass: 0 in a translation unit that has not
 * called vantor_import_vector2(). */
#define VantorVector2_Check(op) vantor_type_check((op), *vantor_vector2_type_slot())

#ifdef __cplusplus
}
#endif

#endif /* VANTOR_VECTOR2_H */
