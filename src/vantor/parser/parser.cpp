// vantor.parser.parser: three exported C functions that turn a vector2-, color- or rect-like Python
// argument into a raylib struct. Package objects are copied out of their records (field by field,
// each a relaxed atomic load, as every record access of the package is); exact tuples
// and lists are read in place; any other sequence is materialised first.
#include "parser.h"

#include <cstdint>

#include "color/color.h"
#include "frame/like.hpp"
#include "frame/module.hpp"
#include "rect/rect.h"

namespace {

using namespace vantor::frame;

constexpr ModuleInfo info{"parser", "vantor.parser.parser", "src/vantor/parser/parser.cpp", nullptr};

PyTypeObject* vector2_type = nullptr;
PyTypeObject* vector4_type = nullptr;
PyTypeObject* color_type = nullptr;
PyTypeObject* rect_type = nullptr;

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
    if (!parse_like_items(arg, vector2_kind, v, len)) return failed<Vector2>(vector2_kind);
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
    if (!parse_like_items(arg, color_kind, v, len)) return failed<Color>(color_kind);
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
    if (!parse_like_items(arg, rect_kind, v, len)) return failed<Rectangle>(rect_kind);
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
