/* Public declarations of vantor.vector4.vector4 for native clients (C11 or C++).
 *
 * A client takes the type `Vector4` and its operation table with vantor_import_vector4() (below),
 * which imports the module, checks the type's instance size against sizeof(VantorVector4Object) and
 * takes the table from the type's `__pyx_vtable__` capsule (no capsule name), and then calls the
 * table's entries directly. The slot order of VantorVector4VTable is the calling contract: entries
 * are only ever appended.
 *
 * Entries returning PyObject* return a new reference, or NULL with an exception set. Entries that
 * are also Python methods take a trailing `int` dispatch flag; pass 1. The list/tuple entries
 * (cfrom_list, cfrom_tuple) raise IndexError for fewer than four items.
 */
#ifndef VANTOR_VECTOR4_H
#define VANTOR_VECTOR4_H

#include <Python.h>

#include "../typeimport.h"

#ifdef __cplusplus
extern "C" {
#endif

struct VantorVector4VTable;

/* The record: four doubles (not raylib's float Vector4). */
typedef struct VantorVector4Data {
    double x, y, z, w;
} VantorVector4Data;

typedef struct VantorVector4Object {
    PyObject_HEAD
    struct VantorVector4VTable *vtab;
    VantorVector4Data data;
} VantorVector4Object;

typedef struct VantorVector4VTable {
    /* 0: `new` (renamed: `new` is a C++ keyword) */
    PyObject *(*new_)(double x, double y, double z, double w);
    PyObject *(*cfrom_list)(PyObject *list);
    PyObject *(*cfrom_ints)(int x, int y, int z, int w);
    PyObject *(*cfrom_floats)(float x, float y, float z, float w);
    PyObject *(*cfrom_tuple)(PyObject *tuple);
    PyObject *(*cfrom_vector4)(VantorVector4Object *other);
    PyObject *(*cfrom_xyzw)(double x, double y, double z, double w);
    PyObject *(*_add)(VantorVector4Object *self, VantorVector4Object *other);
    PyObject *(*_sub)(VantorVector4Object *self, VantorVector4Object *other);
    void (*_iadd)(VantorVector4Object *self, VantorVector4Object *other);
    void (*_isub)(VantorVector4Object *self, VantorVector4Object *other);
    void (*_imul)(VantorVector4Object *self, VantorVector4Object *other);
    void (*_sadd)(VantorVector4Object *self, VantorVector4Object *a, VantorVector4Object *b);
    /* 13: the caller tests PyErr_Occurred() afterwards */
    void (*sadd)(VantorVector4Object *self, VantorVector4Object *new_vec, VantorVector4Object *old_vec, int flag);
    PyObject *(*get_tuple)(VantorVector4Object *self, int flag);
    PyObject *(*c_get_tuple)(VantorVector4Object *self);
    PyObject *(*to_round)(VantorVector4Object *self, int flag);
    PyObject *(*get_round)(VantorVector4Object *self, int flag);
    PyObject *(*to_abs)(VantorVector4Object *self, int flag);
    PyObject *(*get_abs)(VantorVector4Object *self, int flag);
    PyObject *(*to_neg)(VantorVector4Object *self, int flag);
    PyObject *(*get_neg)(VantorVector4Object *self, int flag);
    PyObject *(*get_int_tuple)(VantorVector4Object *self, int flag);
    PyObject *(*get_rounded_tuple)(VantorVector4Object *self, int flag);
    PyObject *(*copy)(VantorVector4Object *self, int flag);
    PyObject *(*to_normalized)(VantorVector4Object *self, int flag);
    PyObject *(*get_normalized)(VantorVector4Object *self, int flag);
    double (*distance_to)(VantorVector4Object *self, VantorVector4Object *other, int flag);
    double (*distance_squared_to)(VantorVector4Object *self, VantorVector4Object *other, int flag);
    double (*dot)(VantorVector4Object *self, VantorVector4Object *other, int flag);
} VantorVector4VTable;

/* The type vantor_import_vector4() gave in this translation unit, for VantorVector4_Check(). */
static inline PyTypeObject **vantor_vector4_type_slot(void) {
    static PyTypeObject *type;
    return &type;
}

/* Imports `Vector4` from vantor.vector4.vector4 through vantor_import_type(), normally once at the
 * client's module execution: 0 with `*type` (a new reference the client keeps) and `*table` set,
 * or -1 with an exception set and both left as they were. */
static inline int vantor_import_vector4(PyTypeObject **type, VantorVector4VTable **table) {
    void *found = NULL;
    PyTypeObject *imported =
        vantor_import_type("vantor.vector4.vector4", "Vector4", (Py_ssize_t)sizeof(VantorVector4Object), &found);
    if (!imported) return -1;
    *type = *vantor_vector4_type_slot() = imported;
    *table = (VantorVector4VTable *)found;
    return 0;
}

/* Whether `op` is a Vector4 or an instance of a subclass: 0 in a translation unit that has not
 * called vantor_import_vector4(). */
#define VantorVector4_Check(op) vantor_type_check((op), *vantor_vector4_type_slot())

#ifdef __cplusplus
}
#endif

#endif /* VANTOR_VECTOR4_H */
