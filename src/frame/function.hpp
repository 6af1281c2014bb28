// Python-level methods as function objects stored in a type's dict: a named, qualified callable
// that binds like a Python function (so `obj.m(...)` calls it with `obj` first, without a bound
// method object in between) and carries `__annotations__`, which method descriptors cannot.
#pragma once

#include "core.hpp"

#include <cstddef>
#include <cstring>

namespace vantor::frame {

struct FunctionObject {
    PyObject_HEAD
    vectorcallfunc vectorcall;
    const PyMethodDef* def;  // METH_FASTCALL | METH_KEYWORDS; receives the receiver, or null when static
    PyTypeObject* owner;     // the receiver's type; null for a static method
    PyObject* name;
    PyObject* qualname;
    PyObject* module;
    PyObject* annotations;  // dict
};

// The method's C function, called through a noexcept type: the package's methods never throw, and
// a call that might would need a frame of its own instead of ending the caller in a tail call.
using FastMethod = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) noexcept;
inline FastMethod fast_method(const FunctionObject* f) noexcept {
    return reinterpret_cast<FastMethod>(reinterpret_cast<void (*)()>(f->def->ml_meth));
}

// The refusals of a call that the fast path below does not take: no receiver, or a receiver of
// another type (a subclass instance is accepted here). Kept out of line so that the fast path
// needs no stack frame and ends in a tail call.
[[gnu::noinline, gnu::cold]] inline PyObject* function_vectorcall_checked(FunctionObject* f, PyObject* const* args,
                                                                         Py_ssize_t nargs, PyObject* kwnames) noexcept {
    if (nargs < 1) {
        PyErr_Format(PyExc_TypeError, "unbound method %U() needs an argument", f->qualname);
        return nullptr;
    }
    if (!PyObject_TypeCheck(args[0], f->owner)) {
        PyErr_Format(PyExc_TypeError, "descriptor '%U' for '%s' objects doesn't apply to a '%s' object", f->name,
                     f->owner->tp_name, type_name_of(args[0]));
        return nullptr;
    }
    return fast_method(f)(args[0], args + 1, nargs - 1, kwnames);
}

inline PyObject* function_vectorcall(PyObject* callable, PyObject* const* args, size_t nargsf,
                                     PyObject* kwnames) noexcept {
    auto* f = reinterpret_cast<FunctionObject*>(callable);
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    const FastMethod meth = fast_method(f);
    if (!f->owner) return meth(nullptr, args, nargs, kwnames);
    // `obj.m(...)` on an instance of the type itself: the receiver first, as a bound call passes it.
    if (nargs >= 1 && Py_IS_TYPE(args[0], f->owner)) [[likely]]
        return meth(args[0], args + 1, nargs - 1, kwnames);
    return function_vectorcall_checked(f, args, nargs, kwnames);
}

inline PyObject* function_descr_get(PyObject* self, PyObject* obj, PyObject*) noexcept {
    if (!obj) return Py_NewRef(self);
    return PyMethod_New(self, obj);
}

inline PyObject* function_repr(PyObject* self) noexcept {
    return PyUnicode_FromFormat("<function %U at %p>", reinterpret_cast<FunctionObject*>(self)->qualname, self);
}

// Collector-tracked (the interpreter defers reference counting only for such objects), though
// only the annotations dict could ever lead back to other objects.
inline int function_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    Py_VISIT(reinterpret_cast<FunctionObject*>(self)->annotations);
    return 0;
}

inline void function_dealloc(PyObject* self) noexcept {
    auto* f = reinterpret_cast<FunctionObject*>(self);
    PyObject_GC_UnTrack(self);
    Py_XDECREF(f->name);
    Py_XDECREF(f->qualname);
    Py_XDECREF(f->module);
    Py_XDECREF(f->annotations);
    PyObject_GC_Del(self);
}

// A docstring "name(signature)\n--\n\nbody", the form CPython's own builtins use: the signature
// (parentheses included) becomes __text_signature__ and the body __doc__. A docstring without the
// form is all body.
struct DocParts {
    const char* signature = nullptr;
    size_t signature_len = 0;
    const char* body = nullptr;
};
inline DocParts split_doc(const char* name, const char* doc) noexcept {
    DocParts parts{nullptr, 0, doc};
    if (!doc) return parts;
    const size_t n = std::strlen(name);
    if (std::strncmp(doc, name, n) != 0 || doc[n] != '(') return parts;
    const char* end = std::strstr(doc + n, ")\n--\n\n");
    if (!end) return parts;
    parts.signature = doc + n;
    parts.signature_len = static_cast<size_t>(end + 1 - parts.signature);
    parts.body = end + 6;
    return parts;
}

inline PyObject* function_doc(PyObject* self, void*) noexcept {
    const PyMethodDef* d = reinterpret_cast<FunctionObject*>(self)->def;
    const char* body = split_doc(d->ml_name, d->ml_doc).body;
    if (!body || !*body) Py_RETURN_NONE;
    return PyUnicode_FromString(body);
}

inline PyObject* function_text_signature(PyObject* self, void*) noexcept {
    const PyMethodDef* d = reinterpret_cast<FunctionObject*>(self)->def;
    const DocParts parts = split_doc(d->ml_name, d->ml_doc);
    if (!parts.signature) Py_RETURN_NONE;
    return PyUnicode_FromStringAndSize(parts.signature, static_cast<Py_ssize_t>(parts.signature_len));
}

inline PyMemberDef function_members[] = {
    {"__name__", Py_T_OBJECT_EX, offsetof(FunctionObject, name), Py_READONLY, nullptr},
    {"__qualname__", Py_T_OBJECT_EX, offsetof(FunctionObject, qualname), Py_READONLY, nullptr},
    {"__module__", Py_T_OBJECT_EX, offsetof(FunctionObject, module), Py_READONLY, nullptr},
    {"__annotations__", Py_T_OBJECT_EX, offsetof(FunctionObject, annotations), Py_READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};
inline PyGetSetDef function_getsets[] = {
    {"__doc__", function_doc, nullptr, nullptr, nullptr},
    {"__text_signature__", function_text_signature, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

inline PyTypeObject function_type = {
    .ob_base = PyVarObject_HEAD_INIT(&PyType_Type, 0)
    .tp_name = "vantor.function",
    .tp_basicsize = sizeof(FunctionObject),
    .tp_dealloc = function_dealloc,
    .tp_vectorcall_offset = offsetof(FunctionObject, vectorcall),
    .tp_repr = function_repr,
    .tp_call = PyVectorcall_Call,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL | Py_TPFLAGS_METHOD_DESCRIPTOR,
    .tp_traverse = function_traverse,
    .tp_members = function_members,
    .tp_getset = function_getsets,
    .tp_descr_get = function_descr_get,
};

// Stores function objects for `defs` (up to the zero entry) in `type`'s dict, in order: names
// qualified by the type's name, `__module__` the module's dotted path, static methods wrapped in
// staticmethod. `return_annotation(name)` gives a method's return annotation, or null for none.
inline int add_functions(PyTypeObject* type, const char* module, const PyMethodDef* defs,
                         const char* (*return_annotation)(const char*)) noexcept {
    if (PyType_Ready(&function_type) < 0) return -1;
    Ref type_name(PyType_GetName(type));
    Ref module_name(PyUnicode_FromString(module));
    Ref dict(PyType_GetDict(type));
    if (!type_name || !module_name || !dict) return -1;
    for (const PyMethodDef* d = defs; d->ml_name; ++d) {
        auto* f = PyObject_GC_New(FunctionObject, &function_type);
        if (!f) return -1;
        f->name = f->qualname = f->module = f->annotations = nullptr;
        f->vectorcall = function_vectorcall;
        f->def = d;
        f->owner = (d->ml_flags & METH_STATIC) ? nullptr : type;
        f->name = PyUnicode_FromString(d->ml_name);
        f->qualname = PyUnicode_FromFormat("%U.%s", type_name.get(), d->ml_name);
        f->module = Py_NewRef(module_name.get());
        f->annotations = PyDict_New();
        PyObject_GC_Track(f);
        Ref func(reinterpret_cast<PyObject*>(f));
        if (!f->name || !f->qualname || !f->annotations) return -1;
        const char* ret = return_annotation ? return_annotation(d->ml_name) : nullptr;
        if (ret) {
            Ref value(PyUnicode_FromString(ret));
            if (!value || PyDict_SetItemString(f->annotations, "return", value.get()) < 0) return -1;
        }
#if PY_VERSION_HEX >= 0x030E0000
        PyUnstable_Object_EnableDeferredRefcount(func.get());
#endif
        Ref stored = (d->ml_flags & METH_STATIC) ? Ref(PyStaticMethod_New(func.get())) : std::move(func);
        if (!stored || PyDict_SetItemString(dict.get(), d->ml_name, stored.get()) < 0) return -1;
    }
    PyType_Modified(type);
    return 0;
}

// Whether `bound` (what attribute lookup on an instance found) is the type's own function `name`
// bound to that instance: then a subclass has not overridden it.
inline bool is_own_function(PyObject* bound, PyTypeObject* type, const char* name) noexcept {
    if (!PyMethod_Check(bound)) return false;
    PyObject* func = PyMethod_GET_FUNCTION(bound);
    if (!Py_IS_TYPE(func, &function_type)) return false;
    auto* f = reinterpret_cast<FunctionObject*>(func);
    return f->owner == type && std::strcmp(f->def->ml_name, name) == 0;
}

// A table entry called with dispatch flag 0 looks for a Python override first, on instances of
// Python subclasses (heap types, or types whose instances have a __dict__).
inline bool may_be_overridden(PyObject* self) noexcept {
    PyTypeObject* t = Py_TYPE(self);
    return t->tp_dictoffset != 0 || (t->tp_flags & Py_TPFLAGS_HEAPTYPE);
}

// The method `name` as found on the instance when a subclass overrides `type`'s own function;
// null (and no error) when the type's own function would run; null with an error when the lookup
// fails.
inline PyObject* find_override(PyObject* self, PyTypeObject* type, const char* name) noexcept {
    PyObject* found = get_attr(self, name);
    if (found && is_own_function(found, type, name)) Py_CLEAR(found);
    return found;
}

}  // namespace vantor::frame
