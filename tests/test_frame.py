"""The module frame every vantor module shares: import guards, type publication and import,
pickling refusal, argument binding and traceback entries."""

import importlib
import pickle
import sys
import traceback
import warnings

import pytest

import vantor._testclient as client
import vantor.vector2.vector2 as vector2_module
from conftest import FREE_THREADED, HEADER, free_threaded_only, run_python
from vantor.vector2.vector2 import Vector2

MODULE = "vantor.vector2.vector2"
PICKLING = "Pickling of struct members such as self.data must be explicitly requested with @auto_pickle(True)"


class TestModuleLifecycle:
    def test_reimport_after_removal_gives_the_same_module_and_type(self):
        saved = sys.modules.pop(MODULE)
        try:
            again = importlib.import_module(MODULE)
            assert again is vector2_module
            assert again.Vector2 is Vector2
        finally:
            sys.modules[MODULE] = saved

    def test_module_attributes(self):
        assert vector2_module.__builtins__ is __import__("builtins")
        assert vector2_module.__package__ == "vantor.vector2"
        assert vector2_module.__file__.endswith(".so")
        assert not hasattr(vector2_module, "__path__")
        assert Vector2.__module__ == MODULE
        assert (Vector2.__name__, Vector2.__qualname__) == ("Vector2", "Vector2")

    def test_second_interpreter_is_refused_and_the_first_keeps_working(self):
        interpreters = pytest.importorskip("_interpreters")
        interp = interpreters.create("legacy")
        try:
            err = interpreters.exec(interp, f"import {MODULE}")
        finally:
            interpreters.destroy(interp)
        assert err is not None
        assert err.type.__name__ == "ImportError"
        assert err.msg == (
            "Interpreter change detected - this module can only be loaded into one interpreter per process."
        )
        assert Vector2(1, 2) + Vector2(3, 4) == Vector2(4, 6)

    @free_threaded_only
    def test_import_turns_the_gil_on_unless_forced_off_or_built_gil_free(self):
        # Every module: the default build turns the GIL on (with the interpreter's warning); a
        # VANTOR_GIL_FREE build leaves it off, silently; -X gil=0 keeps it off either way.
        from vantor._build_info import gil_free, modules

        probe = "import sys\nfor m in sys.argv[1:]: __import__(f'vantor.{m}.{m}')\nprint(sys._is_gil_enabled())"
        for m in modules:
            default = run_python("-c", probe, m)
            assert default.returncode == 0, default.stderr
            assert default.stdout.strip() == str(not gil_free), m
            assert ("global interpreter lock" in default.stderr) != gil_free, m
        forced = run_python("-X", "gil=0", "-c", probe, *modules)
        assert forced.stdout.strip() == "False"


class TestTypePublication:
    @pytest.mark.parametrize(
        "module, cls, size, table_slots",
        [
            ("vector2", "Vector2", HEADER + 16, 31),
            ("vector3", "Vector3", HEADER + 24, 31),
            ("vector4", "Vector4", HEADER + 40, 30),
            ("color", "Color", HEADER + 16, 6),
            ("rect", "Rect", HEADER + 24, 14),
            ("image", "Image", HEADER + 40, 1),
            ("runecell", "GlyphInfo", HEADER + 56, 1),
        ],
    )
    def test_instance_layout_matches_the_public_header(self, module, cls, size, table_slots):
        layout = client.layout()
        # (instance size, offset of the record, table size) from C++ and from C11
        assert layout[module] == layout[f"c11_{module}"] == (size, HEADER + 8, table_slots * 8)
        assert getattr(importlib.import_module(f"vantor.{module}.{module}"), cls).__basicsize__ == size

    def test_every_instance_points_at_the_published_table(self):
        for v in (Vector2(), Vector2.__new__(Vector2), Vector2(1, 2) + Vector2(), Vector2(1, 2).yx):
            assert client.vector2_vtab_matches(v)

    def test_type_shape(self):
        assert type(Vector2.__dict__["__pyx_vtable__"]).__name__ == "PyCapsule"
        assert type(Vector2.__dict__["from_xy"]) is staticmethod
        with pytest.raises(TypeError):
            type("Sub", (Vector2,), {})
        with pytest.raises(AttributeError):
            Vector2(1, 2).z = 3
        with pytest.raises(TypeError):
            Vector2.x = 3
        # No reflected operators: the vector is only ever the left operand.
        for name in ("__radd__", "__rsub__", "__rmul__", "__rtruediv__", "__rfloordiv__"):
            assert not hasattr(Vector2, name)


class TestTypeImport:
    def test_matching_size_gives_type_and_table(self):
        t, fetched = client.import_type(MODULE, "Vector2", Vector2.__basicsize__, True)
        assert t is Vector2 and fetched

    def test_smaller_instance_than_expected_fails(self):
        size = Vector2.__basicsize__
        with pytest.raises(ValueError) as e:
            client.import_type(MODULE, "Vector2", size + 8, True)
        assert str(e.value) == (
            f"{MODULE}.Vector2 size changed, may indicate binary incompatibility. "
            f"Expected {size + 8} from C header, got {size} from PyObject"
        )

    def test_larger_instance_than_expected_warns_and_succeeds(self):
        size = Vector2.__basicsize__
        with pytest.warns(RuntimeWarning) as w:
            t, _ = client.import_type(MODULE, "Vector2", size - 8, True)
        assert t is Vector2
        assert str(w[0].message) == (
            f"{MODULE}.Vector2 size changed, may indicate binary incompatibility. "
            f"Expected {size - 8} from C header, got {size} from PyObject"
        )
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            with pytest.raises(RuntimeWarning):
                client.import_type(MODULE, "Vector2", size - 8, True)

    def test_type_without_table_fails_with_key_error(self):
        with pytest.raises(KeyError, match="__pyx_vtable__"):
            client.import_type("builtins", "int", int.__basicsize__, True)

    def test_variable_size_types_count_their_item_size(self):
        # tuple carries one pointer per item: basic + item covers an expected size up to that.
        basic = tuple.__basicsize__
        t, fetched = client.import_type("builtins", "tuple", basic + tuple.__itemsize__, False)
        assert t is tuple and not fetched
        with pytest.raises(ValueError):
            client.import_type("builtins", "tuple", basic + tuple.__itemsize__ + 8, False)

    def test_attribute_that_is_not_a_type(self):
        with pytest.raises(TypeError) as e:
            client.import_type("sys", "path", 8, False)
        assert str(e.value) == "sys.path is not a type object"

    def test_missing_module_or_attribute_propagates(self):
        with pytest.raises(ModuleNotFoundError):
            client.import_type("vantor.nowhere", "X", 8, False)
        with pytest.raises(AttributeError):
            client.import_type(MODULE, "Nothing", 8, False)


class TestPicklingRefusal:
    @pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
    def test_pickle_is_refused(self, protocol):
        with pytest.raises(TypeError) as e:
            pickle.dumps(Vector2(1, 2), protocol)
        assert str(e.value) == PICKLING

    def test_refusers_are_reachable_only_as_reduce_and_setstate(self):
        own = Vector2.__dict__
        assert own["__reduce__"] is not object.__dict__["__reduce__"]
        assert "__setstate__" in own
        assert not any("refused" in name for name in own)
        v = Vector2(1, 2)
        for call in (v.__reduce__, lambda: v.__setstate__(None), lambda: v.__setstate__(1, 2, k=3)):
            with pytest.raises(TypeError) as e:
                call()
            assert str(e.value) == PICKLING
        assert v == Vector2(1, 2)


def entry_names(exc):
    return [(f.filename, f.name) for f in traceback.extract_tb(exc.__traceback__)]


class TestTracebackEntries:
    SOURCE = "src/vantor/vector2/vector2.cpp"

    @pytest.mark.parametrize(
        "call, name",
        [
            (lambda: Vector2.from_ints("a", 0), "from_ints"),
            (lambda: Vector2(1, 2).dot(3), "dot"),
            (lambda: Vector2(1, 2, 3), "__init__"),
            (lambda: Vector2(1, 2) + 1, "__add__"),
            (lambda: Vector2()[5], "__getitem__"),
            (lambda: setattr(Vector2(), "x", "a"), "x.__set__"),
            (lambda: setattr(Vector2(), "data", 1), "data.__set__"),
            (lambda: Vector2(float("nan"), 0).get_int_tuple(), "get_int_tuple"),
            (lambda: Vector2.from_tuple((1,)), "from_tuple"),
            (lambda: pickle.dumps(Vector2()), "__reduce__"),
        ],
    )
    def test_error_names_the_operation_and_the_source(self, call, name):
        with pytest.raises(Exception) as e:
            call()
        assert (self.SOURCE, f"{MODULE}.Vector2.{name}") in entry_names(e.value)

    def test_c_level_entry_adds_its_own_name(self):
        with pytest.raises(IndexError) as e:
            client.vector2_slot("cfrom_tuple", (1.0,))
        assert (self.SOURCE, f"{MODULE}.Vector2.cfrom_tuple") in entry_names(e.value)


RETRY_AFTER_FAILED_EXECUTION = """
import builtins, sys, traceback
real_type = builtins.type
builtins.type = lambda *a: real_type(*a)   # not a type object: the modules' type import fails
for name in ("vantor.vector2.vector2", "vantor.color.color"):
    try:
        __import__(name)
    except TypeError as e:
        assert str(e) == "builtins.type is not a type object", e
        entries = [f.name for f in traceback.extract_tb(e.__traceback__)]
        assert "init vantor.vector2.vector2" in entries, entries
        break
builtins.type = real_type
import vantor.vector2.vector2 as m
import vantor.color.color as c
assert m.Vector2(1, 2) + m.Vector2(3, 4) == m.Vector2(4, 6)
assert "__reduce_refused__" not in m.Vector2.__dict__ and "__radd__" not in m.Vector2.__dict__
assert "__reduce_refused__" not in c.Color.__dict__
print("ok")
"""

MODULE_OUTLIVES_ITS_NAMES = """
import gc, sys
import vantor.vector2.vector2
import vantor.vector2 as package
Vector2 = vantor.vector2.vector2.Vector2
del sys.modules["vantor.vector2.vector2"], package.vector2
del package
gc.collect()
junk = [type(sys)("junk%d" % i) for i in range(2000)]
import vantor.vector2.vector2 as again
assert again.__name__ == "vantor.vector2.vector2" and again.Vector2 is Vector2
try:
    Vector2(1, 2) + 1
except TypeError as e:
    import traceback
    assert traceback.extract_tb(e.__traceback__)[-1].name == "vantor.vector2.vector2.Vector2.__add__"
print("ok")
"""


class TestModuleState:
    def test_import_after_a_failed_execution_starts_again(self):
        r = run_python("-c", RETRY_AFTER_FAILED_EXECUTION)
        assert r.returncode == 0, r.stderr
        assert r.stdout.split() == ["ok"]

    def test_module_outlives_every_name_for_it(self):
        r = run_python("-c", MODULE_OUTLIVES_ITS_NAMES)
        assert r.returncode == 0, r.stderr
        assert r.stdout.split() == ["ok"]

    def test_method_function_objects_are_collector_tracked(self):
        import gc

        from vantor.color.color import Color
        from vantor.rect.rect import Rect

        # deferred reference counting applies only to tracked objects
        assert gc.is_tracked(Color.__dict__["tint"]) and gc.is_tracked(Rect.__dict__["get_width"])
