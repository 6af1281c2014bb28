/* Client side of vantor.parser.parser for native modules (C11 or C++).
 *
 * The parser module exports three C functions in its `__pyx_capi__` dict, each a capsule named by
 * its C signature. A client binds them once, at its own module execution:
 *
 *     static VantorParser parser;
 *     ...
 *     if (vantor_import_parser(&parser) < 0) return -1;   // ImportError set
 *     Vector2 v = parser.parse_vector2_like(arg);
 *     if (PyErr_Occurred()) ...                          // a zero struct is also a valid result
 *
 * Each function borrows its argument and returns a struct by value: an object of exactly the
 * package type, an exact tuple or list of an accepted length, or any other sequence. On failure it
 * leaves an exception set and returns an all-zero struct, so test PyErr_Occurred() after every call.
 */
#ifndef VANTOR_PARSER_H
#define VANTOR_PARSER_H

#include <Python.h>
#include <raylib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VANTOR_PARSE_VECTOR2_LIKE_SIGNATURE "struct Vector2 (PyObject *)"
#define VANTOR_PARSE_COLOR_LIKE_SIGNATURE "struct Color (PyObject *)"
#define VANTOR_PARSE_RECT_LIKE_SIGNATURE "struct Rectangle (PyObject *)"

typedef struct VantorParser {
    Vector2 (*parse_vector2_like)(PyObject *);
    Color (*parse_color_like)(PyObject *);
    Rectangle (*parse_rect_like)(PyObject *);
} VantorParser;

/* Takes the function `name` from the `__pyx_capi__` dict `capi` into `*dest` (a function pointer
 * of `size` bytes), checking that its capsule carries `signature`. 0, or -1 with ImportError (or
 * the lookup's own error, such as MemoryError). */
static inline int vantor_bind_exported(PyObject *capi, const char *module, const char *name,
                                       const char *signature, void *dest, size_t size) {
    PyObject *capsule = NULL;
    void *fn;
    if (PyDict_Check(capi) && PyDict_GetItemStringRef(capi, name, &capsule) < 0) return -1;
    if (!capsule) {
        PyErr_Format(PyExc_ImportError, "%s does not export %s", module, name);
        return -1;
    }
    if (!PyCapsule_IsValid(capsule, signature)) {
        const char *found = PyCapsule_CheckExact(capsule) ? PyCapsule_GetName(capsule) : NULL;
        PyErr_Clear();
        PyErr_Format(PyExc_ImportError, "%s.%s has the signature \"%s\", expected \"%s\"", module, name,
                     found ? found : "(not a capsule)", signature);
        Py_DECREF(capsule);
        return -1;
    }
    fn = PyCapsule_GetPointer(capsule, signature);
    Py_DECREF(capsule); /* the dict keeps the capsule, and the capsule never frees the function */
    if (!fn) return -1;
    memcpy(dest, &fn, size < sizeof fn ? size : sizeof fn);
    return 0;
}

/* Binds the three parsers exported by `module` (normally "vantor.parser.parser"). */
static inline int vantor_import_parser_from(const char *module, VantorParser *out) {
    PyObject *mod = PyImport_ImportModule(module);
    PyObject *capi;
    int rc;
    if (!mod) return -1;
    capi = PyObject_GetAttrString(mod, "__pyx_capi__");
    Py_DECREF(mod);
    if (!capi) {
        if (PyErr_ExceptionMatches(PyExc_AttributeError)) {
            PyErr_Clear();
            PyErr_Format(PyExc_ImportError, "%s has no __pyx_capi__", module);
        }
        return -1;
    }
    rc = vantor_bind_exported(capi, module, "parse_vector2_like", VANTOR_PARSE_VECTOR2_LIKE_SIGNATURE,
                              &out->parse_vector2_like, sizeof out->parse_vector2_like);
    if (rc == 0)
        rc = vantor_bind_exported(capi, module, "parse_color_like", VANTOR_PARSE_COLOR_LIKE_SIGNATURE,
                                  &out->parse_color_like, sizeof out->parse_color_like);
    if (rc == 0)
        rc = vantor_bind_exported(capi, module, "parse_rect_like", VANTOR_PARSE_RECT_LIKE_SIGNATURE,
                                  &out->parse_rect_like, sizeof out->parse_rect_like);
    Py_DECREF(capi);
    return rc;
}

static inline int vantor_import_parser(VantorParser *out) {
    return vantor_import_parser_from("vantor.parser.parser", out);
}

#ifdef __cplusplus
}
#endif

#endif /* VANTOR_PARSER_H */
