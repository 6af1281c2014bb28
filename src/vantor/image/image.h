/* Public declarations of vantor.image.image for native clients (C11 or C++).
 *
 * `Image` wraps a raylib Image by value. It never frees, copies or writes the pixel data the
 * struct points to: whoever made the pixels keeps owning them and must keep them alive while the
 * Image object can reach them.
 *
 * Slot 0, `new`, makes an Image from a raylib Image and an optional-argument record: `count` says
 * how many optional arguments follow (0 or 1), `value` is the flag (0 when not given). The record
 * pointer may be NULL (no optional argument). It returns a new reference, or NULL with ValueError
 * for negative dimensions or mipmap counts.
 */
#ifndef VANTOR_IMAGE_H
#define VANTOR_IMAGE_H

#include <Python.h>
#include <raylib.h>

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

#ifdef __cplusplus
}
#endif

#endif /* VANTOR_IMAGE_H */
