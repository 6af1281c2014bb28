/* Public declarations of vantor.runecell.runecell for native clients (C11 or C++).
 *
 * A client imports the module, takes the type `GlyphInfo` and its operation table from the type's
 * `__pyx_vtable__` capsule (no capsule name), checks the type's instance size against
 * sizeof(VantorGlyphInfoObject), and calls `new` to wrap a raylib GlyphInfo: the struct is copied,
 * and its bitmap is wrapped in a vantor.image.image.Image (which never frees the pixel data: the
 * caller keeps owning it). `new` returns a new reference, or NULL with an exception set.
 */
#ifndef VANTOR_RUNECELL_H
#define VANTOR_RUNECELL_H

#include <Python.h>
#include <raylib.h>

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

#ifdef __cplusplus
}
#endif

#endif /* VANTOR_RUNECELL_H */
