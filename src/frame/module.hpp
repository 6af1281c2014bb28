// Module definition, creation and execution, type publication with its operation table, the type
// import by which one module takes another's type and table, and the pickling refusal.
#pragma once

#include "convert.hpp"
#include "core.hpp"
#include "../vantor/typeimport.h"

#include <cstring>
#include <span>

namespace vantor::frame {

// What module execution does beyond the steps every module shares.
struct ModuleSteps {
    std::span<const char* const> builtins;  // looked up in `builtins`, in this order
    int (*publish)(PyObject* module);       // readies and publishes the module's type (may be null)
    int (*imports)(PyObject* module);       // the module's type imports
};

// ---- type import ---------------------------------------------------------------------------------

// Takes type `name` from module `module_path`, checking its instance size against `expected`, the
// size this module was compiled with. `table`, when given, receives the type's operation table.
// Returns a new reference to the type, held by the caller for the life of the process. The public
// headers' import does the work, so that modules and native clients import alike, with the same
// messages.
inline PyTypeObject* import_type(const char* module_path, const char* name, Py_ssize_t expected,
                                 void** table) noexcept {
    return vantor_import_type(module_path, name, expected, table);
}

// ---- pickling refusal ----------------------------------------------------------------------------

// The refusal messages: types whose record is `data`, types whose record is `_raw`, and the glyph
// and image types.
inline constexpr char pickling_message_data[] =
    "Pickling of struct members such as self.data must be explicitly requested with @auto_pickle(True)";
inline constexpr char pickling_message_raw[] =
    "Pickling of struct members such as self._raw must be explicitly requested with @auto_pickle(True)";
inline constexpr char pickling_message_unconvertible[] = "self._raw cannot be converted to a Python object for pickling";

// The two refusing methods, one pair per message. `Checked` ones bind their parameters first (none,
// and `state`) with the usual messages; the others raise whatever they are given.
template <const char* Message, bool Checked = false>
PyObject* refuse_reduce(PyObject*, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    if (!Checked || bind_none("__reduce__", nargs, kwnames)) PyErr_SetString(PyExc_TypeError, Message);
    add_traceback("__reduce__");
    return nullptr;
}
template <const char* Message, bool Checked = false>
PyObject* refuse_setstate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    static constexpr const char* names[] = {"state"};
    PyObject* state;
    if (!Checked || bind_args("__setstate__", args, nargs, kwnames, names, &state))
        PyErr_SetString(PyExc_TypeError, Message);
    add_traceback("__setstate__");
    return nullptr;
}

inline constexpr const char* refuse_reduce_name = "__reduce_refused__";
inline constexpr const char* refuse_setstate_name = "__setstate_refused__";

// PyMethodDef entries for a type's method table. `Checked` ones take the parameters of
// __reduce__() and __setstate__(state); the others accept anything.
inline constexpr char refuse_reduce_doc[] =
    "__reduce_refused__($self, /)\n--\n\nRefuses pickling (this is the type's __reduce__): always raises "
    "TypeError.";
inline constexpr char refuse_reduce_any_doc[] =
    "__reduce_refused__($self, /, *args, **kwargs)\n--\n\nRefuses pickling (this is the type's __reduce__): "
    "always raises TypeError.";
inline constexpr char refuse_setstate_doc[] =
    "__setstate_refused__($self, /, state)\n--\n\nRefuses unpickling (this is the type's __setstate__): always "
    "raises TypeError.";
inline constexpr char refuse_setstate_any_doc[] =
    "__setstate_refused__($self, /, *args, **kwargs)\n--\n\nRefuses unpickling (this is the type's "
    "__setstate__): always raises TypeError.";
template <const char* Message, bool Checked = false>
inline PyMethodDef refuse_reduce_def() {
    return {refuse_reduce_name,
            reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&refuse_reduce<Message, Checked>)),
            METH_FASTCALL | METH_KEYWORDS, Checked ? refuse_reduce_doc : refuse_reduce_any_doc};
}
template <const char* Message, bool Checked = false>
inline PyMethodDef refuse_setstate_def() {
    return {refuse_setstate_name,
            reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&refuse_setstate<Message, Checked>)),
            METH_FASTCALL | METH_KEYWORDS, Checked ? refuse_setstate_doc : refuse_setstate_any_doc};
}

// The dict entry `name` of `dict` as a new reference in `out` (null when absent): 0, or -1 on
// error. Unlike PyDict_GetItemString it never mistakes a failed lookup for an absent entry.
inline int dict_entry(PyObject* dict, const char* name, Ref& out) noexcept {
    PyObject* found = nullptr;
    const int rc = PyDict_GetItemStringRef(dict, name, &found);
    out = Ref(found);
    return rc < 0 ? -1 : 0;
}

// Makes the refusing methods the type's __reduce__ and __setstate__, unless the type already has
// pickling of its own. Afterwards they are reachable only under those two names. Every lookup is
// checked before the next runs, and running it again after a failure part way completes the
// wiring (a refusing method already moved is recognised as the type's own).
inline int wire_pickling_refusal(PyTypeObject* type) noexcept {
    PyObject* dict = type->tp_dict;
    PyObject* as_object = reinterpret_cast<PyObject*>(type);
    PyObject* object = reinterpret_cast<PyObject*>(&PyBaseObject_Type);
    const int own_getstate = PyDict_ContainsString(dict, "__getstate__");
    if (own_getstate != 0) return own_getstate < 0 ? -1 : 0;
    Ref reduce_ex(PyObject_GetAttrString(as_object, "__reduce_ex__"));
    if (!reduce_ex) return -1;
    Ref object_reduce_ex(PyObject_GetAttrString(object, "__reduce_ex__"));
    if (!object_reduce_ex) return -1;
    if (reduce_ex.get() != object_reduce_ex.get()) return 0;
    Ref reduce(PyObject_GetAttrString(as_object, "__reduce__"));
    if (!reduce) return -1;
    Ref object_reduce(PyObject_GetAttrString(object, "__reduce__"));
    if (!object_reduce) return -1;

    Ref refuser;
    if (dict_entry(dict, refuse_reduce_name, refuser) < 0) return -1;
    if (!refuser && dict_entry(dict, "__reduce__", refuser) < 0) return -1;
    if (!refuser || (reduce.get() != object_reduce.get() && reduce.get() != refuser.get())) return 0;
    if (PyDict_SetItemString(dict, "__reduce__", refuser.get()) < 0) return -1;
    if (PyDict_PopString(dict, refuse_reduce_name, nullptr) < 0) return -1;

    Ref set_refuser;
    if (dict_entry(dict, refuse_setstate_name, set_refuser) < 0) return -1;
    if (set_refuser) {
        PyObject* setstate = nullptr;
        if (PyObject_GetOptionalAttrString(as_object, "__setstate__", &setstate) < 0) return -1;
        Ref setstate_ref(setstate);
        if (!setstate || setstate == set_refuser.get()) {
            if (PyDict_SetItemString(dict, "__setstate__", set_refuser.get()) < 0) return -1;
            if (PyDict_PopString(dict, refuse_setstate_name, nullptr) < 0) return -1;
        }
    }
    PyType_Modified(type);
    return 0;
}

// ---- type publication ----------------------------------------------------------------------------

// Readies a module's static type and publishes it: deferred reference counting where the
// interpreter has it, the operation table as the `__pyx_vtable__` capsule (when there is one), the
// module attribute, `add_methods` (function objects stored on the type), the pickling refusal
// (when `refuse_pickling`). Operator entries the type must not offer are removed again.
inline int publish_type(PyObject* module, PyTypeObject* type, const char* attr, void* table,
                        std::span<const char* const> hidden = {}, int (*add_methods)(PyTypeObject*) = nullptr,
                        bool refuse_pickling = true, std::span<const char* const> match_args = {}) noexcept {
    // After a failed execution a new module object is executed again: the type is complete by
    // then and only needs exporting once more.
    if (g_module.type_published) return PyModule_AddObjectRef(module, attr, reinterpret_cast<PyObject*>(type));
    if (PyType_Ready(type) < 0) return -1;
#if PY_VERSION_HEX >= 0x030E0000
    PyUnstable_Object_EnableDeferredRefcount(reinterpret_cast<PyObject*>(type));
#endif
    if (table) {
        Ref capsule(PyCapsule_New(table, nullptr, nullptr));
        if (!capsule || PyDict_SetItemString(type->tp_dict, "__pyx_vtable__", capsule.get()) < 0) return -1;
    }
    for (const char* name : hidden) {
        if (PyDict_PopString(type->tp_dict, name, nullptr) < 0) return -1;
    }
    // __match_args__: the attributes a class pattern binds positionally, `case T(a, b)`.
    if (!match_args.empty()) {
        Ref names(PyTuple_New(static_cast<Py_ssize_t>(match_args.size())));
        if (!names) return -1;
        for (size_t i = 0; i < match_args.size(); ++i) {
            PyObject* name = PyUnicode_InternFromString(match_args[i]);
            if (!name) return -1;
            PyTuple_SET_ITEM(names.get(), static_cast<Py_ssize_t>(i), name);
        }
        if (PyDict_SetItemString(type->tp_dict, "__match_args__", names.get()) < 0) return -1;
    }
    PyType_Modified(type);
    if (PyModule_AddObjectRef(module, attr, reinterpret_cast<PyObject*>(type)) < 0) return -1;
    // Added once: adding them again after a failure further on would bring back the refusing
    // methods under their own names, beside the ones already wired.
    if (add_methods && !g_module.methods_added) {
        if (add_methods(type) < 0) return -1;
        g_module.methods_added = true;
    }
    if (refuse_pickling && wire_pickling_refusal(type) < 0) {
        if (!PyErr_Occurred())
            PyErr_Format(PyExc_RuntimeError, "Unable to initialize pickling for %.200s", type->tp_name);
        return -1;
    }
    g_module.type_published = true;
    return 0;
}

// The same for a type with an operation table, which must be complete: an entry declared in the
// header but never filled would be a call through null in every client, so publication refuses it.
template <class Table>
inline int publish_type(PyObject* module, PyTypeObject* type, const char* attr, Table* table,
                        std::span<const char* const> hidden = {}, int (*add_methods)(PyTypeObject*) = nullptr,
                        bool refuse_pickling = true, std::span<const char* const> match_args = {}) noexcept {
    using Entry = void (*)();
    static_assert(sizeof(Table) % sizeof(Entry) == 0, "an operation table holds function pointers only");
    for (size_t i = 0; i < sizeof(Table) / sizeof(Entry); ++i) {
        Entry entry;
        std::memcpy(&entry, reinterpret_cast<const char*>(table) + i * sizeof(Entry), sizeof entry);
        if (!entry) {
            PyErr_Format(PyExc_SystemError, "%s's operation table has no entry in slot %zu", attr, i);
            return -1;
        }
    }
    return publish_type(module, type, attr, static_cast<void*>(table), hidden, add_methods, refuse_pickling,
                        match_args);
}

// ---- module creation and execution ---------------------------------------------------------------

// The builtins every module's code uses.
inline constexpr const char* standard_builtins[] = {"staticmethod", "NotImplemented"};

// Every module takes the built-in `type`, checked against the type-object layout it was compiled
// with; held for the life of the process.
inline PyTypeObject* g_builtin_type = nullptr;
inline int import_builtin_type(PyObject*) noexcept {
    g_builtin_type = import_type("builtins", "type", sizeof(PyHeapTypeObject), nullptr);
    return g_builtin_type ? 0 : -1;
}

// Copies spec.<attr> to module.<name>; a missing attribute is skipped.
inline int copy_spec_attr(PyObject* spec, PyObject* dict, const char* attr, const char* name,
                          bool none_too) noexcept {
    PyObject* value = nullptr;
    if (PyObject_GetOptionalAttrString(spec, attr, &value) < 0) return -1;
    Ref held(value);
    if (!value || (!none_too && value == Py_None)) return 0;
    return PyDict_SetItemString(dict, name, value);
}

inline PyObject* create_module(PyObject* spec, PyModuleDef*) noexcept {
    const int64_t id = PyInterpreterState_GetID(PyThreadState_Get()->interp);
    if (id == -1) return nullptr;
    if (g_module.interpreter == -1) {
        g_module.interpreter = id;
    } else if (g_module.interpreter != id) {
        PyErr_SetString(PyExc_ImportError,
                        "Interpreter change detected - this module can only be loaded into one interpreter per "
                        "process.");
        return nullptr;
    }
    if (g_module.module) return Py_NewRef(g_module.module);
    Ref name(PyObject_GetAttrString(spec, "name"));
    if (!name) return nullptr;
    Ref module(PyModule_NewObject(name.get()));
    if (!module) return nullptr;
    PyObject* dict = PyModule_GetDict(module.get());
    if (copy_spec_attr(spec, dict, "loader", "__loader__", true) < 0 ||
        copy_spec_attr(spec, dict, "origin", "__file__", true) < 0 ||
        copy_spec_attr(spec, dict, "parent", "__package__", true) < 0 ||
        copy_spec_attr(spec, dict, "submodule_search_locations", "__path__", false) < 0)
        return nullptr;
    return module.release();
}

// What every module declares to a free-threaded interpreter, in its slot and again at execution:
// that it needs the GIL (importing one turns the GIL on unless the user forced it off), or, in a
// build configured with VANTOR_GIL_FREE, that it runs without it. Either way the value types take
// no locks of their own; see the README on what readers of a shared object may see.
#ifdef VANTOR_GIL_FREE
#define VANTOR_MOD_GIL Py_MOD_GIL_NOT_USED
#else
#define VANTOR_MOD_GIL Py_MOD_GIL_USED
#endif

// Steps shared by every module, then the module's own (`steps`).
inline int exec_module_steps(PyObject* module, const ModuleSteps& steps) noexcept {
    const ModuleInfo& info = *g_module.info;
    if (g_module.module) {
        if (g_module.module == module) return 0;
        PyErr_Format(PyExc_RuntimeError,
                     "Module '%s' has already been imported. Re-initialisation is not supported.", info.name);
        return -1;
    }
    g_module.module = Py_NewRef(module);
    g_module.entered_in_modules = false;
#ifdef Py_GIL_DISABLED
    if (PyUnstable_Module_SetGIL(module, VANTOR_MOD_GIL) < 0) return -1;
#endif
    PyObject* dict = PyModule_GetDict(module);
    if (!dict) return -1;
    Py_XSETREF(g_module.dict, Py_NewRef(dict));
    Py_XSETREF(g_module.builtins, PyImport_ImportModule("builtins"));
    if (!g_module.builtins) return -1;
    if (PyModule_AddObjectRef(module, "__builtins__", g_module.builtins) < 0) return -1;

    // The module's code was compiled against one interpreter version; running under another works
    // but deserves a warning.
    const int major = static_cast<int>((Py_Version >> 24) & 0xFF), minor = static_cast<int>((Py_Version >> 16) & 0xFF);
    if ((major != PY_MAJOR_VERSION || minor != PY_MINOR_VERSION) &&
        PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                         "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                         PY_MAJOR_VERSION, PY_MINOR_VERSION, info.full_name, "does not match", major, minor) < 0)
        return -1;

    // Whatever name the module was imported under, its own dotted path finds it too.
    PyObject* modules = PyImport_GetModuleDict();
    const int present = PyDict_ContainsString(modules, info.full_name);
    if (present < 0) return -1;
    if (!present) {
        if (PyDict_SetItemString(modules, info.full_name, module) < 0) return -1;
        g_module.entered_in_modules = true;
    }

    for (const char* name : steps.builtins) {
        PyObject* value = nullptr;
        if (PyObject_GetOptionalAttrString(g_module.builtins, name, &value) < 0) return -1;
        if (!value) {
            Ref text(PyUnicode_FromString(name));
            if (text) PyErr_Format(PyExc_NameError, "name '%U' is not defined", text.get());
            return -1;
        }
        Py_DECREF(value);  // builtins are immortal or held by the builtins module for the process
    }
    if (steps.publish && steps.publish(module) < 0) return -1;
    if (steps.imports && steps.imports(module) < 0) return -1;
    return 0;
}

template <const ModuleSteps& Steps>
int exec_module(PyObject* module) noexcept {
    if (exec_module_steps(module, Steps) == 0) return 0;
    if (!PyErr_Occurred()) PyErr_Format(PyExc_ImportError, "init %s", g_module.info->full_name);
    if (g_module.dict) {
        Ref init_name(PyUnicode_FromFormat("init %s", g_module.info->full_name));
        if (init_name) add_traceback_raw(PyUnicode_AsUTF8(init_name.get()), 0);
    }
    // A later import starts again from module creation, and must not find this half-made module
    // under the dotted path this execution entered it at.
    if (g_module.entered_in_modules) {
        PyObject* exc = PyErr_GetRaisedException();
        PyObject* entry = nullptr;
        if (PyDict_GetItemStringRef(PyImport_GetModuleDict(), g_module.info->full_name, &entry) > 0 &&
            entry == module)
            PyDict_DelItemString(PyImport_GetModuleDict(), g_module.info->full_name);
        Py_XDECREF(entry);
        PyErr_Clear();  // the execution's own error is the one to report
        PyErr_SetRaisedException(exc);
        g_module.entered_in_modules = false;
    }
    Py_CLEAR(g_module.module);
    Py_CLEAR(g_module.dict);
    return -1;
}

// The module definition: three slots, no state, no functions, no traverse/clear/free.
template <const ModuleSteps& Steps>
struct ModuleDefinition {
    static inline PyModuleDef_Slot slots[] = {
        {Py_mod_create, reinterpret_cast<void*>(&create_module)},
        {Py_mod_exec, reinterpret_cast<void*>(&exec_module<Steps>)},
        {Py_mod_gil, VANTOR_MOD_GIL},
        {0, nullptr},
    };
    static inline PyMethodDef no_methods[] = {{nullptr, nullptr, 0, nullptr}};
    static inline PyModuleDef def = {
        PyModuleDef_HEAD_INIT, nullptr, nullptr, 0, no_methods, slots, nullptr, nullptr, nullptr,
    };

    static PyObject* init(const ModuleInfo& info) noexcept {
        g_module.info = &info;
        def.m_name = info.name;
        return PyModuleDef_Init(&def);
    }
};

}  // namespace vantor::frame
