// vantor.parser.parser: three exported C functions that turn a vector2-, color- or rect-like Python
// argument into a raylib struct. Package objects are copied out of their records (field by field,
// each a relaxed atomic load, as every record access of the package is); exact tuples
// and lists are read in place; any other sequence is materialised first.
#include "parser.h"

#include <cstdint>

#include "color/color.h"
#include "frame/module.hpp"
#include "rect/rect.h"

namespace {

using namespace vantor::frame;

constexpr ModuleInfo info{"parser", "vantor.parser.parser", "src/vantor/parser/parser.cpp", nullptr};

PyTypeObject* vector2_type = nullptr;
PyTypeObject* vector4_type = nullptr;
PyTypeObject* color_type = nullptr;
PyTypeObject* rect_type = nullptr;

// What distinguishes the three parsers.
struct Kind {
    const char* name;  // traceback name
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

// Item conversions: a float narrowed to single precision, or a C int clamped to a byte later.
bool convert(PyObject* item, float& out) noexcept { return to_float(item, out); }
bool convert(PyObject* item, int& out) noexcept { return to_int(item, out); }

// Converts the items of an exact tuple or list, or of a materialised sequence, after checking the
// length. List items are taken as strong references one by one, so a list another thread changes
// meanwhile can make the parse fail but never hands over a freed item.
template <class T, size_t N>
bool convert_items(PyObject* seq, const Kind& kind, const char* length_message, T (&out)[N], Py_ssize_t& len) noexcept {
    const bool list = PyList_CheckExact(seq);
    len = list ? PyList_GET_SIZE(seq) : PyTuple_GET_SIZE(seq);
    if (len < kind.min_len || len > kind.max_len) {
        PyErr_SetString(PyExc_ValueError, length_message);
        return false;
    }
    for (Py_ssize_t i = 0; i < len; ++i) {
        Ref item(list ? PyList_GetItemRef(seq, i) : Py_NewRef(PyTuple_GET_ITEM(seq, i)));
        if (!item || !convert(item.get(), out[i])) return false;
    }
    return true;
}

// The dispatch shared by the three parsers, after the exact package-type test: tuple, list, other
// sequence, or the type error. Fills `out` (len items); false with an exception set on failure.
template <class T, size_t N>
bool parse_items(PyObject* arg, const Kind& kind, T (&out)[N], Py_ssize_t& len) noexcept {
    if (PyTuple_CheckExact(arg)) return convert_items(arg, kind, kind.tuple_message, out, len);
    if (PyList_CheckExact(arg)) return convert_items(arg, kind, kind.list_message, out, len);
    if (PySequence_Check(arg)) {
        Ref seq(PySequence_Fast(arg, "expected sequence"));
        return seq && convert_items(seq.get(), kind, kind.sequence_message, out, len);
    }
    Ref text(type_name_text(arg));
    if (text) PyErr_Format(PyExc_TypeError, "%s%U%s", kind.type_prefix, text.get(), kind.type_suffix);
    return false;
}

template <class S>
S failed(const Kind& kind) noexcept {
    add_traceback(kind.name);
    return S{};
}

Vector2 parse_vector2_like(PyObject* arg) noexcept {
    if (Py_IS_TYPE(arg, vector2_type)) {
        const Vector2& r = reinterpret_cast<VantorVector2Object*>(arg)->data;
        return Vector2{relaxed_load(r.x), relaxed_load(r.y)};
    }
    float v[2];
    Py_ssize_t len;
    if (!parse_items(arg, vector2_kind, v, len)) return failed<Vector2>(vector2_kind);
    return Vector2{v[0], v[1]};
}

// All items converted before any is clamped to a byte; three items mean an opaque colour.
Color parse_color_like(PyObject* arg) noexcept {
    if (Py_IS_TYPE(arg, color_type)) {
        const Color& r = reinterpret_cast<VantorColorObject*>(arg)->_raw;
        return Color{relaxed_load(r.r), relaxed_load(r.g), relaxed_load(r.b), relaxed_load(r.a)};
    }
    int v[4] = {0, 0, 0, 255};
    Py_ssize_t len;
    if (!parse_items(arg, color_kind, v, len)) return failed<Color>(color_kind);
    auto byte = [](int c) { return static_cast<unsigned char>(c < 0 ? 0 : c > 255 ? 255 : c); };
    return Color{byte(v[0]), byte(v[1]), byte(v[2]), byte(v[3])};
}

Rectangle parse_rect_like(PyObject* arg) noexcept {
    if (Py_IS_TYPE(arg, rect_type)) {
        const Rectangle& r = reinterpret_cast<VantorRectObject*>(arg)->_raw;
        return Rectangle{relaxed_load(r.x), relaxed_load(r.y), relaxed_load(r.width), relaxed_load(r.height)};
    }
    float v[4];
    Py_ssize_t len;
    if (!parse_items(arg, rect_kind, v, len)) return failed<Rectangle>(rect_kind);
    return Rectangle{v[0], v[1], v[2], v[3]};
}

// __pyx_capi__: each function under its name, in a capsule named by its C signature.
int export_functions(PyObject* module) noexcept {
    PyObject* dict = PyModule_GetDict(module);
    PyObject* capi = nullptr;
    if (PyDict_GetItemStringRef(dict, "__pyx_capi__", &capi) < 0) return -1;
    Ref held(capi);
    if (!capi) {
        held = Ref(PyDict_New());
        if (!held || PyModule_AddObjectRef(module, "__pyx_capi__", held.get()) < 0) return -1;
    }
    struct Export {
        const char* name;
        const char* signature;
        void* fn;
    };
    const Export exports[] = {
        {"parse_color_like", VANTOR_PARSE_COLOR_LIKE_SIGNATURE, reinterpret_cast<void*>(&parse_color_like)},
        {"parse_rect_like", VANTOR_PARSE_RECT_LIKE_SIGNATURE, reinterpret_cast<void*>(&parse_rect_like)},
        {"parse_vector2_like", VANTOR_PARSE_VECTOR2_LIKE_SIGNATURE, reinterpret_cast<void*>(&parse_vector2_like)},
    };
    for (const Export& e : exports) {
        Ref capsule(PyCapsule_New(e.fn, e.signature, nullptr));
        if (!capsule || PyDict_SetItemString(held.get(), e.name, capsule.get()) < 0) return -1;
    }
    return 0;
}

int imports(PyObject* module) noexcept {
    // The tables are read only for the check that each type has one.
    VantorVector2VTable* vector2_table;
    VantorVector4VTable* vector4_table;
    VantorColorVTable* color_table;
    VantorRectVTable* rect_table;
    if (vantor_import_vector2(&vector2_type, &vector2_table) < 0 ||
        vantor_import_vector4(&vector4_type, &vector4_table) < 0 || vantor_import_color(&color_type, &color_table) < 0 ||
        vantor_import_rect(&rect_type, &rect_table) < 0)
        return -1;
    return import_builtin_type(module);
}

constexpr ModuleSteps steps{standard_builtins, export_functions, imports};

}  // namespace

PyMODINIT_FUNC PyInit_parser() { return ModuleDefinition<steps>::init(info); }
