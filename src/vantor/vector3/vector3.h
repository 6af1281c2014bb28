/* Public declarations of vantor.vector3.vector3 for native clients (C11 or C++).
 *
 * A client takes the type `Vector3` and its operation table with vantor_import_vector3() (below),
 * which imports the module, checks the type's instance size against sizeof(VantorVector3Object) and
 * takes the table from the type's `__pyx_vtable__` capsule (no capsule name), and then calls the
 * table's entries directly. The slot order of VantorVector3VTable is the calling contract: entries
 * are only ever appended.
 *
 * Entries returning PyObject* return a new reference, or NULL with an exception set. Entries that
 * are also Python methods take a trailing `int` dispatch flag; pass 1. The list/tuple entries
 * (cfrom_list, cfrom_tuple) raise IndexError for fewer than three items.
 */
#ifndef VANTOR_VECTOR3_H
#define VANTOR_VECTOR3_H

#include <Python.h>
#include <raylib.h>

#include "../typeimport.h"

#ifdef __cplusplus
extern "C" {
#endif

struct VantorVector3VTable;

typedef struct VantorVector3Object {
    PyObject_HEAD
    struct VantorVector3VTable *vtab;
    Vector3 data;
} VantorVector3Object;

typedef struct VantorVector3VTable {
    /* 0: `new` (renamed: `new` is a C++ keyword) */
    PyObject *(*new_)(double x, double y, double z);
    PyObject *(*cfrom_list)(PyObject *list);
    PyObject *(*cfrom_ints)(int x, int y, int z);
    PyObject *(*cfrom_floats)(float x, float y, float z);
    PyObject *(*cfrom_tuple)(PyObject *tuple);
    PyObject *(*cfrom_vector3)(VantorVector3Object *other);
    PyObject *(*cfrom_xyz)(double x, double y, double z);
    PyObject *(*_add)(VantorVector3Object *self, VantorVector3Object *other);
    PyObject *(*_sub)(VantorVector3Object *self, VantorVector3Object *other);
    void (*_iadd)(VantorVector3Object *self, VantorVector3Object *other);
    void (*_isub)(VantorVector3Object *self, VantorVector3Object *other);
    void (*_imul)(VantorVector3Object *self, VantorVector3Object *other);
    void (*_sadd)(VantorVector3Object *self, VantorVector3Object *a, VantorVector3Object *b);
    /* 13: the caller tests PyErr_Occurred() afterwards */
    void (*sadd)(VantorVector3Object *self, VantorVector3Object *new_vec, VantorVector3Object *old_vec, int flag);
    PyObject *(*get_tuple)(VantorVector3Object *self, int flag);
    PyObject *(*c_get_tuple)(VantorVector3Object *self);
    PyObject *(*to_round)(VantorVector3Object *self, int flag);
    PyObject *(*get_round)(VantorVector3Object *self, int flag);
    PyObject *(*to_abs)(VantorVector3Object *self, int flag);
    PyObject *(*get_abs)(VantorVector3Object *self, int flag);
    PyObject *(*to_neg)(VantorVector3Object *self, int flag);
    PyObject *(*get_neg)(VantorVector3Object *self, int flag);
    PyObject *(*get_int_tuple)(VantorVector3Object *self, int flag);
    PyObject *(*get_rounded_tuple)(VantorVector3Object *self, int flag);
    PyObject *(*copy)(VantorVector3Object *self, int flag);
    PyObject *(*to_normalized)(VantorVector3Object *self, int flag);
    PyObject *(*get_normalized)(VantorVector3Object *self, int flag);
    double (*distance_to)(VantorVector3Object *self, VantorVector3Object *other, int flag);
    double (*distance_squared_to)(VantorVector3Object *self, VantorVector3Object *other, int flag);
    double (*dot)(VantorVector3Object *self, VantorVector3Object *other, int flag);
    PyObject *(*cross)(VantorVector3Object *self, VantorVector3Object *other, int flag);
} VantorVector3VTable;

/* The type vantor_import_vector3() gave in this translation unit, for VantorVector3_Check(). */
static inline PyTypeObject **vantor_vector3_type_slot(void) {
    static PyTypeObject *type;
    return &type;
}

/* Imports `Vector3` from vantor.vector3.vector3 through vantor_import_type(), normally once at the
 * client's module execution: 0 with `*type` (a new reference the client keeps) and `*table` set,
 * or -1 with an exception set and both left as they were. */
static inline int vantor_import_vector3(PyTypeObject **type, VantorVector3VTable **table) {
    void *found = NULL;
    PyTypeObject *imported =
        vantor_import_type("vantor.vector3.vector3", "Vector3", (Py_ssize_t)sizeof(VantorVector3Object), &found);
    if (!imported) return -1;
    *type = *vantor_vector3_type_slot() = imported;
    *table = (VantorVector3VTable *)found;
    return 0;
}

/* Whether `op` is a Vector3 or an instance of a subclass: 0 in a translation unit that has not
 * called vantor_import_vector3(). */
#define VantorVector3_Check(op) vantor_type_check((op), *vantor_vector3_type_slot())

#ifdef __cplusplus
}
#endif

#endif /* VANTOR_VECTOR3_H */
