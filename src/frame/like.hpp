// Reading a "like" argument: a package type's record, or the items of a tuple, list or other
// sequence of the right length. The parser module's exported functions and the vector methods
// that take a vector-like argument share this reading and its messages.
#pragma once

#include "convert.hpp"
#include "core.hpp"

#include <Python.h>

#include <cstddef>

namespace vantor::frame {

// What distinguishes one kind of like-argument from another.
struct Kind {
    const char* name;  // traceback name of the parser function
    Py_ssize_t min_len, max_len;
    const char* tuple_message;
    const char* list_message;
    const char* sequence_message;
    const char* type_prefix;
    const char* type_suffix;
};

constexpr Kind vector2_kind{"parse_vector2_like",
                            2,
                            2,
                            "tuple for vector2-like argument must have only 2 elements.",
                            "list for vector2-like argument must have only 2 elements.",
                            "sequence for vector2-like argument must have only 2 elements.",
                            "vector2-like argument must be Vector2, or any sequence, got ",
                            "."};
constexpr Kind vector3_kind{nullptr,
                            3,
                            3,
                            "tuple for vector3-like argument must have only 3 elements.",
                            "list for vector3-like argument must have only 3 elements.",
                            "sequence for vector3-like argument must have only 3 elements.",
                            "vector3-like argument must be Vector3, or any sequence, got ",
                            "."};
constexpr Kind vector4_kind{nullptr,
                            4,
                            4,
                            "tuple for vector4-like argument must have only 4 elements.",
                            "list for vector4-like argument must have only 4 elements.",
                            "sequence for vector4-like argument must have only 4 elements.",
                            "vector4-like argument must be Vector4, or any sequence, got ",
                            "."};
constexpr Kind color_kind{"parse_color_like",
                          3,
                          4,
                          "tuple for color-like argument must have only 3-4 elements.",
                          "list for color-like argument must have only 3-4 elements.",
                          "sequence for color-like argument must have only 3-4 elements.",
                          "color-like argument must be Color, or any sequence, got ",
                          "."};
constexpr Kind rect_kind{"parse_rect_like",
                         4,
                         4,
                         "tuple for rect-like argument must have only 4 elements.",
                         "list for rect-like argument must have only 4 elements.",
                         "sequence for rect-like argument must have only 4 elements.",
                         "rect_like argument must be Rect, tuple, or list, got ",
                         ""};

// Item conversions: a float narrowed to single precision, a double, or a C int (clamped to a byte
// later by the colour parser).
inline bool convert_item(PyObject* item, float& out) noexcept { return to_float(item, out); }
inline bool convert_item(PyObject* item, double& out) noexcept { return to_double(item, out); }
inline bool convert_item(PyObject* item, int& out) noexcept { return to_int(item, out); }

// Converts the items of an exact tuple or list, or of a materialised sequence, after checking the
// length. List items are taken as strong references one by one, so a list another thread changes
// meanwhile can make the parse fail but never hands over a freed item.
template <class T, size_t N>
bool convert_like_items(PyObject* seq, const Kind& kind, const char* length_message, T (&out)[N],
                        Py_ssize_t& len) noexcept {
    static_assert(N > 0);
    const bool list = PyList_CheckExact(seq);
    len = list ? PyList_GET_SIZE(seq) : PyTuple_GET_SIZE(seq);
    if (len < kind.min_len || len > kind.max_len) {
        PyErr_SetString(PyExc_ValueError, length_message);
        return false;
    }
    for (Py_ssize_t i = 0; i < len; ++i) {
        Ref item(list ? PyList_GetItemRef(seq, i) : Py_NewRef(PyTuple_GET_ITEM(seq, i)));
        if (!item || !convert_item(item.get(), out[i])) return false;
    }
    return true;
}

// The reading shared by every like-argument after the test for the package type: tuple, list,
// other sequence, or the type error. Fills `out` (len items); false with an exception set on failure.
template <class T, size_t N>
bool parse_like_items(PyObject* arg, const Kind& kind, T (&out)[N], Py_ssize_t& len) noexcept {
    if (PyTuple_CheckExact(arg)) return convert_like_items(arg, kind, kind.tuple_message, out, len);
    if (PyList_CheckExact(arg)) return convert_like_items(arg, kind, kind.list_message, out, len);
    if (PySequence_Check(arg)) {
        Ref seq(PySequence_Fast(arg, "expected sequence"));
        return seq && convert_like_items(seq.get(), kind, kind.sequence_message, out, len);
    }
    Ref text(type_name_text(arg));
    if (text) PyErr_Format(PyExc_TypeError, "%s%U%s", kind.type_prefix, text.get(), kind.type_suffix);
    return false;
}

}  // namespace vantor::frame
