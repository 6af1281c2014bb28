// vantor.image.image: the least image type the glyph module needs. An Image wraps a raylib Image
// by value for Python to look at; it never frees or writes through the pixel pointer it is given.
#include "image.h"

#include <array>
#include <cstdint>

#include "frame/declare.hpp"
#include "frame/module.hpp"

namespace {

using namespace vantor::frame;

constexpr ModuleInfo info{"image", "vantor.image.image", "src/vantor/image/image.cpp", "vantor.image.image.Image"};

using Obj = VantorImageObject;

extern PyTypeObject image_type;
VantorImageVTable table;

// Slot 0: the struct copied as given; the optional record's value, when supplied, is the flag.
PyObject* new_(Image image, VantorImageOptional* optional) noexcept {
    if (image.width < 0 || image.height < 0 || image.mipmaps < 0) {
        PyErr_Format(PyExc_ValueError, "invalid image dimensions %dx%d with %d mipmaps", image.width, image.height,
                     image.mipmaps);
        add_traceback("new");
        return nullptr;
    }
    auto* o = PyObject_New(Obj, &image_type);
    if (!o) {
        add_traceback("new");
        return nullptr;
    }
    o->vtab = &table;
    o->_raw = image;
    o->flag = optional && optional->count > 0 ? optional->value : 0;
    return reinterpret_cast<PyObject*>(o);
}

void tp_dealloc(PyObject* self) noexcept { PyObject_Free(self); }  // the pixels are not ours

enum Field { WIDTH, HEIGHT, MIPMAPS, FORMAT };

PyObject* get_field(PyObject* self, void* closure) noexcept {
    const Image& i = reinterpret_cast<Obj*>(self)->_raw;
    switch (static_cast<Field>(reinterpret_cast<intptr_t>(closure))) {
        case WIDTH: return PyLong_FromLong(i.width);
        case HEIGHT: return PyLong_FromLong(i.height);
        case MIPMAPS: return PyLong_FromLong(i.mipmaps);
        default: return PyLong_FromLong(i.format);
    }
}

PyObject* tp_repr(PyObject* self) noexcept {
    const Image& i = reinterpret_cast<Obj*>(self)->_raw;
    return PyUnicode_FromFormat("Image(width=%d, height=%d, mipmaps=%d, format=%d)", i.width, i.height, i.mipmaps,
                                i.format);
}

void* field(Field f) noexcept { return reinterpret_cast<void*>(static_cast<intptr_t>(f)); }

constexpr std::array<Property, 4> props{{
    {"width", "int", "The width in pixels (read-only)."},
    {"height", "int", "The height in pixels (read-only)."},
    {"mipmaps", "int", "The number of mipmap levels (read-only)."},
    {"format", "int", "raylib's pixel format number (read-only)."},
}};
constexpr auto prop_docs = property_docs(props);

PyGetSetDef getsets[] = {
    declared_property(props[WIDTH], prop_docs[WIDTH], get_field, nullptr, field(WIDTH)),
    declared_property(props[HEIGHT], prop_docs[HEIGHT], get_field, nullptr, field(HEIGHT)),
    declared_property(props[MIPMAPS], prop_docs[MIPMAPS], get_field, nullptr, field(MIPMAPS)),
    declared_property(props[FORMAT], prop_docs[FORMAT], get_field, nullptr, field(FORMAT)),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The stub's lines for the declared members, read from the built module by scripts/gen-stubs.
[[gnu::used]] constexpr auto stub = stub_text<1000>("Image", NoFill{}, props);

PyMethodDef methods[] = {
    refuse_reduce_def<pickling_message_unconvertible, true>(),
    refuse_setstate_def<pickling_message_unconvertible, true>(),
    {nullptr, nullptr, 0, nullptr},
};

// Made only from C, through slot 0: no tp_new, so Python cannot create an empty one.
PyTypeObject image_type = {
    .ob_base = PyVarObject_HEAD_INIT(&PyType_Type, 0)
    .tp_name = "vantor.image.image.Image",
    .tp_basicsize = sizeof(Obj),
    .tp_dealloc = tp_dealloc,
    .tp_repr = tp_repr,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = "A raylib Image (size, mipmaps, pixel format) wrapped for Python to look at; made only by native "
              "code, and never frees or writes the pixels it points to.",
    .tp_methods = methods,
    .tp_getset = getsets,
};

int publish(PyObject* module) noexcept {
    table.new_ = new_;
    return publish_type(module, &image_type, "Image", &table);
}

constexpr ModuleSteps steps{standard_builtins, publish, import_builtin_type};

}  // namespace

PyMODINIT_FUNC PyInit_image() { return ModuleDefinition<steps>::init(info); }
