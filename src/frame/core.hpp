// Shared foundation of every vantor extension module: owning references, the critical-section
// guard, process-wide module state and traceback entries. Header-only, private to the build.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <frameobject.h>

#include <atomic>
#include <utility>

namespace vantor::frame {

// Value-record fields are read and written without a lock: with the GIL forced off, a reader may
// see a mixture of several writers' values, by design. Each access is a relaxed atomic one, so
// that such a race is defined behaviour; on x86-64 and arm64 these are plain moves.
template <class T>
inline T relaxed_load(const T& field) noexcept {
    return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}
template <class T>
inline void relaxed_store(T& field, T value) noexcept {
    std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}

// Owns one strong reference; releases it on destruction.
class Ref {
public:
    Ref() noexcept = default;
    explicit Ref(PyObject* owned) noexcept : p_(owned) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept {
        Py_XSETREF(p_, std::exchange(o.p_, nullptr));
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const noexcept { return p_; }
    PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    PyObject* p_ = nullptr;
};

// Holds the interpreter's per-object critical section for a scope. Only free-threaded builds
// have (and need) one; elsewhere the guard is empty.
class CriticalSection {
public:
#ifdef Py_GIL_DISABLED
    explicit CriticalSection(PyObject* o) noexcept { PyCriticalSection_Begin(&cs_, o); }
    ~CriticalSection() { PyCriticalSection_End(&cs_); }
#else
    explicit CriticalSection(PyObject*) noexcept {}
#endif
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

private:
#ifdef Py_GIL_DISABLED
    PyCriticalSection cs_;
#endif
};

// What a module is: its names, the source path its traceback entries show, and the dotted name
// of its extension type (the prefix of every operation's traceback name).
struct ModuleInfo {
    const char* name;       // last component, e.g. "vector2"
    const char* full_name;  // e.g. "vantor.vector2.vector2"
    const char* source;     // e.g. "src/vantor/vector2/vector2.cpp"
    const char* type_name;  // e.g. "vantor.vector2.vector2.Vector2"; null for a module without a type
};

// Process-wide state of the one module a shared library defines. Written only while the import
// machinery runs module creation and execution.
struct ModuleState {
    const ModuleInfo* info = nullptr;
    PyObject* module = nullptr;    // strong: the module lives as long as the process
    PyObject* dict = nullptr;      // strong, the module's dict
    PyObject* builtins = nullptr;  // strong
    int64_t interpreter = -1;      // id of the interpreter that first created the module; -1: none yet
    bool type_published = false;   // the static type's dict is complete; a later execution only re-exports it
    bool methods_added = false;    // the function objects are in the type's dict
    bool entered_in_modules = false;  // execution put the module into sys.modules under its dotted path
};

inline ModuleState g_module;

// Adds a traceback entry named `function` with the module's source path, without private API:
// a bare code object and frame are made while the pending exception is parked.
inline void add_traceback_raw(const char* function, int line) noexcept {
    PyObject* exc = PyErr_GetRaisedException();
    if (!exc) return;  // an entry belongs to a pending exception
    const char* file = g_module.info ? g_module.info->source : "<vantor>";
    PyCodeObject* code = PyCode_NewEmpty(file, function, line);
    Ref globals = g_module.dict ? Ref(Py_NewRef(g_module.dict)) : Ref(PyDict_New());
    PyFrameObject* frame = nullptr;
    if (code && globals) frame = PyFrame_New(PyThreadState_Get(), code, globals.get(), nullptr);
    Py_XDECREF(code);
    PyErr_Clear();
    PyErr_SetRaisedException(exc);
    if (frame) {
        PyTraceBack_Here(frame);
        Py_DECREF(frame);
    }
}

// Traceback entry for operation `op` of the module's type, "<module>.<Type>.<op>" (of the module,
// "<module>.<op>", when it has no type). The code lives
// in the shared layer, so a line number in the module's source would point nowhere: none is given.
// Only error paths call it: kept out of line, so that the functions calling it need no frame for it.
[[gnu::noinline, gnu::cold]] inline void add_traceback(const char* op) noexcept {
    const ModuleInfo* info = g_module.info;
    const char* prefix = !info ? "vantor" : info->type_name ? info->type_name : info->full_name;
    Ref name(PyUnicode_FromFormat("%s.%s", prefix, op));
    if (!name) return;  // the MemoryError replaces the original; nothing more to add
    const char* text = PyUnicode_AsUTF8(name.get());
    if (text) add_traceback_raw(text, 0);
}

// Traceback entry for a failed property assignment: "<module>.<Type>.<attr>.__set__".
inline void add_setter_traceback(const char* attr) noexcept {
    Ref op(PyUnicode_FromFormat("%s.__set__", attr));
    const char* text = op ? PyUnicode_AsUTF8(op.get()) : nullptr;
    add_traceback(text ? text : "__set__");
}

// Deallocation of an instance that holds no references: straight to the type's free function.
inline void dealloc_plain(PyObject* self) noexcept { Py_TYPE(self)->tp_free(self); }

// Fails a call: adds the traceback entry for `op` to the pending exception and returns null.
[[gnu::noinline, gnu::cold]] inline PyObject* fail(const char* op) noexcept {
    add_traceback(op);
    return nullptr;
}

// Name of an object's type as messages show it (tp_name: the dotted name for the package's types).
inline const char* type_name_of(PyObject* o) noexcept { return Py_TYPE(o)->tp_name; }

// Attribute reads by a C name, through the interned str of that name: the interpreter caches
// look-ups by interned names only, and a fresh str per call would also make it fill memory it
// keeps for a while.
inline PyObject* get_attr(PyObject* o, const char* name) noexcept {
    Ref n(PyUnicode_InternFromString(name));
    return n ? PyObject_GetAttr(o, n.get()) : nullptr;
}
inline int get_optional_attr(PyObject* o, const char* name, PyObject** result) noexcept {
    Ref n(PyUnicode_InternFromString(name));
    if (!n) {
        *result = nullptr;
        return -1;
    }
    return PyObject_GetOptionalAttr(o, n.get(), result);
}

}  // namespace vantor::frame
