/* A native client of vantor: takes vector-, colour- and rect-like arguments through the parser's
 * exported functions, and calls the operation tables of Vector2, Color and Rect directly. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <vantor/color/color.h>
#include <vantor/parser/parser.h>
#include <vantor/rect/rect.h>
#include <vantor/vector2/vector2.h>

static VantorParser parser;
/* Filled once at module execution by the headers' vantor_import_<module>() and kept for the
 * process: the types (which the Vantor<Type>_Check() macros test against), the tables for the calls. */
static PyTypeObject *vector2_type, *color_type, *rect_type;
static VantorVector2VTable *vector2_table;
static VantorColorVTable *color_table;
static VantorRectVTable *rect_table;

/* describe(point, colour, rect): the three like-arguments as plain tuples. A parser reports
 * failure by a pending exception (its struct is then all zero). */
static PyObject *describe(PyObject *self, PyObject *const *args, Py_ssize_t nargs) {
    Vector2 v;
    Color c;
    Rectangle r;
    (void)self;
    if (nargs != 3) {
        PyErr_SetString(PyExc_TypeError, "describe() takes 3 arguments");
        return NULL;
    }
    v = parser.parse_vector2_like(args[0]);
    if (PyErr_Occurred()) return NULL;
    c = parser.parse_color_like(args[1]);
    if (PyErr_Occurred()) return NULL;
    r = parser.parse_rect_like(args[2]);
    if (PyErr_Occurred()) return NULL;
    return Py_BuildValue("((dd)(iiii)(dddd))", (double)v.x, (double)v.y, c.r, c.g, c.b, c.a, (double)r.x,
                         (double)r.y, (double)r.width, (double)r.height);
}

/* step(position, velocity, dt, bounds): position + velocity * dt as a new Vector2, through the
 * Vector2 table, and whether the rectangle `bounds` contains it, through the Rect table. */
static PyObject *step(PyObject *self, PyObject *const *args, Py_ssize_t nargs) {
    VantorVector2Object *pos, *vel;
    PyObject *scaled, *moved, *result;
    double dt;
    int inside;
    (void)self;
    if (nargs != 4 || !VantorVector2_Check(args[0]) || !VantorVector2_Check(args[1]) ||
        !VantorRect_Check(args[3])) {
        PyErr_SetString(PyExc_TypeError, "step(Vector2, Vector2, float, Rect)");
        return NULL;
    }
    pos = (VantorVector2Object *)args[0];
    vel = (VantorVector2Object *)args[1];
    dt = PyFloat_AsDouble(args[2]);
    if (dt == -1.0 && PyErr_Occurred()) return NULL;
    scaled = vector2_table->new_(vel->data.x * dt, vel->data.y * dt); /* new reference or NULL */
    if (!scaled) return NULL;
    moved = (PyObject *)vector2_table->_add(pos, (VantorVector2Object *)scaled);
    Py_DECREF(scaled);
    if (!moved) return NULL;
    inside = rect_table->collide_point_vector2((VantorRectObject *)args[3], (VantorVector2Object *)moved, 1);
    if (!inside && PyErr_Occurred()) {
        Py_DECREF(moved);
        return NULL;
    }
    result = Py_BuildValue("(NdO)", moved, vector2_table->dot(pos, vel, 1), inside ? Py_True : Py_False);
    return result;
}

/* blend(colour, tint): the tinted colour through the Color table, and its packed form. */
static PyObject *blend(PyObject *self, PyObject *const *args, Py_ssize_t nargs) {
    PyObject *tinted;
    int packed;
    (void)self;
    if (nargs != 2 || !VantorColor_Check(args[0]) || !VantorColor_Check(args[1])) {
        PyErr_SetString(PyExc_TypeError, "blend(Color, Color)");
        return NULL;
    }
    tinted = color_table->c_tint((VantorColorObject *)args[0], (VantorColorObject *)args[1]);
    if (!tinted) return NULL;
    packed = color_table->to_int((VantorColorObject *)tinted, 1);
    if (packed == 0 && PyErr_Occurred()) {
        Py_DECREF(tinted);
        return NULL;
    }
    return Py_BuildValue("(Ni)", tinted, packed);
}

static PyMethodDef methods[] = {
    {"describe", (PyCFunction)(void (*)(void))describe, METH_FASTCALL, "describe(point, colour, rect)"},
    {"step", (PyCFunction)(void (*)(void))step, METH_FASTCALL, "step(position, velocity, dt, bounds)"},
    {"blend", (PyCFunction)(void (*)(void))blend, METH_FASTCALL, "blend(colour, tint)"},
    {NULL, NULL, 0, NULL},
};

static int exec_module(PyObject *module) {
    (void)module;
    if (vantor_import_parser(&parser) < 0) return -1;
    if (vantor_import_vector2(&vector2_type, &vector2_table) < 0) return -1;
    if (vantor_import_color(&color_type, &color_table) < 0) return -1;
    return vantor_import_rect(&rect_type, &rect_table);
}

static PyModuleDef_Slot slots[] = {
    {Py_mod_exec, (void *)exec_module},
    {0, NULL},
};

static struct PyModuleDef definition = {
    PyModuleDef_HEAD_INIT, "c_client", "A C client of vantor's tables and parsers.", 0, methods, slots,
    NULL, NULL, NULL,
};

PyMODINIT_FUNC PyInit_c_client(void) { return PyModuleDef_Init(&definition); }
