/* Public declarations of vantor.runecell.runecell for native clients (C11 or C++).
 *
 * A client takes the type `GlyphInfo` and its operation table with vantor_import_runecell()
 * (below), which imports the module, checks the type's instance size against
 * sizeof(VantorGlyphInfoObject) and takes the table from the type's `__pyx_vtable__` capsule (no
 * capsule name), and calls `new` to wrap a raylib GlyphInfo: the struct is copied, and its bitmap
 * is wrapped in a vantor.image.image.Image (which never frees the pixel data: the caller keeps
 * owning it). `new` returns a new reference, or NULL with an exception set.
 */
#ifndef VANTOR_RUNECELL_H
#define VANTOR_RUNECELL_H

#include <Python.h>
#include <raylib.h>

#include "../typeimport.h"

#ifdef __cplusplus
extern "C" {
#endif

struct VantorGlyphInfoVTable;

typedef struct VantorGlyphInfoObject {
    PyObject_HEAD
    struct VantorGlyphInfoVTable *vtab;
    GlyphInfo _raw;
    PyObject *image; /* the Image wrapping _raw.image, or None */
} VantorGlyphInfoObject;

typedef struct VantorGlyphInfoVTable {
    /* 0: `new` (renamed: `new` is a C++ keyword) */
    PyObject *(*new_)(GlyphInfo raw);
} VantorGlyphInfoVTable;

/* The type vantor_import_runecell() gave in this translation unit, for VantorGlyphInfo_Check(). */
static inline PyTypeObject **vantor_runecell_type_slot(void) {
    static PyTypeObject *type;
    return &type;
}

/* Imports `GlyphInfo` from vantor.runecell.runecell through vantor_import_type(), normally once at the
 * client's module execution: 0 with `*type` (a new reference the client keeps) and `*table` set,
 * or -1 with an exception set and both left as they were. */
static inline int vantor_import_runecell(PyTypeObject **type, VantorGlyphInfoVTable **table) {
    void *found = NULL;
    PyTypeObject *imported =
        vantor_import_type("vantor.runecell.runecell", "GlyphInfo", (Py_ssize_t)sizeof(VantorGlyphInfoObject),
                           &found);
    if (!imported) return -1;
    *type = *vantor_runecell_type_slot() = imported;
    *table = (VantorGlyphInfoVTable *)found;
    return 0;
}

/* Whether `op` is a GlyphInfo or an instance of a subclass: 0 in a translation unit that has not
 * called vantor_import_runecell(). */
#define VantorGlyphInfo_Check(op) vantor_type_check((op), *vantor_runecell_type_slot())

#ifdef __cplusplus
}
#endif

#endif /* VANTOR_RUNECELL_H */
