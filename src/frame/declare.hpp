// Each Python-visible method and property is declared once: its name, parameters (names, types as
// the stubs write them, defaults), result type and doc text. From that one declaration come the
// docstring with its text signature, the parameter names the binding matches keywords against,
// the attribute definition, and the member's lines in the type stub.
//
// The stub lines of a type are compiled into its module as one text that begins with the marker
// "@vantor-stub <Type>\n" and ends with a NUL; scripts/gen-stubs reads them from the built module
// file, so a stub can never say something the module does not.
#pragma once

#include "convert.hpp"
#include "docs.hpp"

#include <Python.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <utility>

namespace vantor::frame {

struct Param {
    const char* name = nullptr;
    const char* type = nullptr;     // as the stub writes it
    const char* default_ = nullptr;  // the default's Python text: the parameter is optional
};

struct Method {
    const char* name;
    const char* result;  // the stub's result type
    const char* doc;     // the docstring's body
    std::array<Param, 4> params{};
    bool is_static = false;
    bool annotated = false;  // the function's __annotations__ carry the result type as "return"
    // Further forms of the parameters, told apart by their count: a method with more than one
    // form takes its arguments by position only, and its stub has one @overload per form.
    std::array<std::array<Param, 4>, 2> more_forms{};

    static constexpr size_t count(const std::array<Param, 4>& form) {
        size_t n = 0;
        while (n < form.size() && form[n].name) ++n;
        return n;
    }
    constexpr size_t arity() const { return count(params); }
    constexpr size_t forms() const { return more_forms[0][0].name ? (more_forms[1][0].name ? 3 : 2) : 1; }
    constexpr const std::array<Param, 4>& form(size_t i) const { return i ? more_forms[i - 1] : params; }
    // The parameters without a default, which come first.
    constexpr size_t required() const {
        size_t n = 0;
        while (n < arity() && !params[n].default_) ++n;
        return n;
    }
};

// `m` as a static method (no receiver).
constexpr Method as_static(Method m) {
    m.is_static = true;
    return m;
}

struct Property {
    const char* name;
    const char* type;  // what reading gives
    const char* doc;   // the docstring's body
    const char* set_type = nullptr;  // what assigning takes; null when read-only
    bool deletable = false;
};

// Pattern expansion for declarations shared by several types: a declaration's texts may hold
// "{K}" keys that `fill(K, out)` replaces (see add_expanded). Types that share nothing pass NoFill.
struct NoFill {
    template <class Out>
    constexpr void operator()(char, Out&) const {}
};

// "name($self, /, a, b=1)\n--\n\nbody": the form CPython reads a text signature from. A static
// method has no $self.
template <size_t Cap = 600, class Fill = NoFill>
constexpr DocString<Cap> method_doc(const Method& m, Fill fill = {}) {
    DocString<Cap> out{};
    out.add(m.name).add('(');
    if (m.forms() > 1) {
        // One text signature cannot hold several forms: it takes *args, and the forms head the body.
        out.add(m.is_static ? "*args)\n--\n\n" : "$self, /, *args)\n--\n\n");
        for (size_t f = 0; f < m.forms(); ++f) {
            out.add(m.name).add('(');
            for (size_t i = 0; i < Method::count(m.form(f)); ++i) (i ? out.add(", ") : out).add(m.form(f)[i].name);
            out.add(")\n");
        }
        out.add('\n');
        add_expanded(out, m.doc, fill);
        return out;
    }
    if (!m.is_static) out.add(m.arity() ? "$self, /, " : "$self, /");
    for (size_t i = 0; i < m.arity(); ++i) {
        if (i) out.add(", ");
        out.add(m.params[i].name);
        if (m.params[i].default_) out.add('=').add(m.params[i].default_);
    }
    out.add(")\n--\n\n");
    add_expanded(out, m.doc, fill);
    return out;
}

// "name: type\n\nbody", the form of the package's attribute docstrings.
template <size_t Cap = 400, class Fill = NoFill>
constexpr DocString<Cap> property_doc(const Property& p, Fill fill = {}) {
    DocString<Cap> out{};
    out.add(p.name).add(": ");
    add_expanded(out, p.type, fill);
    out.add("\n\n");
    add_expanded(out, p.doc, fill);
    return out;
}

// The stub's lines for a method or a property, appended to `out`.
template <size_t Cap, class Fill = NoFill>
constexpr void add_stub(DocString<Cap>& out, const Method& m, Fill fill = {}) {
    const bool overloaded = m.forms() > 1;
    for (size_t f = 0; f < m.forms(); ++f) {
        const auto& params = m.form(f);
        if (overloaded) out.add("@overload\n");
        if (m.is_static) out.add("@staticmethod\n");
        out.add("def ").add(m.name).add(m.is_static ? "(" : "(self");
        for (size_t i = 0; i < Method::count(params); ++i) {
            if (i || !m.is_static) out.add(", ");
            out.add(params[i].name).add(": ");
            add_expanded(out, params[i].type, fill);
            if (params[i].default_) out.add(" = ").add(params[i].default_);
        }
        out.add(overloaded ? ", /) -> " : ") -> ");
        add_expanded(out, m.result, fill);
        out.add(": ...\n");
    }
}
template <size_t Cap, class Fill = NoFill>
constexpr void add_stub(DocString<Cap>& out, const Property& p, Fill fill = {}) {
    out.add("@property\ndef ").add(p.name).add("(self) -> ");
    add_expanded(out, p.type, fill);
    out.add(": ...\n");
    if (p.set_type) {
        out.add('@').add(p.name).add(".setter\ndef ").add(p.name).add("(self, value: ");
        add_expanded(out, p.set_type, fill);
        out.add(") -> None: ...\n");
    }
    if (p.deletable) out.add('@').add(p.name).add(".deleter\ndef ").add(p.name).add("(self) -> None: ...\n");
}

template <size_t Cap, size_t K, class Fill = NoFill>
constexpr void add_stub(DocString<Cap>& out, const std::array<Property, K>& props, Fill fill = {}) {
    for (const Property& p : props) add_stub(out, p, fill);
}

// A type's stub text: the marker line, then the lines of each member in the order given.
template <size_t Cap, class Fill = NoFill, class... Members>
constexpr DocString<Cap> stub_text(const char* type_name, Fill fill, const Members&... members) {
    DocString<Cap> out{};
    out.add("@vantor-stub ").add(type_name).add('\n');
    (add_stub(out, members, fill), ...);
    return out;
}

// The parameter names of method `M`, as bind_args matches keywords against them.
template <const Method& M>
inline constexpr auto param_names = [] {
    std::array<const char*, M.arity()> names{};
    for (size_t i = 0; i < names.size(); ++i) names[i] = M.params[i].name;
    return names;
}();

template <const Method& M>
inline constexpr auto doc_of = method_doc(M);

// Binds a call's arguments to the parameters of `M` as bind_args does; those with a default may be
// left out (their out[i] stays null).
template <const Method& M>
inline bool bind_params(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) noexcept {
    return bind_args(M.name, args, nargs, kwnames, param_names<M>, out, static_cast<Py_ssize_t>(M.required()));
}

// Binds the positional arguments of a method with several forms: the form whose parameter count is
// nargs gives out[0..nargs). Returns that form's index, or -1 with a TypeError set.
template <const Method& M>
inline int bind_form(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) noexcept {
    if (kwnames && PyTuple_GET_SIZE(kwnames)) [[unlikely]] {
        raise_unexpected_keyword(M.name, PyTuple_GET_ITEM(kwnames, 0));
        return -1;
    }
    // Each form's count is a constant: the match and the copy unroll.
    int form = -1;
    [&]<size_t... F>(std::index_sequence<F...>) {
        (void)((Method::count(M.form(F)) == static_cast<size_t>(nargs)
                    ? (std::copy_n(args, Method::count(M.form(F)), out), form = static_cast<int>(F), true)
                    : false) ||
               ...);
    }(std::make_index_sequence<M.forms()>{});
    if (form >= 0) [[likely]]
        return form;
    // The counts the forms take, smallest first.
    Py_ssize_t n[3] = {};
    for (size_t f = 0; f < M.forms(); ++f) {
        size_t i = f;
        for (; i > 0 && n[i - 1] > static_cast<Py_ssize_t>(Method::count(M.form(f))); --i) n[i] = n[i - 1];
        n[i] = static_cast<Py_ssize_t>(Method::count(M.form(f)));
    }
    if (M.forms() == 2)
        PyErr_Format(PyExc_TypeError, "%.200s() takes %zd or %zd positional arguments (%zd given)", M.name, n[0], n[1],
                     nargs);
    else
        PyErr_Format(PyExc_TypeError, "%.200s() takes %zd, %zd or %zd positional arguments (%zd given)", M.name, n[0],
                     n[1], n[2], nargs);
    return -1;
}

// The docstrings of a list of properties, for declared_property.
template <size_t Cap = 400, size_t K, class Fill = NoFill>
constexpr std::array<DocString<Cap>, K> property_docs(const std::array<Property, K>& props, Fill fill = {}) {
    std::array<DocString<Cap>, K> docs{};
    for (size_t i = 0; i < K; ++i) docs[i] = property_doc<Cap>(props[i], fill);
    return docs;
}

// The PyMethodDef of `M`, run by F (METH_FASTCALL | METH_KEYWORDS; static methods get no receiver).
template <auto F, const Method& M, const char* Doc = doc_of<M>.s>
PyMethodDef declared_method() noexcept {
    return {M.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(F)),
            METH_FASTCALL | METH_KEYWORDS | (M.is_static ? METH_STATIC : 0), Doc};
}

// A type's methods, each its declaration and the function that runs it, in the order the type's
// dict holds them: one list gives both the PyMethodDef table and the stub lines.
template <auto F, const Method& M, const char* Doc = doc_of<M>.s>
struct Def {
    static constexpr const Method& decl = M;
    static PyMethodDef def() noexcept { return declared_method<F, M, Doc>(); }
};

template <class... Defs>
struct Methods;
template <class A, class B>
struct JoinedMethods;
template <class... A, class... B>
struct JoinedMethods<Methods<A...>, Methods<B...>> {
    using type = Methods<A..., B...>;
};

template <class... Defs>
struct Methods {
    // These methods followed by those of `More` (a Methods list).
    template <class More>
    using With = typename JoinedMethods<Methods, More>::type;

    // The PyMethodDef table: the declared methods, then `more` (such as the pickling refusal), then
    // the zero entry that ends it.
    template <class... More>
    static std::array<PyMethodDef, sizeof...(Defs) + sizeof...(More) + 1> table(More... more) noexcept {
        return {Defs::def()..., more..., PyMethodDef{nullptr, nullptr, 0, nullptr}};
    }

    // The return annotation of method `name`, for add_functions: null unless it is annotated.
    static const char* return_annotation(const char* name) noexcept {
        for (const Method* m : {&Defs::decl...})
            if (m->annotated && std::strcmp(m->name, name) == 0) return m->result;
        return nullptr;
    }
};

template <size_t Cap, class Fill, class... Defs>
constexpr void add_stub(DocString<Cap>& out, Methods<Defs...>, Fill fill) {
    (add_stub(out, Defs::decl, fill), ...);
}

// The PyGetSetDef of `p`, with its docstring from property_docs. Whether it has a setter must agree
// with the declaration's set_type: scripts/gen-stubs --check compares the stub with the attribute
// definitions.
template <size_t Cap>
constexpr PyGetSetDef declared_property(const Property& p, const DocString<Cap>& doc, getter get, setter set = nullptr,
                                        void* closure = nullptr) {
    return {p.name, get, set, doc.s, closure};
}

}  // namespace vantor::frame
