/* Public declarations of vantor.image.image for native clients (C11 or C++).
 *
 * `Image` wraps a raylib Image by value. It never frees, copies or writes the pixel data the
 * struct points to: whoever made the pixels keeps owning them and must keep them alive while the
 * Image object can reach them.
 *
 * Slot 0, `new`, makes an Image from a raylib Image and an optional-argument record: `count` says
 * how many optional arguments follow (0 or 1), `value` is the flag (0 when not given). The record
 * pointer may be NULL (no optional argument). It returns a new reference, or NULL with ValueError
 * for negative dimensions or mipmap counts. A client takes the type `Image` and its operation table
 * with vantor_import_image() (below), which imports the module, checks the type's instance size
 * against sizeof(VantorImageObject) and takes the table from the type's `__pyx_vtable__` capsule.
 */
#ifndef VANTOR_IMAGE_H
#define VANTOR_IMAGE_H

#include <Python.h>
#include <raylib.h>

#include "../typeimport.h"

#ifdef __cplusplus
extern "C" {
#endif

struct VantorImageVTable;

typedef struct VantorImageOptional {
    int count;
    int value;
} VantorImageOptional;

typedef struct VantorImageObject {
    PyObject_HEAD
    struct VantorImageVTable *vtab;
    Image _raw;
    int flag;
} VantorImageObject;

typedef struct VantorImageVTable {
    /* 0: `new` (renamed: `new` is a C++ keyword) */
    PyObject *(*new_)(Image image, VantorImageOptional *optional);
} VantorImageVTable;

/* The type vantor_import_image() gave in this translation unit, for VantorImage_Check(). */
static inline PyTypeObject **vantor_image_type_slot(void) {
    static PyTypeObject *type;
    return &type;
}

/* Imports `Image` from vantor.image.image through vantor_import_type(), normally once at the
 * client's module execution: 0 with `*type` (a new reference the client keeps) and `*table` set,
 * or -1 with an exception set and both left as they were. */
static inline int vantor_import_image(PyTypeObject **type, VantorImageVTable **table) {
    void *found = NULL;
    PyTypeObject *imported =
        vantor_import_type("vantor.image.image", "Image", (Py_ssize_t)sizeof(VantorImageObject), &found);
    if (!imported) return -1;
    *type = *vantor_image_type_slot() = imported;
    *table = (VantorImageVTable *)found;
    return 0;
}

/* Whether `op` is a Image or an instance of a subclass: 0 in a translation unit that has not
 * called vantor_import_image(). */
#define VantorImage_Check(op) vantor_type_check((op), *vantor_image_type_slot())

#ifdef __cplusplus
}
#endif

#endif /* VANTOR_IMAGE_H */
