// vantor._testclient: a native client of the package, built only for tests. It imports the types
// and their operation tables as any native module would (the public headers' vantor_import_<m>())
// and lets tests call every table slot from Python.
#include <cstring>
#include <string_view>

#include "frame/module.hpp"
#include <array>
#include <tuple>
#include <type_traits>

#include "color/color.h"
#include "image/image.h"
#include "parser/parser.h"
#include "rect/rect.h"
#include "runecell/runecell.h"
#include "vector2/vector2.h"
#include "vector3/vector3.h"
#include "vector4/vector4.h"

extern "C" {
#define VANTOR_C11_LAYOUT(m)            \
    size_t vantor_c11_##m##_size(void); \
    size_t vantor_c11_##m##_data_offset(void); \
    size_t vantor_c11_##m##_table_size(void);
VANTOR_C11_LAYOUT(vector2)
VANTOR_C11_LAYOUT(vector3)
VANTOR_C11_LAYOUT(vector4)
VANTOR_C11_LAYOUT(color)
VANTOR_C11_LAYOUT(rect)
VANTOR_C11_LAYOUT(image)
VANTOR_C11_LAYOUT(runecell)
int vantor_c11_import_parser(VantorParser* parser);
}

namespace {

using vantor::frame::Ref;

PyObject* none_or_error() {
    if (PyErr_Occurred()) return nullptr;
    Py_RETURN_NONE;
}
PyObject* number_or_error(double d) { return PyErr_Occurred() ? nullptr : PyFloat_FromDouble(d); }

// One vector type as a client sees it: the type and table its header's import gives, and calls of
// every slot by name with C arguments converted from Python ones.
template <class Obj, class Table, int N, int (*Import)(PyTypeObject**, Table**)>
struct VectorClient {
    static inline PyTypeObject* type = nullptr;
    static inline Table* table = nullptr;

    // Argument access for slot calls; each failure leaves a TypeError naming the position.
    struct Args {
        PyObject* tuple;
        bool ok = true;

        PyObject* obj(Py_ssize_t i) {
            if (i >= PyTuple_GET_SIZE(tuple)) {
                if (ok) PyErr_Format(PyExc_TypeError, "slot argument %zd missing", i);
                ok = false;
                return nullptr;
            }
            return PyTuple_GET_ITEM(tuple, i);
        }
        Obj* vec(Py_ssize_t i) {
            PyObject* o = obj(i);
            if (o && !PyObject_TypeCheck(o, type)) {
                if (ok) PyErr_Format(PyExc_TypeError, "slot argument %zd must be a %s", i, type->tp_name);
                ok = false;
            }
            return ok ? reinterpret_cast<Obj*>(o) : nullptr;
        }
        // Once a conversion has failed, the rest are skipped: the API must not run with an
        // exception pending.
        double d(Py_ssize_t i) {
            if (!ok) return 0.0;
            PyObject* o = obj(i);
            double v = o ? PyFloat_AsDouble(o) : 0.0;
            if (o && v == -1.0 && PyErr_Occurred()) ok = false;
            return v;
        }
        int n(Py_ssize_t i) {
            if (!ok) return 0;
            PyObject* o = obj(i);
            int v = o ? PyLong_AsInt(o) : 0;
            if (o && v == -1 && PyErr_Occurred()) ok = false;
            return v;
        }
        template <class C>
        std::array<C, N> comps(Py_ssize_t first) {
            std::array<C, N> c{};
            for (int i = 0; i < N; ++i) {
                if constexpr (std::is_same_v<C, int>)
                    c[i] = n(first + i);
                else
                    c[i] = static_cast<C>(d(first + i));
            }
            return c;
        }
    };

    // slot(name, *args): calls table entry `name` with the C arguments given.
    static PyObject* slot(PyObject*, PyObject* args) {
        if (PyTuple_GET_SIZE(args) < 1 || !PyUnicode_Check(PyTuple_GET_ITEM(args, 0))) {
            PyErr_SetString(PyExc_TypeError, "slot(name, *args)");
            return nullptr;
        }
        std::string_view name = PyUnicode_AsUTF8(PyTuple_GET_ITEM(args, 0));
        PyObject* rest = PyTuple_GetSlice(args, 1, PyTuple_GET_SIZE(args));
        if (!rest) return nullptr;
        Args a{rest};
        PyObject* r = dispatch(name, a);
        Py_DECREF(rest);
        return r;
    }

    static PyObject* dispatch(std::string_view name, Args& a) {
        const Table& t = *table;
        auto call = [&](auto f) -> PyObject* { return a.ok ? f() : nullptr; };
        auto apply = [&](auto f, const auto& c) -> PyObject* {
            return a.ok ? std::apply([&](auto... v) { return f(v...); }, c) : nullptr;
        };
        if (name == "new") return apply(t.new_, a.template comps<double>(0));
        if (name == "cfrom_ints") return apply(t.cfrom_ints, a.template comps<int>(0));
        if (name == "cfrom_floats") return apply(t.cfrom_floats, a.template comps<float>(0));
        if (name == "cfrom_list" || name == "cfrom_tuple") {
            PyObject* o = a.obj(0);
            return call([&] { return (name == "cfrom_list" ? t.cfrom_list : t.cfrom_tuple)(o); });
        }
        if constexpr (requires { t.cfrom_struct; }) {
            if (name == "cfrom_struct") {
                auto c = a.template comps<float>(0);
                return call([&] { return t.cfrom_struct(Vector2{c[0], c[1]}); });
            }
        }
        if constexpr (requires { t.cfrom_xy; }) {
            if (name == "cfrom_xy") return apply(t.cfrom_xy, a.template comps<double>(0));
            if (name == "cfrom_vector2") return call([&, v = a.vec(0)] { return t.cfrom_vector2(v); });
        }
        if constexpr (requires { t.cfrom_xyz; }) {
            if (name == "cfrom_xyz") return apply(t.cfrom_xyz, a.template comps<double>(0));
            if (name == "cfrom_vector3") return call([&, v = a.vec(0)] { return t.cfrom_vector3(v); });
        }
        if constexpr (requires { t.cfrom_xyzw; }) {
            if (name == "cfrom_xyzw") return apply(t.cfrom_xyzw, a.template comps<double>(0));
            if (name == "cfrom_vector4") return call([&, v = a.vec(0)] { return t.cfrom_vector4(v); });
        }
        if (name == "_add" || name == "_sub") {
            auto *s = a.vec(0), *o = a.vec(1);
            return call([&] { return (name == "_add" ? t._add : t._sub)(s, o); });
        }
        if (name == "_iadd" || name == "_isub" || name == "_imul") {
            auto *s = a.vec(0), *o = a.vec(1);
            auto f = name == "_iadd" ? t._iadd : name == "_isub" ? t._isub : t._imul;
            return call([&] { f(s, o); return none_or_error(); });
        }
        if (name == "_sadd") {
            auto *s = a.vec(0), *x = a.vec(1), *y = a.vec(2);
            return call([&] { t._sadd(s, x, y); return none_or_error(); });
        }
        if (name == "sadd") {
            auto *s = a.vec(0), *x = a.vec(1), *y = a.vec(2);
            int flag = a.n(3);
            return call([&] { t.sadd(s, x, y, flag); return none_or_error(); });
        }
        if (name == "c_get_tuple") return call([&, s = a.vec(0)] { return t.c_get_tuple(s); });
        if (name == "distance_to" || name == "distance_squared_to" || name == "dot") {
            auto *s = a.vec(0), *o = a.vec(1);
            int flag = a.n(2);
            auto f = name == "dot" ? t.dot : name == "distance_to" ? t.distance_to : t.distance_squared_to;
            return call([&] { return number_or_error(f(s, o, flag)); });
        }
        if constexpr (requires { t.cross; }) {
            if (name == "cross") {
                auto *s = a.vec(0), *o = a.vec(1);
                int flag = a.n(2);
                return call([&] { return t.cross(s, o, flag); });
            }
        }
        // The entries taking (self, flag) and returning an object.
        using Unary = PyObject* (*)(Obj*, int);
        const std::pair<std::string_view, Unary> unary[] = {
            {"get_tuple", t.get_tuple},         {"to_round", t.to_round},
            {"get_round", t.get_round},         {"to_abs", t.to_abs},
            {"get_abs", t.get_abs},             {"to_neg", t.to_neg},
            {"get_neg", t.get_neg},             {"get_int_tuple", t.get_int_tuple},
            {"get_rounded_tuple", t.get_rounded_tuple}, {"copy", t.copy},
            {"to_normalized", t.to_normalized}, {"get_normalized", t.get_normalized},
        };
        for (const auto& [n, f] : unary) {
            if (n != name) continue;
            auto* s = a.vec(0);
            int flag = a.n(1);
            return call([&] { return f(s, flag); });
        }
        PyErr_Format(PyExc_ValueError, "no %s slot named %s", type->tp_name, name.data());
        return nullptr;
    }

    // The record as stored: the components read straight from the instance.
    static PyObject* record(PyObject*, PyObject* o) {
        if (!PyObject_TypeCheck(o, type)) {
            PyErr_Format(PyExc_TypeError, "expected a %s", type->tp_name);
            return nullptr;
        }
        const auto& d = reinterpret_cast<Obj*>(o)->data;
        if constexpr (N == 2) return Py_BuildValue("(dd)", double(d.x), double(d.y));
        if constexpr (N == 3) return Py_BuildValue("(ddd)", double(d.x), double(d.y), double(d.z));
        if constexpr (N == 4) return Py_BuildValue("(dddd)", d.x, d.y, d.z, d.w);
    }

    // The table pointer stored in an instance is the one published in the capsule.
    static PyObject* vtab_matches(PyObject*, PyObject* o) {
        if (!PyObject_TypeCheck(o, type)) {
            PyErr_Format(PyExc_TypeError, "expected a %s", type->tp_name);
            return nullptr;
        }
        return PyBool_FromLong(reinterpret_cast<Obj*>(o)->vtab == table);
    }

    static int import() { return Import(&type, &table); }
};

using Vector2Client = VectorClient<VantorVector2Object, VantorVector2VTable, 2, vantor_import_vector2>;
using Vector3Client = VectorClient<VantorVector3Object, VantorVector3VTable, 3, vantor_import_vector3>;
using Vector4Client = VectorClient<VantorVector4Object, VantorVector4VTable, 4, vantor_import_vector4>;

// The Color table: color_slot(name, *args) with C arguments converted from Python ones.
PyTypeObject* color_type = nullptr;
VantorColorVTable* color_table = nullptr;

VantorColorObject* color_arg(PyObject* args, Py_ssize_t i) {
    PyObject* o = i < PyTuple_GET_SIZE(args) ? PyTuple_GET_ITEM(args, i) : nullptr;
    if (!o || !VantorColor_Check(o)) {
        PyErr_Format(PyExc_TypeError, "slot argument %zd must be a Color", i);
        return nullptr;
    }
    return reinterpret_cast<VantorColorObject*>(o);
}

PyObject* color_slot(PyObject*, PyObject* args) {
    const char* name;
    PyObject* rest;
    if (PyTuple_GET_SIZE(args) < 1 || !(name = PyUnicode_AsUTF8(PyTuple_GET_ITEM(args, 0)))) return nullptr;
    const std::string_view n = name;
    Ref held(PyTuple_GetSlice(args, 1, PyTuple_GET_SIZE(args)));
    if (!(rest = held.get())) return nullptr;
    const VantorColorVTable& t = *color_table;
    if (n == "new") {
        int c[4];
        if (!PyArg_ParseTuple(rest, "iiii", &c[0], &c[1], &c[2], &c[3])) return nullptr;
        return t.new_(c[0], c[1], c[2], c[3]);
    }
    VantorColorObject* self = color_arg(rest, 0);
    if (!self) return nullptr;
    if (n == "c_normalize") return t.c_normalize(self);
    if (n == "c_equal" || n == "c_tint") {
        VantorColorObject* other = color_arg(rest, 1);
        if (!other) return nullptr;
        return n == "c_tint" ? t.c_tint(self, other) : PyBool_FromLong(t.c_equal(self, other));
    }
    if (n == "fade") {
        PyObject* o;
        float alpha;
        int flag;
        if (!PyArg_ParseTuple(rest, "Ofi", &o, &alpha, &flag)) return nullptr;
        t.fade(self, alpha, flag);
        return none_or_error();
    }
    if (n == "to_int") {
        PyObject* o;
        int flag;
        if (!PyArg_ParseTuple(rest, "Oi", &o, &flag)) return nullptr;
        const int v = t.to_int(self, flag);
        if (PyErr_Occurred()) return nullptr;
        return PyLong_FromLong(v);
    }
    PyErr_Format(PyExc_ValueError, "no Color slot named %s", name);
    return nullptr;
}

// The Rect table: rect_slot(name, *args). Truth entries give a bool, or raise when the entry left
// an exception set.
PyTypeObject* rect_type = nullptr;
VantorRectVTable* rect_table = nullptr;

PyObject* rect_slot(PyObject*, PyObject* args) {
    const char* name;
    PyObject* self;
    PyObject* arg = nullptr;
    int flag = 1;
    if (PyTuple_GET_SIZE(args) >= 1 && PyUnicode_Check(PyTuple_GET_ITEM(args, 0)) &&
        std::string_view(PyUnicode_AsUTF8(PyTuple_GET_ITEM(args, 0))) == "new") {
        float r[4];
        if (!PyArg_ParseTuple(args, "sffff", &name, &r[0], &r[1], &r[2], &r[3])) return nullptr;
        return rect_table->new_(Rectangle{r[0], r[1], r[2], r[3]});
    }
    if (!PyArg_ParseTuple(args, "sO|Oi", &name, &self, &arg, &flag)) return nullptr;
    if (!VantorRect_Check(self)) {
        PyErr_SetString(PyExc_TypeError, "slot argument 0 must be a Rect");
        return nullptr;
    }
    auto* r = reinterpret_cast<VantorRectObject*>(self);
    const VantorRectVTable& t = *rect_table;
    const std::string_view n = name;
    if (PyTuple_GET_SIZE(args) == 3) {  // (name, self, flag): the object entries
        flag = PyLong_AsInt(arg);
        if (flag == -1 && PyErr_Occurred()) return nullptr;
        if (n == "get_width") return t.get_width(r, flag);
        if (n == "get_height") return t.get_height(r, flag);
        if (n == "get_vector4") return t.get_vector4(r, flag);
        if (n == "get_tuple") return t.get_tuple(r, flag);
    } else if (arg) {
        int v = -1;
        if (n == "collide_point") v = t.collide_point(r, arg, flag);
        if (n == "collide_point_vector2")
            v = t.collide_point_vector2(r, reinterpret_cast<VantorVector2Object*>(arg), flag);
        if (n == "collide_point_tuple") v = t.collide_point_tuple(r, arg, flag);
        if (n == "collide_point_list") v = t.collide_point_list(r, arg, flag);
        if (n == "collide_rect") v = t.collide_rect(r, arg, flag);
        if (n == "collide_rect_vector4") v = t.collide_rect_vector4(r, reinterpret_cast<VantorVector4Object*>(arg), flag);
        if (n == "collide_rect_rect") v = t.collide_rect_rect(r, reinterpret_cast<VantorRectObject*>(arg), flag);
        if (n == "collide_rect_tuple") v = t.collide_rect_tuple(r, arg, flag);
        if (n == "collide_rect_list") v = t.collide_rect_list(r, arg, flag);
        if (v >= 0) {
            if (PyErr_Occurred()) return nullptr;
            return PyBool_FromLong(v);
        }
    }
    PyErr_Format(PyExc_ValueError, "no Rect slot call %s with these arguments", name);
    return nullptr;
}

// The parsers, bound through the public header by its C11 compilation.
VantorParser parser;

// parse(kind, obj) -> (struct fields, pending exception or None): the struct is returned even on
// failure, so tests can check it is all zero.
PyObject* parse(PyObject*, PyObject* args) {
    const char* kind;
    PyObject* o;
    if (!PyArg_ParseTuple(args, "sO", &kind, &o)) return nullptr;
    const std::string_view k = kind;
    // The parser's exception (if any) is taken before the fields are boxed, so that boxing never
    // runs with an exception pending, and a failure to box is reported as itself.
    PyObject* fields;
    PyObject* exc;
    if (k == "vector2") {
        const Vector2 v = parser.parse_vector2_like(o);
        exc = PyErr_GetRaisedException();
        fields = Py_BuildValue("(dd)", double(v.x), double(v.y));
    } else if (k == "color") {
        const Color c = parser.parse_color_like(o);
        exc = PyErr_GetRaisedException();
        fields = Py_BuildValue("(iiii)", c.r, c.g, c.b, c.a);
    } else if (k == "rect") {
        const Rectangle r = parser.parse_rect_like(o);
        exc = PyErr_GetRaisedException();
        fields = Py_BuildValue("(dddd)", double(r.x), double(r.y), double(r.width), double(r.height));
    } else {
        PyErr_SetString(PyExc_ValueError, "kind is vector2, color or rect");
        return nullptr;
    }
    if (!fields) {
        Py_XDECREF(exc);
        return nullptr;
    }
    return Py_BuildValue("(NN)", fields, exc ? exc : Py_NewRef(Py_None));
}

// bind_parser(module): binds the three parsers from `module` through the header (C++ compilation).
PyObject* bind_parser(PyObject*, PyObject* arg) {
    const char* module = PyUnicode_AsUTF8(arg);
    if (!module) return nullptr;
    VantorParser p;
    if (vantor_import_parser_from(module, &p) < 0) return nullptr;
    return PyBool_FromLong(p.parse_vector2_like == parser.parse_vector2_like &&
                           p.parse_color_like == parser.parse_color_like && p.parse_rect_like == parser.parse_rect_like);
}

// GlyphInfo and Image: glyph_new(value, offsetX, offsetY, advanceX, width, height, mipmaps, format,
// pixels) wraps a glyph whose bitmap points into `pixels` (a bytearray the caller owns) or is null
// (pixels None).
PyTypeObject* glyph_type = nullptr;
VantorGlyphInfoVTable* glyph_table = nullptr;
PyTypeObject* image_type = nullptr;
VantorImageVTable* image_table = nullptr;

PyObject* glyph_new(PyObject*, PyObject* args) {
    GlyphInfo g{};
    PyObject* pixels;
    if (!PyArg_ParseTuple(args, "iiiiiiiiO", &g.value, &g.offsetX, &g.offsetY, &g.advanceX, &g.image.width,
                          &g.image.height, &g.image.mipmaps, &g.image.format, &pixels))
        return nullptr;
    if (pixels != Py_None) {
        if (!PyByteArray_Check(pixels)) {
            PyErr_SetString(PyExc_TypeError, "pixels must be a bytearray or None");
            return nullptr;
        }
        g.image.data = PyByteArray_AS_STRING(pixels);
    }
    return glyph_table->new_(g);
}

// (value, offsetX, offsetY, advanceX, data address, width, height, mipmaps, format, image object)
PyObject* glyph_record(PyObject*, PyObject* o) {
    if (!VantorGlyphInfo_Check(o)) {
        PyErr_SetString(PyExc_TypeError, "expected a GlyphInfo");
        return nullptr;
    }
    const auto* g = reinterpret_cast<VantorGlyphInfoObject*>(o);
    const GlyphInfo& r = g->_raw;
    return Py_BuildValue("(iiiiniiiiO)", r.value, r.offsetX, r.offsetY, r.advanceX,
                         reinterpret_cast<Py_ssize_t>(r.image.data), r.image.width, r.image.height, r.image.mipmaps,
                         r.image.format, g->image);
}

// image_new(width, height, mipmaps, format, count, value): slot 0 of Image with an optional record
// (count -1: no record at all); image_record(image) -> (data address, width, height, mipmaps,
// format, flag).
PyObject* image_new(PyObject*, PyObject* args) {
    Image i{};
    VantorImageOptional optional{};
    if (!PyArg_ParseTuple(args, "iiiiii", &i.width, &i.height, &i.mipmaps, &i.format, &optional.count,
                          &optional.value))
        return nullptr;
    return image_table->new_(i, optional.count < 0 ? nullptr : &optional);
}

PyObject* image_record(PyObject*, PyObject* o) {
    if (!VantorImage_Check(o)) {
        PyErr_SetString(PyExc_TypeError, "expected an Image");
        return nullptr;
    }
    const auto* i = reinterpret_cast<VantorImageObject*>(o);
    return Py_BuildValue("(niiiii)", reinterpret_cast<Py_ssize_t>(i->_raw.data), i->_raw.width, i->_raw.height,
                         i->_raw.mipmaps, i->_raw.format, i->flag);
}

// Layout facts as the C++ and the C11 compilations of the public headers see them.
PyObject* layout(PyObject*, PyObject*) {
    return Py_BuildValue(
        "{s:(nnn),s:(nnn),s:(nnn),s:(nnn),s:(nnn),s:(nnn),s:(nnn),s:(nnn),s:(nnn),s:(nnn),s:(nnn),s:(nnn),s:(nnn),s:(nnn)}",
        "vector2", sizeof(VantorVector2Object), offsetof(VantorVector2Object, data), sizeof(VantorVector2VTable),
        "vector3", sizeof(VantorVector3Object), offsetof(VantorVector3Object, data), sizeof(VantorVector3VTable),
        "vector4", sizeof(VantorVector4Object), offsetof(VantorVector4Object, data), sizeof(VantorVector4VTable),
        "c11_vector2", vantor_c11_vector2_size(), vantor_c11_vector2_data_offset(), vantor_c11_vector2_table_size(),
        "c11_vector3", vantor_c11_vector3_size(), vantor_c11_vector3_data_offset(), vantor_c11_vector3_table_size(),
        "c11_vector4", vantor_c11_vector4_size(), vantor_c11_vector4_data_offset(), vantor_c11_vector4_table_size(),
        "color", sizeof(VantorColorObject), offsetof(VantorColorObject, _raw), sizeof(VantorColorVTable),
        "c11_color", vantor_c11_color_size(), vantor_c11_color_data_offset(), vantor_c11_color_table_size(),
        "rect", sizeof(VantorRectObject), offsetof(VantorRectObject, _raw), sizeof(VantorRectVTable),
        "c11_rect", vantor_c11_rect_size(), vantor_c11_rect_data_offset(), vantor_c11_rect_table_size(),
        "image", sizeof(VantorImageObject), offsetof(VantorImageObject, _raw), sizeof(VantorImageVTable),
        "c11_image", vantor_c11_image_size(), vantor_c11_image_data_offset(), vantor_c11_image_table_size(),
        "runecell", sizeof(VantorGlyphInfoObject), offsetof(VantorGlyphInfoObject, _raw), sizeof(VantorGlyphInfoVTable),
        "c11_runecell", vantor_c11_runecell_size(), vantor_c11_runecell_data_offset(), vantor_c11_runecell_table_size());
}

// The package's own type import, exposed so tests can drive its failure modes:
// import_type(module, name, expected_size, fetch_table) -> (type, table fetched).
PyObject* import_type(PyObject*, PyObject* args) {
    const char *module, *name;
    Py_ssize_t size;
    int fetch;
    if (!PyArg_ParseTuple(args, "ssnp", &module, &name, &size, &fetch)) return nullptr;
    void* table = nullptr;
    PyTypeObject* type = vantor::frame::import_type(module, name, size, fetch ? &table : nullptr);
    if (!type) return nullptr;
    return Py_BuildValue("(NO)", reinterpret_cast<PyObject*>(type), table ? Py_True : Py_False);
}

// import_again(kind): runs vantor_import_<kind>() again, into outputs holding markers. Gives (type,
// whether the table is the one imported at load); on failure the import's exception, or
// AssertionError when it changed an output anyway.
template <class Table>
PyObject* import_into_markers(int (*import)(PyTypeObject**, Table**), const Table* loaded) noexcept {
    static char marker;
    PyTypeObject* type = &PyBaseObject_Type;
    Table* table = reinterpret_cast<Table*>(&marker);
    if (import(&type, &table) == 0) return Py_BuildValue("(NO)", type, table == loaded ? Py_True : Py_False);
    if (type != &PyBaseObject_Type || table != reinterpret_cast<Table*>(&marker))
        PyErr_SetString(PyExc_AssertionError, "a failed import changed its outputs");
    return nullptr;
}

PyObject* import_again(PyObject*, PyObject* arg) noexcept {
    const char* kind = PyUnicode_AsUTF8(arg);
    if (!kind) return nullptr;
    const std::string_view k = kind;
    if (k == "vector2") return import_into_markers(vantor_import_vector2, Vector2Client::table);
    if (k == "vector3") return import_into_markers(vantor_import_vector3, Vector3Client::table);
    if (k == "vector4") return import_into_markers(vantor_import_vector4, Vector4Client::table);
    if (k == "color") return import_into_markers(vantor_import_color, color_table);
    if (k == "rect") return import_into_markers(vantor_import_rect, rect_table);
    if (k == "image") return import_into_markers(vantor_import_image, image_table);
    if (k == "runecell") return import_into_markers(vantor_import_runecell, glyph_table);
    PyErr_Format(PyExc_ValueError, "no import for %s", kind);
    return nullptr;
}

// check(kind, obj): the header's Vantor<Type>_Check() against the type imported at load.
PyObject* check(PyObject*, PyObject* args) noexcept {
    const char* kind;
    PyObject* o;
    if (!PyArg_ParseTuple(args, "sO", &kind, &o)) return nullptr;
    const std::string_view k = kind;
    if (k == "vector2") return PyBool_FromLong(VantorVector2_Check(o));
    if (k == "vector3") return PyBool_FromLong(VantorVector3_Check(o));
    if (k == "vector4") return PyBool_FromLong(VantorVector4_Check(o));
    if (k == "color") return PyBool_FromLong(VantorColor_Check(o));
    if (k == "rect") return PyBool_FromLong(VantorRect_Check(o));
    if (k == "image") return PyBool_FromLong(VantorImage_Check(o));
    if (k == "runecell") return PyBool_FromLong(VantorGlyphInfo_Check(o));
    PyErr_Format(PyExc_ValueError, "no check for %s", kind);
    return nullptr;
}

PyMethodDef functions[] = {
    {"vector2_slot", Vector2Client::slot, METH_VARARGS, nullptr},
    {"vector2_record", Vector2Client::record, METH_O, nullptr},
    {"vector2_vtab_matches", Vector2Client::vtab_matches, METH_O, nullptr},
    {"vector3_slot", Vector3Client::slot, METH_VARARGS, nullptr},
    {"vector3_record", Vector3Client::record, METH_O, nullptr},
    {"vector3_vtab_matches", Vector3Client::vtab_matches, METH_O, nullptr},
    {"vector4_slot", Vector4Client::slot, METH_VARARGS, nullptr},
    {"vector4_record", Vector4Client::record, METH_O, nullptr},
    {"vector4_vtab_matches", Vector4Client::vtab_matches, METH_O, nullptr},
    {"color_slot", color_slot, METH_VARARGS, nullptr},
    {"rect_slot", rect_slot, METH_VARARGS, nullptr},
    {"parse", parse, METH_VARARGS, nullptr},
    {"bind_parser", bind_parser, METH_O, nullptr},
    {"glyph_new", glyph_new, METH_VARARGS, nullptr},
    {"glyph_record", glyph_record, METH_O, nullptr},
    {"image_new", image_new, METH_VARARGS, nullptr},
    {"image_record", image_record, METH_O, nullptr},
    {"layout", layout, METH_NOARGS, nullptr},
    {"import_type", import_type, METH_VARARGS, nullptr},
    {"import_again", import_again, METH_O, nullptr},
    {"check", check, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int exec(PyObject*) {
    if (Vector2Client::import() < 0 || Vector3Client::import() < 0 || Vector4Client::import() < 0 ||
        vantor_import_color(&color_type, &color_table) < 0 || vantor_import_rect(&rect_type, &rect_table) < 0 ||
        vantor_import_image(&image_type, &image_table) < 0 || vantor_import_runecell(&glyph_type, &glyph_table) < 0)
        return -1;
    return vantor_c11_import_parser(&parser);
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef def = {PyModuleDef_HEAD_INIT, "_testclient", nullptr, 0, functions, slots, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__testclient() { return PyModuleDef_Init(&def); }
