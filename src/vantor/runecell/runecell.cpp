// vantor.runecell.runecell: GlyphInfo, a raylib GlyphInfo held by value together with the Image
// that wraps its bitmap. Native code makes them through slot 0; Python can only make empty ones.
#include "runecell.h"

#include "frame/module.hpp"
#include "image/image.h"

namespace {

using namespace vantor::frame;

constexpr ModuleInfo info{"runecell", "vantor.runecell.runecell", "src/vantor/runecell/runecell.cpp",
                          "vantor.runecell.runecell.GlyphInfo"};

using Obj = VantorGlyphInfoObject;

extern PyTypeObject glyph_type;
VantorGlyphInfoVTable table;
PyTypeObject* image_type = nullptr;
VantorImageVTable* image_table = nullptr;

Obj* as(PyObject* o) noexcept { return reinterpret_cast<Obj*>(o); }

// An empty glyph: record zero, no image.
PyObject* alloc(PyTypeObject* type) noexcept {
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    as(self)->vtab = &table;
    as(self)->image = Py_None;  // immortal: no reference to take
    return self;
}

// Any arguments are accepted and ignored.
PyObject* tp_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    PyObject* self = alloc(type);
    return self ? self : fail("__new__");
}

// Slot 0: the record copied whole, its bitmap wrapped by the Image constructor. A failing
// constructor leaves nothing behind.
PyObject* new_(GlyphInfo raw) noexcept {
    Ref self(alloc(&glyph_type));
    if (!self) {
        add_traceback("new");
        return nullptr;
    }
    as(self.get())->_raw = raw;
    VantorImageOptional optional{1, 0};
    PyObject* image = image_table->new_(raw.image, &optional);
    if (!image) {
        add_traceback("new");
        return nullptr;
    }
    Py_SETREF(as(self.get())->image, image);
    return self.release();
}

int tp_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    Py_VISIT(as(self)->image);
    return 0;
}

int tp_clear(PyObject* self) noexcept {
    Py_SETREF(as(self)->image, Py_None);
    return 0;
}

// The pixel data behind _raw.image is not ours: only the Image reference is released.
void tp_dealloc(PyObject* self) noexcept {
    PyObject_GC_UnTrack(self);
    Py_CLEAR(as(self)->image);
    Py_TYPE(self)->tp_free(self);
}

PyMethodDef methods[] = {
    refuse_reduce_def<pickling_message_unconvertible, true>(),
    refuse_setstate_def<pickling_message_unconvertible, true>(),
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject glyph_type = {
    .ob_base = PyVarObject_HEAD_INIT(&PyType_Type, 0)
    .tp_name = "vantor.runecell.runecell.GlyphInfo",
    .tp_basicsize = sizeof(Obj),
    .tp_dealloc = tp_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_doc = "GlyphInfo(*args, **kwargs)\n--\n\n"
              "A font glyph's metrics (value, offsets, advance) with its bitmap wrapped in an Image. Made by native "
              "code through the operation table; from Python, GlyphInfo() gives an empty one (arguments are "
              "ignored). The package never frees the glyph's pixels.",
    .tp_traverse = tp_traverse,
    .tp_clear = tp_clear,
    .tp_methods = methods,
    .tp_new = tp_new,
};

int publish(PyObject* module) noexcept {
    table.new_ = new_;
    return publish_type(module, &glyph_type, "GlyphInfo", &table);
}

int imports(PyObject* module) noexcept {
    return vantor_import_image(&image_type, &image_table) < 0 ? -1 : import_builtin_type(module);
}

constexpr ModuleSteps steps{standard_builtins, publish, imports};

}  // namespace

PyMODINIT_FUNC PyInit_runecell() { return ModuleDefinition<steps>::init(info); }
