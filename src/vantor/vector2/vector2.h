/* Public declarations of vantor.vector2.vector2 for native clients (C11 or C++).
 *
 * A client imports the module, takes the type `Vector2` and its operation table from the type's
 * `__pyx_vtable__` capsule (no capsule name), checks the type's instance size against
 * sizeof(VantorVector2Object), and then calls the table's entries directly. The slot order of
 * VantorVector2VTable is the calling contract: entries are only ever appended.
 *
 * Entries returning PyObject* return a new reference, or NULL with an exception set. Entries that
 * are also Python methods take a trailing `int` dispatch flag; pass 1. The list/tuple entries
 * (cfrom_list, cfrom_tuple) raise IndexError for fewer than two items.
 */
#ifndef VANTOR_VECTOR2_H
#define VANTOR_VECTOR2_H

#include <Python.h>
#include <raylib.h>

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

#ifdef __cplusplus
}
#endif

#endif /* VANTOR_VECTOR2_H */
