// vantor.colors.colors: the palette of 152 named colours. Each palette owns one Color per name,
// made by calling the Color type; attributes read, replace and delete them under the palette's
// critical section.
#include <array>
#include <cstdint>
#include <string_view>

#include "color/color.h"
#include "frame/docs.hpp"
#include "frame/module.hpp"
#include "vector4/vector4.h"

namespace {

using namespace vantor::frame;

constexpr ModuleInfo info{"colors", "vantor.colors.colors", "src/vantor/colors/colors.cpp",
                          "vantor.colors.colors.Colors"};

struct Entry {
    const char* name;
    uint8_t r, g, b, a;
};

// The palette, in the order __init__ fills it.
constexpr Entry palette[] = {
    {"AliceBlue", 240, 248, 255, 255},
    {"AntiqueWhite", 250, 235, 215, 255},
    {"Aqua", 0, 255, 255, 255},
    {"Aquamarine", 127, 255, 212, 255},
    {"Azure", 240, 255, 255, 255},
    {"Beige", 245, 245, 220, 255},
    {"Bisque", 255, 228, 196, 255},
    {"Black", 0, 0, 0, 255},
    {"Blank", 0, 0, 0, 0},
    {"BlanchedAlmond", 255, 235, 205, 255},
    {"Blue", 0, 0, 255, 255},
    {"BlueViolet", 138, 43, 226, 255},
    {"Brown", 165, 42, 42, 255},
    {"BurlyWood", 222, 184, 135, 255},
    {"CadetBlue", 95, 158, 160, 255},
    {"Chartreuse", 127, 255, 0, 255},
    {"Chocolate", 210, 105, 30, 255},
    {"Coral", 255, 127, 80, 255},
    {"CornflowerBlue", 100, 149, 237, 255},
    {"Cornsilk", 255, 248, 220, 255},
    {"Crimson", 220, 20, 60, 255},
    {"Cyan", 0, 255, 255, 255},
    {"DarkBlue", 0, 0, 139, 255},
    {"DarkCyan", 0, 139, 139, 255},
    {"DarkGoldenrod", 184, 134, 11, 255},
    {"DarkGray", 169, 169, 169, 255},
    {"DarkGrey", 169, 169, 169, 255},
    {"DarkGreen", 0, 100, 0, 255},
    {"DarkKhaki", 189, 183, 107, 255},
    {"DarkMagenta", 139, 0, 139, 255},
    {"DarkOliveGreen", 85, 107, 47, 255},
    {"DarkOrange", 255, 140, 0, 255},
    {"DarkOrchid", 153, 50, 204, 255},
    {"DarkRed", 139, 0, 0, 255},
    {"DarkSalmon", 233, 150, 122, 255},
    {"DarkSeaGreen", 143, 188, 143, 255},
    {"DarkSlateBlue", 72, 61, 139, 255},
    {"DarkSlateGray", 47, 79, 79, 255},
    {"DarkSlateGrey", 47, 79, 79, 255},
    {"DarkTurquoise", 0, 206, 209, 255},
    {"DarkViolet", 148, 0, 211, 255},
    {"DeepPink", 255, 20, 147, 255},
    {"DeepSkyBlue", 0, 191, 255, 255},
    {"DimGray", 105, 105, 105, 255},
    {"DimGrey", 105, 105, 105, 255},
    {"DodgerBlue", 30, 144, 255, 255},
    {"FireBrick", 178, 34, 34, 255},
    {"FloralWhite", 255, 250, 240, 255},
    {"ForestGreen", 34, 139, 34, 255},
    {"Fuchsia", 255, 0, 255, 255},
    {"Gainsboro", 220, 220, 220, 255},
    {"GhostWhite", 248, 248, 255, 255},
    {"Gold", 255, 215, 0, 255},
    {"Goldenrod", 218, 165, 32, 255},
    {"Gray", 128, 128, 128, 255},
    {"Grey", 128, 128, 128, 255},
    {"Green", 0, 128, 0, 255},
    {"GreenYellow", 173, 255, 47, 255},
    {"Honeydew", 240, 255, 240, 255},
    {"HotPink", 255, 105, 180, 255},
    {"IndianRed", 205, 92, 92, 255},
    {"Indigo", 75, 0, 130, 255},
    {"Ivory", 255, 255, 240, 255},
    {"Khaki", 240, 230, 140, 255},
    {"Lavender", 230, 230, 250, 255},
    {"LavenderBlush", 255, 240, 245, 255},
    {"LawnGreen", 124, 252, 0, 255},
    {"LemonChiffon", 255, 250, 205, 255},
    {"LightBlue", 173, 216, 230, 255},
    {"LightCoral", 240, 128, 128, 255},
    {"LightCyan", 224, 255, 255, 255},
    {"LightGoldenrodYellow", 250, 250, 210, 255},
    {"LightGray", 211, 211, 211, 255},
    {"LightGrey", 211, 211, 211, 255},
    {"LightGreen", 144, 238, 144, 255},
    {"LightPink", 255, 182, 193, 255},
    {"LightSalmon", 255, 160, 122, 255},
    {"LightSeaGreen", 32, 178, 170, 255},
    {"LightSkyBlue", 135, 206, 250, 255},
    {"LightSlateGray", 119, 136, 153, 255},
    {"LightSlateGrey", 119, 136, 153, 255},
    {"LightSteelBlue", 176, 196, 222, 255},
    {"LightYellow", 255, 255, 224, 255},
    {"Lime", 0, 255, 0, 255},
    {"LimeGreen", 50, 205, 50, 255},
    {"Linen", 250, 240, 230, 255},
    {"Magenta", 255, 0, 255, 255},
    {"Maroon", 176, 48, 96, 255},
    {"MediumAquamarine", 102, 205, 170, 255},
    {"MediumBlue", 0, 0, 205, 255},
    {"MediumForestGreen", 50, 129, 75, 255},
    {"MediumOrchid", 219, 112, 219, 255},
    {"MediumPurple", 147, 112, 219, 255},
    {"MediumSeaGreen", 66, 170, 113, 255},
    {"MediumSlateBlue", 123, 104, 238, 255},
    {"MediumSpringGreen", 60, 179, 113, 255},
    {"MediumTurquoise", 112, 219, 219, 255},
    {"MediumVioletRed", 199, 21, 133, 255},
    {"MidnightBlue", 25, 25, 112, 255},
    {"MintCream", 245, 255, 250, 255},
    {"MistyRose", 255, 228, 225, 255},
    {"Moccasin", 255, 228, 181, 255},
    {"NavajoWhite", 255, 222, 173, 255},
    {"Navy", 0, 0, 128, 255},
    {"NavyBlue", 0, 0, 128, 255},
    {"OldLace", 253, 245, 230, 255},
    {"Olive", 128, 128, 0, 255},
    {"OliveDrab", 107, 142, 35, 255},
    {"Orange", 255, 165, 0, 255},
    {"OrangeRed", 255, 69, 0, 255},
    {"Orchid", 218, 112, 214, 255},
    {"PaleGoldenrod", 238, 232, 170, 255},
    {"PaleGreen", 152, 251, 152, 255},
    {"PaleTurquoise", 175, 238, 238, 255},
    {"PaleVioletRed", 219, 112, 147, 255},
    {"PapayaWhip", 255, 239, 213, 255},
    {"PeachPuff", 255, 218, 185, 255},
    {"Peru", 205, 133, 63, 255},
    {"Pink", 255, 192, 203, 255},
    {"Plum", 221, 160, 221, 255},
    {"PowderBlue", 176, 224, 230, 255},
    {"Purple", 160, 32, 240, 255},
    {"RebeccaPurple", 102, 51, 153, 255},
    {"Red", 255, 0, 0, 255},
    {"RosyBrown", 188, 143, 143, 255},
    {"RoyalBlue", 65, 105, 225, 255},
    {"SaddleBrown", 139, 69, 19, 255},
    {"Salmon", 250, 128, 114, 255},
    {"SandyBrown", 244, 164, 96, 255},
    {"SeaGreen", 46, 139, 87, 255},
    {"Seashell", 255, 245, 238, 255},
    {"Sienna", 160, 82, 45, 255},
    {"Silver", 192, 192, 192, 255},
    {"SkyBlue", 135, 206, 235, 255},
    {"SlateBlue", 106, 90, 205, 255},
    {"SlateGray", 112, 128, 144, 255},
    {"SlateGrey", 112, 128, 144, 255},
    {"Snow", 255, 250, 250, 255},
    {"SpringGreen", 0, 255, 127, 255},
    {"SteelBlue", 70, 130, 180, 255},
    {"Tan", 210, 180, 140, 255},
    {"Teal", 0, 128, 128, 255},
    {"Thistle", 216, 191, 216, 255},
    {"Tomato", 255, 99, 71, 255},
    {"Turquoise", 64, 224, 208, 255},
    {"Violet", 238, 130, 238, 255},
    {"VioletRed", 208, 32, 144, 255},
    {"Wheat", 245, 222, 179, 255},
    {"White", 255, 255, 255, 255},
    {"WhiteSmoke", 245, 245, 245, 255},
    {"Yellow", 255, 255, 0, 255},
    {"YellowGreen", 154, 205, 50, 255},
};
constexpr int count = static_cast<int>(std::size(palette));
static_assert(count == 152, "the palette has 152 colours");

struct ColorsObject {
    PyObject_HEAD
    PyObject* colors[count];  // each a Color (or subclass instance) or None
};

extern PyTypeObject colors_type;
PyTypeObject* vector4_type = nullptr;
PyTypeObject* color_type = nullptr;
// Color(r, g, b, a) argument tuples, one per distinct row value, shared by every palette.
std::array<PyObject*, count> row_args{};

ColorsObject* as(PyObject* o) noexcept { return reinterpret_cast<ColorsObject*>(o); }

// Stores `value` (a new reference) in place i under the palette's critical section; the previous
// object is released after the section ends.
void store(PyObject* self, int i, PyObject* value) noexcept {
    PyObject* old;
    {
        CriticalSection cs(self);
        old = as(self)->colors[i];
        as(self)->colors[i] = value;
    }
    Py_XDECREF(old);
}

PyObject* get_color(PyObject* self, void* closure) noexcept {
    const auto i = static_cast<int>(reinterpret_cast<intptr_t>(closure));
    CriticalSection cs(self);
    return Py_NewRef(as(self)->colors[i]);
}

int set_color(PyObject* self, PyObject* value, void* closure) noexcept {
    const auto i = static_cast<int>(reinterpret_cast<intptr_t>(closure));
    if (!value) value = Py_None;  // deleting a name leaves None there
    if (value != Py_None && !PyObject_TypeCheck(value, color_type)) {
        PyErr_Format(PyExc_TypeError, "%.1sCannot convert %.200s to %.200s", "", type_name_of(value),
                     color_type->tp_name);
        add_setter_traceback(palette[i].name);
        return -1;
    }
    store(self, i, Py_NewRef(value));
    return 0;
}

// One attribute per palette name, generated from the table, each with its docstring.
constexpr auto color_docs = [] {
    std::array<DocString<160>, count> d{};
    for (int i = 0; i < count; ++i) {
        const Entry& e = palette[i];
        d[i].add(e.name).add(": Color | None\n\nThis palette's own Color(").add_int(e.r).add(", ").add_int(e.g);
        d[i].add(", ").add_int(e.b).add(", ").add_int(e.a);
        d[i].add(") as made; assign a Color or None (deleting leaves None).");
    }
    return d;
}();

std::array<PyGetSetDef, count + 1> make_getsets() noexcept {
    std::array<PyGetSetDef, count + 1> g{};
    for (int i = 0; i < count; ++i)
        g[i] = {palette[i].name, get_color, set_color, color_docs[i].s,
                reinterpret_cast<void*>(static_cast<intptr_t>(i))};
    return g;
}
std::array<PyGetSetDef, count + 1> getsets = make_getsets();

PyObject* tp_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) {
        add_traceback("__new__");
        return nullptr;
    }
    for (PyObject*& c : as(self)->colors) c = Py_None;  // immortal: no reference to take
    return self;
}

int tp_init(PyObject* self, PyObject* args, PyObject* kwds) noexcept {
    PyObject* none[1];
    if (!bind_tuple_dict("__init__", args, kwds, std::span<const char* const>{}, none)) {
        add_traceback("__init__");
        return -1;
    }
    for (int i = 0; i < count; ++i) {
        PyObject* row = row_args[i];
        PyObject* c = PyObject_Vectorcall(reinterpret_cast<PyObject*>(color_type), &PyTuple_GET_ITEM(row, 0), 4,
                                          nullptr);
        if (!c) {
            add_traceback("__init__");
            return -1;
        }
        store(self, i, c);
    }
    return 0;
}

int tp_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    for (PyObject* c : as(self)->colors) Py_VISIT(c);
    return 0;
}

// Every place back to None, the held objects released.
int tp_clear(PyObject* self) noexcept {
    for (int i = 0; i < count; ++i) store(self, i, Py_None);
    return 0;
}

void tp_dealloc(PyObject* self) noexcept {
    PyObject_GC_UnTrack(self);
    tp_clear(self);
    Py_TYPE(self)->tp_free(self);
}

constexpr char type_doc[] =
    "Colors()\n--\n\n"
    "A palette of 152 named colours (AliceBlue to YellowGreen, and Blank), each an attribute holding a Color "
    "of this palette's own: every Colors() makes fresh ones, so changing p.Red changes no other palette.\n\n"
    ">>> p = Colors()\n>>> p.Red, p.Gray == p.Grey, p.Gray is p.Grey\n(Color(255, 0, 0, 255), True, False)";

PyTypeObject colors_type = {
    .ob_base = PyVarObject_HEAD_INIT(&PyType_Type, 0)
    .tp_name = "vantor.colors.colors.Colors",
    .tp_basicsize = sizeof(ColorsObject),
    .tp_dealloc = tp_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_doc = type_doc,
    .tp_traverse = tp_traverse,
    .tp_clear = tp_clear,
    .tp_getset = getsets.data(),
    .tp_init = tp_init,
    .tp_new = tp_new,
};

int publish(PyObject* module) noexcept {
    return publish_type(module, &colors_type, "Colors", nullptr, {}, nullptr, false);
}

// The argument tuples: rows with equal values share one tuple; the channel ints are the
// interpreter's shared small ints.
int build_rows() noexcept {
    for (int i = 0; i < count; ++i) {
        const Entry& e = palette[i];
        for (int j = 0; j < i && !row_args[i]; ++j) {
            const Entry& f = palette[j];
            if (e.r == f.r && e.g == f.g && e.b == f.b && e.a == f.a) row_args[i] = Py_NewRef(row_args[j]);
        }
        if (!row_args[i]) row_args[i] = Py_BuildValue("(iiii)", e.r, e.g, e.b, e.a);
        if (!row_args[i]) return -1;
    }
    return 0;
}

int imports(PyObject*) noexcept {
    VantorVector4VTable* vector4_table;  // read only for the check that the type has one
    VantorColorVTable* color_table;
    if (vantor_import_vector4(&vector4_type, &vector4_table) < 0 || vantor_import_color(&color_type, &color_table) < 0)
        return -1;
    return build_rows();
}

constexpr ModuleSteps steps{{}, publish, imports};

}  // namespace

PyMODINIT_FUNC PyInit_colors() { return ModuleDefinition<steps>::init(info); }
