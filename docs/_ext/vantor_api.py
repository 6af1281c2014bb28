"""Writes the API reference pages (docs/api/) from the built modules and their stubs.

Each member's typed signature comes from the module's stub (src/vantor/<m>/<m>.pyi, written by
scripts/gen-stubs from the same declarations that make the docstrings) and its text from the
runtime docstring; nothing is copied by hand. The members are the runtime type's own, in its order:
a public member the stub does not type fails the build. Swizzles are grouped into one table per
vector type; each palette colour shows a swatch drawn from its value.
"""

import ast
import ctypes
import html
import importlib
import re
from pathlib import Path
from types import GetSetDescriptorType

from sphinx.errors import ExtensionError

# The swizzle names of a vector type: every word of 2 to 4 of its component letters.
SWIZZLE = re.compile(r"^[xyzw]{2,4}$")


class Stub:
    """A module's stub: per class, each member's signatures ("(params) -> result") and kind; the
    module's private aliases, type variables and protocols; and where imported names come from."""

    def __init__(self, path: Path):
        tree = ast.parse(path.read_text())
        self.classes: dict[str, dict[str, dict]] = {}
        self.private: list[tuple[str, str]] = []  # (name, definition)
        self.imports: dict[str, str] = {}
        for node in tree.body:
            if isinstance(node, ast.ImportFrom) and node.module and node.module.startswith("vantor."):
                for alias in node.names:
                    self.imports[alias.asname or alias.name] = f"{node.module}.{alias.name}"
            elif isinstance(node, ast.ClassDef) and node.name.startswith("_"):
                bases = ", ".join(ast.unparse(b) for b in node.bases)
                self.private.append((node.name, f"class {node.name}({bases})"))
            elif isinstance(node, ast.ClassDef):
                self.classes[node.name] = self.members(node)
            elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name) and node.value is not None:
                self.private.append((node.target.id, ast.unparse(node.value)))
            elif isinstance(node, ast.Assign) and isinstance(node.targets[0], ast.Name):
                self.private.append((node.targets[0].id, ast.unparse(node.value)))

    @staticmethod
    def members(cls: ast.ClassDef) -> dict[str, dict]:
        out: dict[str, dict] = {}
        for node in cls.body:
            if not isinstance(node, ast.FunctionDef):
                continue
            decorators = [ast.unparse(d) for d in node.decorator_list]
            entry = out.setdefault(node.name, {"kind": "method", "signatures": [], "settable": False})
            if any(d.endswith((".setter", ".deleter")) for d in decorators):
                if any(d.endswith(".setter") for d in decorators):
                    entry["settable"] = ast.unparse(node.args.args[1].annotation)
                continue
            if "property" in decorators:
                entry["kind"] = "property"
                entry["type"] = ast.unparse(node.returns)
                continue
            if "staticmethod" in decorators:
                entry["kind"] = "staticmethod"
            params = node.args
            if entry["kind"] != "staticmethod" and params.posonlyargs[:1] + params.args[:1]:
                # Drop self (or cls), keeping a positional-only marker when parameters follow it.
                if params.posonlyargs:
                    params.posonlyargs = params.posonlyargs[1:]
                else:
                    params.args = params.args[1:]
            result = ast.unparse(node.returns) if node.returns else None
            entry["signatures"].append(f"({ast.unparse(params)})" + (f" -> {result}" if result else ""))
        return out


def body_of(doc: str | None, name: str) -> str:
    """A docstring without what the signature already says: a text signature or the forms that
    head a method's docstring, or a property's "name: type" line."""
    doc = (doc or "").strip()
    if "\n--\n\n" in doc and doc.startswith(name + "("):
        doc = doc.split("\n--\n\n", 1)[1]
    lines = doc.split("\n")
    while lines and (re.match(rf"^{re.escape(name)}\(.*\)$", lines[0]) or re.match(rf"^{re.escape(name)}: ", lines[0])):
        lines.pop(0)
    return "\n".join(lines).strip()


def rst_text(text: str, indent: str) -> str:
    """Docstring text as reStructuredText: prose with its markup characters escaped, interactive
    examples (">>>" paragraphs) kept as they are, so that the doctest builder runs them."""
    out = []
    for para in text.split("\n\n"):
        if para.lstrip().startswith(">>>"):
            out.append(para)
        else:
            out.append(re.sub(r"([\\*`|_\[\]])", r"\\\1", para))
    return "\n\n".join("\n".join(indent + line if line.strip() else "" for line in block.split("\n")) for block in out)


def qualified(text: str, stub: Stub) -> str:
    """A signature whose names imported from other vantor modules are written in full, so that
    they resolve to those modules' pages."""
    for short, full in stub.imports.items():
        text = re.sub(rf"(?<![\w.]){re.escape(short)}(?!\w)", full, text)
    return text


def swatch(color) -> str:
    r, g, b, a = color
    return (f'<span class="vantor-swatch" style="display:inline-block;width:3em;height:1.2em;'
            f'border:1px solid #888;vertical-align:middle;background:rgba({r},{g},{b},{a / 255:.3f})"></span>')


def capsule_name(capsule) -> str:
    get = ctypes.pythonapi.PyCapsule_GetName
    get.restype, get.argtypes = ctypes.c_char_p, [ctypes.py_object]
    return get(capsule).decode()


def class_page(module: str, cls: type, stub: Stub) -> tuple[list[str], set[str]]:
    """The directives of one type and the public names they document."""
    name = cls.__name__
    members = stub.classes.get(name)
    if members is None:
        raise ExtensionError(f"{module}: the stub has no class {name}")
    init = members.get("__init__", {}).get("signatures") or ["(*args)"]
    lines = [f".. py:class:: {name}{qualified(init[0].removesuffix(' -> None'), stub)}"]
    lines += [f"            {name}{qualified(s.removesuffix(' -> None'), stub)}" for s in init[1:]]
    lines += ["", rst_text(body_of(cls.__doc__, name), "   "), ""]
    documented: set[str] = set()
    swizzles = []
    palette = name == "Colors"
    sample = cls() if palette else None
    for attr, value in vars(cls).items():
        if attr.startswith("_"):
            continue
        if isinstance(value, GetSetDescriptorType) and SWIZZLE.match(attr) and len(set(attr)) and name.startswith("Vector"):
            if attr not in members:  # the stub lists swizzles as properties too
                raise ExtensionError(f"{module}: {name}.{attr} has no signature in the stub")
            swizzles.append(attr)
            documented.add(attr)
            continue
        entry = members.get(attr)
        if entry is None or (entry["kind"] != "property" and not entry["signatures"]):
            raise ExtensionError(f"{module}: {name}.{attr} has no signature in the stub")
        doc = getattr(cls, attr).__doc__ if not isinstance(value, GetSetDescriptorType) else value.__doc__
        if entry["kind"] == "property":
            lines.append(f"   .. py:property:: {attr}")
            lines.append(f"      :type: {qualified(entry['type'], stub)}")
            lines.append("")
            if palette:
                color = getattr(sample, attr)
                lines += ["      .. raw:: html", "", f"         {swatch(color)} <code>{html.escape(repr(color))}</code>", ""]
            else:
                lines += [rst_text(body_of(doc, attr), "      "), ""]
            if entry["settable"]:
                lines += [f"      Assignable: ``{entry['settable']}``.", ""]
        else:
            directive = "py:staticmethod" if entry["kind"] == "staticmethod" else "py:method"
            sigs = [qualified(s, stub) for s in entry["signatures"]]
            lines.append(f"   .. {directive}:: {attr}{sigs[0]}")
            lines += [f"      {' ' * (len(directive) + 4)}{attr}{s}" for s in sigs[1:]]
            lines += ["", rst_text(body_of(doc, attr), "      "), ""]
        documented.add(attr)
    if swizzles:
        lines += ["   .. rubric:: Swizzles", "",
                  f"   Read-only properties, each a new {name} of the components its letters name, in that "
                  f"order ({len(swizzles)} names):", "",
                  "   " + ", ".join(f"``{s}``" for s in swizzles), ""]
    return lines, documented


def module_page(module_name: str, srcdir: Path) -> str:
    module = importlib.import_module(module_name)
    short = module_name.rsplit(".", 1)[1]
    stub_path = Path(module.__file__).with_name(f"{short}.pyi")
    stub = Stub(stub_path)
    title = f"``{module_name}``"
    lines = [title, "=" * len(title), "", f".. py:module:: {module_name}", ""]
    types = [v for k, v in vars(module).items() if not k.startswith("_") and isinstance(v, type)]
    others = [k for k, v in vars(module).items() if not k.startswith("_") and not isinstance(v, type)]
    if others:
        raise ExtensionError(f"{module_name}: public names that are not types: {others}")
    if hasattr(module, "__pyx_capi__"):
        lines += ["The module exports C functions in its ``__pyx_capi__`` dict, each in a capsule named by its C "
                  "signature (see the guide for native modules):", ""]
        for fn, capsule in sorted(module.__pyx_capi__.items()):
            lines += [f"- ``{fn}``: ``{capsule_name(capsule)}``"]
        lines.append("")
    for cls in types:
        body, _ = class_page(module_name, cls, stub)
        lines += body
    if stub.private:
        lines += ["Argument types", "--------------", "",
                  "The names the signatures above use for what an argument accepts:", ""]
        for alias, definition in stub.private:
            lines += [f".. py:type:: {alias}", "", f"   ``{definition}``", ""]
    return "\n".join(lines) + "\n"


def write_pages(app):
    from vantor._build_info import modules

    api = Path(app.srcdir) / "api"
    api.mkdir(exist_ok=True)
    for old in api.glob("*.rst"):
        old.unlink()
    index = ["API reference", "=============", "",
             "Every module and type of the package, each member with its typed signature (from the type "
             "stubs) and its docstring.", "", ".. toctree::", "   :maxdepth: 2", ""]
    for m in modules:
        (api / f"{m}.rst").write_text(module_page(f"vantor.{m}.{m}", Path(app.srcdir)))
        index.append(f"   {m}")
    (api / "index.rst").write_text("\n".join(index) + "\n")


def setup(app):
    app.connect("builder-inited", write_pages)
    return {"parallel_read_safe": True, "version": "1"}
