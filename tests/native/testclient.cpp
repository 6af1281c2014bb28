// vantor._testclient: a native client of the package, built only for tests. It imports the types
// and their operation tables as any native module would (public headers, module import, size
// check, `__pyx_vtable__` capsule) and lets tests call every table slot from Python.
#include <cstring>
#include <string_view>

#include "frame/module.hpp"
#include "vector2/vector2.h"

extern "C" {
size_t vantor_c11_vector2_size(void);
size_t vantor_c11_vector2_data_offset(void);
size_t vantor_c11_vector2_table_size(void);
}

namespace {

PyTypeObject* vector2_type = nullptr;
VantorVector2VTable* vector2_table = nullptr;

// What a client does at its own module execution: import, check the layout, fetch the table.
template <class Table>
int import_table(const char* module, const char* name, size_t size, PyTypeObject*& type, Table*& table) {
    PyObject* mod = PyImport_ImportModule(module);
    if (!mod) return -1;
    PyObject* t = PyObject_GetAttrString(mod, name);
    Py_DECREF(mod);
    if (!t) return -1;
    if (!PyType_Check(t) || static_cast<size_t>(reinterpret_cast<PyTypeObject*>(t)->tp_basicsize) != size) {
        PyErr_Format(PyExc_ImportError, "%s.%s does not have the expected layout", module, name);
        Py_DECREF(t);
        return -1;
    }
    PyObject* capsule = PyObject_GetAttrString(t, "__pyx_vtable__");
    if (!capsule) {
        Py_DECREF(t);
        return -1;
    }
    table = static_cast<Table*>(PyCapsule_GetPointer(capsule, nullptr));
    Py_DECREF(capsule);
    if (!table) {
        Py_DECREF(t);
        return -1;
    }
    type = reinterpret_cast<PyTypeObject*>(t);
    return 0;
}

// Argument access for slot calls; each fails with a TypeError naming the position.
struct Args {
    PyObject* tuple;
    bool ok = true;

    PyObject* obj(Py_ssize_t i) {
        if (i >= PyTuple_GET_SIZE(tuple)) {
            PyErr_Format(PyExc_TypeError, "slot argument %zd missing", i);
            ok = false;
            return nullptr;
        }
        return PyTuple_GET_ITEM(tuple, i);
    }
    VantorVector2Object* vec2(Py_ssize_t i) {
        PyObject* o = obj(i);
        if (o && !PyObject_TypeCheck(o, vector2_type)) {
            PyErr_Format(PyExc_TypeError, "slot argument %zd must be a Vector2", i);
            ok = false;
        }
        return ok ? reinterpret_cast<VantorVector2Object*>(o) : nullptr;
    }
    double d(Py_ssize_t i) {
        PyObject* o = obj(i);
        double v = o ? PyFloat_AsDouble(o) : 0.0;
        if (o && v == -1.0 && PyErr_Occurred()) ok = false;
        return v;
    }
    int n(Py_ssize_t i) {
        PyObject* o = obj(i);
        int v = o ? PyLong_AsInt(o) : 0;
        if (o && v == -1 && PyErr_Occurred()) ok = false;
        return v;
    }
};

PyObject* none_or_error() {
    if (PyErr_Occurred()) return nullptr;
    Py_RETURN_NONE;
}
PyObject* number_or_error(double d) { return PyErr_Occurred() ? nullptr : PyFloat_FromDouble(d); }

// vector2_slot(name, *args): calls the Vector2 table entry `name` with the C arguments given.
PyObject* vector2_slot(PyObject*, PyObject* args) {
    if (PyTuple_GET_SIZE(args) < 1 || !PyUnicode_Check(PyTuple_GET_ITEM(args, 0))) {
        PyErr_SetString(PyExc_TypeError, "vector2_slot(name, *args)");
        return nullptr;
    }
    std::string_view name = PyUnicode_AsUTF8(PyTuple_GET_ITEM(args, 0));
    Args a{PyTuple_GetSlice(args, 1, PyTuple_GET_SIZE(args))};
    if (!a.tuple) return nullptr;
    struct Release {
        PyObject* t;
        ~Release() { Py_DECREF(t); }
    } release{a.tuple};
    const VantorVector2VTable& t = *vector2_table;
    PyObject* r = nullptr;
    auto call = [&](auto f) -> PyObject* { return a.ok ? f() : nullptr; };
    if (name == "new") {
        double x = a.d(0), y = a.d(1);
        r = call([&] { return t.new_(x, y); });
    } else if (name == "cfrom_struct") {
        Vector2 v{static_cast<float>(a.d(0)), static_cast<float>(a.d(1))};
        r = call([&] { return t.cfrom_struct(v); });
    } else if (name == "cfrom_list") {
        PyObject* o = a.obj(0);
        r = call([&] { return t.cfrom_list(o); });
    } else if (name == "cfrom_ints") {
        int x = a.n(0), y = a.n(1);
        r = call([&] { return t.cfrom_ints(x, y); });
    } else if (name == "cfrom_floats") {
        float x = static_cast<float>(a.d(0)), y = static_cast<float>(a.d(1));
        r = call([&] { return t.cfrom_floats(x, y); });
    } else if (name == "cfrom_tuple") {
        PyObject* o = a.obj(0);
        r = call([&] { return t.cfrom_tuple(o); });
    } else if (name == "cfrom_vector2") {
        auto* v = a.vec2(0);
        r = call([&] { return t.cfrom_vector2(v); });
    } else if (name == "cfrom_xy") {
        double x = a.d(0), y = a.d(1);
        r = call([&] { return t.cfrom_xy(x, y); });
    } else if (name == "_add" || name == "_sub") {
        auto *s = a.vec2(0), *o = a.vec2(1);
        r = call([&] { return (name == "_add" ? t._add : t._sub)(s, o); });
    } else if (name == "_iadd" || name == "_isub" || name == "_imul") {
        auto *s = a.vec2(0), *o = a.vec2(1);
        auto f = name == "_iadd" ? t._iadd : name == "_isub" ? t._isub : t._imul;
        r = call([&] { f(s, o); return none_or_error(); });
    } else if (name == "_sadd") {
        auto *s = a.vec2(0), *x = a.vec2(1), *y = a.vec2(2);
        r = call([&] { t._sadd(s, x, y); return none_or_error(); });
    } else if (name == "sadd") {
        auto *s = a.vec2(0), *x = a.vec2(1), *y = a.vec2(2);
        int flag = a.n(3);
        r = call([&] { t.sadd(s, x, y, flag); return none_or_error(); });
    } else if (name == "c_get_tuple") {
        auto* s = a.vec2(0);
        r = call([&] { return t.c_get_tuple(s); });
    } else if (name == "distance_to" || name == "distance_squared_to" || name == "dot") {
        auto *s = a.vec2(0), *o = a.vec2(1);
        int flag = a.n(2);
        auto f = name == "dot" ? t.dot : name == "distance_to" ? t.distance_to : t.distance_squared_to;
        r = call([&] { return number_or_error(f(s, o, flag)); });
    } else {
        // The entries taking (self, flag) and returning an object.
        static constexpr std::pair<std::string_view, size_t> unary[] = {
            {"get_tuple", offsetof(VantorVector2VTable, get_tuple)},
            {"to_round", offsetof(VantorVector2VTable, to_round)},
            {"get_round", offsetof(VantorVector2VTable, get_round)},
            {"to_abs", offsetof(VantorVector2VTable, to_abs)},
            {"get_abs", offsetof(VantorVector2VTable, get_abs)},
            {"to_neg", offsetof(VantorVector2VTable, to_neg)},
            {"get_neg", offsetof(VantorVector2VTable, get_neg)},
            {"get_int_tuple", offsetof(VantorVector2VTable, get_int_tuple)},
            {"get_rounded_tuple", offsetof(VantorVector2VTable, get_rounded_tuple)},
            {"copy", offsetof(VantorVector2VTable, copy)},
            {"to_normalized", offsetof(VantorVector2VTable, to_normalized)},
            {"get_normalized", offsetof(VantorVector2VTable, get_normalized)},
        };
        using Unary = PyObject* (*)(VantorVector2Object*, int);
        for (const auto& [n, off] : unary) {
            if (n != name) continue;
            Unary f;
            std::memcpy(&f, reinterpret_cast<const char*>(&t) + off, sizeof f);
            auto* s = a.vec2(0);
            int flag = a.n(1);
            return call([&] { return f(s, flag); });
        }
        PyErr_Format(PyExc_ValueError, "no Vector2 slot named %s", name.data());
        return nullptr;
    }
    return r;
}

// The record of a Vector2 as stored: (x, y) read straight from the instance.
PyObject* vector2_record(PyObject*, PyObject* o) {
    if (!PyObject_TypeCheck(o, vector2_type)) {
        PyErr_SetString(PyExc_TypeError, "expected a Vector2");
        return nullptr;
    }
    const Vector2 v = reinterpret_cast<VantorVector2Object*>(o)->data;
    return Py_BuildValue("(dd)", static_cast<double>(v.x), static_cast<double>(v.y));
}

// Layout facts as the C++ and the C11 compilations of the public header see them.
PyObject* layout(PyObject*, PyObject*) {
    return Py_BuildValue("{s:n,s:n,s:n,s:n,s:n,s:n}", "vector2_size", sizeof(VantorVector2Object),
                         "vector2_data_offset", offsetof(VantorVector2Object, data), "vector2_table_size",
                         sizeof(VantorVector2VTable), "c11_vector2_size", vantor_c11_vector2_size(),
                         "c11_vector2_data_offset", vantor_c11_vector2_data_offset(), "c11_vector2_table_size",
                         vantor_c11_vector2_table_size());
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

// The table pointer stored in an instance is the one published in the capsule.
PyObject* vector2_vtab_matches(PyObject*, PyObject* o) {
    if (!PyObject_TypeCheck(o, vector2_type)) {
        PyErr_SetString(PyExc_TypeError, "expected a Vector2");
        return nullptr;
    }
    return PyBool_FromLong(reinterpret_cast<VantorVector2Object*>(o)->vtab == vector2_table);
}

PyMethodDef functions[] = {
    {"vector2_slot", vector2_slot, METH_VARARGS, nullptr},
    {"vector2_record", vector2_record, METH_O, nullptr},
    {"vector2_vtab_matches", vector2_vtab_matches, METH_O, nullptr},
    {"layout", layout, METH_NOARGS, nullptr},
    {"import_type", import_type, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int exec(PyObject*) {
    return import_table("vantor.vector2.vector2", "Vector2", sizeof(VantorVector2Object), vector2_type,
                        vector2_table);
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef def = {PyModuleDef_HEAD_INIT, "_testclient", nullptr, 0, functions, slots, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__testclient() { return PyModuleDef_Init(&def); }
