"""What a Python user sees besides the values: docstrings with signatures the interpreter reads,
the examples in the class docstrings, pattern matching and the buffer protocol."""

import doctest
import gc
import importlib
import inspect
import struct

import pytest

from vantor._build_info import modules
from vantor.color.color import Color
from vantor.colors.colors import Colors
from vantor.rect.rect import Rect
from vantor.vector2.vector2 import Vector2
from vantor.vector3.vector3 import Vector3
from vantor.vector4.vector4 import Vector4

# Every type the package's modules define.
TYPES = [t for m in modules for t in vars(importlib.import_module(f"vantor.{m}.{m}")).values()
         if isinstance(t, type) and t.__module__ == f"vantor.{m}.{m}"]
NAMESPACE = {t.__name__: t for t in TYPES}


def members(cls):
    """The public callables and properties of a type, as (name, object) pairs."""
    for name, obj in vars(cls).items():
        if name.startswith("__") and name not in ("__copy__", "__deepcopy__", "__reduce__", "__setstate__"):
            continue
        if name == "__pyx_vtable__":
            continue
        yield name, obj


@pytest.mark.parametrize("cls", TYPES, ids=lambda t: t.__name__)
def test_every_member_is_documented_and_signatures_name_the_parameters_the_call_binds(cls):
    for name, obj in members(cls):
        func = obj.__func__ if isinstance(obj, staticmethod) else obj
        assert func.__doc__, name
        if inspect.isdatadescriptor(func):
            # Properties and swizzles: "name: type" first, then what it is.
            assert func.__doc__.startswith(f"{name}: "), name
            continue
        sig = inspect.signature(func)
        params = [p for p in sig.parameters.values() if p.name != "self"]
        if any(p.kind in (p.VAR_POSITIONAL, p.VAR_KEYWORD) for p in params):
            continue
        # Every named parameter can be passed by that keyword: a wrong name would be refused with
        # "got an unexpected keyword argument". Values of the wrong type fail later, as TypeError
        # naming the parameter or as a conversion error, never as a binding error.
        if isinstance(obj, staticmethod):
            receiver = ()
        elif cls.__new__ is object.__new__:  # made only by native code (Image)
            continue
        else:
            receiver = (cls.__new__(cls),)
        kwargs = {p.name: object() for p in params}
        try:
            func(*receiver, **kwargs)
        except TypeError as e:
            assert "keyword" not in str(e) and "positional" not in str(e), (name, e)
        except Exception:
            pass


@pytest.mark.parametrize("cls", [Vector2, Vector3, Vector4, Color, Rect, Colors], ids=lambda t: t.__name__)
def test_class_docstring_examples_run(cls):
    test = doctest.DocTestParser().get_doctest(cls.__doc__, dict(NAMESPACE), cls.__name__, None, 0)
    assert test.examples
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    assert runner.run(test, out=lambda text: None).failed == 0, cls.__doc__


def test_swizzle_docstrings_name_their_components():
    assert Vector2.yx.__doc__ == "yx: Vector2\n\nA new Vector2 of the components (y, x), read-only."
    for cls, n in ((Vector3, 3), (Vector4, 4)):
        letters = "xyzw"[:n]
        swizzles = [k for k in vars(cls) if len(k) == n and set(k) <= set(letters)]
        assert len(swizzles) == n**n
        for k in swizzles:
            assert f"components ({', '.join(k)})" in getattr(cls, k).__doc__


@pytest.mark.parametrize(
    "value, fields",
    [
        (Vector2(1, 2), ("x", "y")),
        (Vector3(1, 2, 3), ("x", "y", "z")),
        (Vector4(1, 2, 3, 4), ("x", "y", "z", "w")),
        (Color(1, 2, 3, 4), ("r", "g", "b", "a")),
        (Rect(1, 2, 3, 4), ("x", "y", "width", "height")),
    ],
)
def test_class_patterns_bind_the_fields_in_order(value, fields):
    assert type(value).__match_args__ == fields
    code = f"match value:\n    case {type(value).__name__}({', '.join(fields)}): found = ({', '.join(fields)},)"
    scope = dict(NAMESPACE, value=value)
    exec(code, scope)
    assert scope["found"] == tuple(getattr(value, f) for f in fields)


BUFFERS = [
    (lambda: Vector2(0.1, -2), "f", ("x", "y"), 3.5),
    (lambda: Vector3(1, 2, 3), "f", ("x", "y", "z"), 0.1),
    (lambda: Vector4(0.1, 2, 3, 4), "d", ("x", "y", "z", "w"), 0.1),
    (lambda: Color(1, 2, 3, 4), "B", ("r", "g", "b", "a"), 200),
    (lambda: Rect(1, 2, 3, 4), "f", ("x", "y", "width", "height"), -7.25),
]


@pytest.mark.parametrize("make, fmt, fields, new", BUFFERS, ids=lambda v: getattr(v, "__name__", None))
def test_buffer_views_the_value_itself(make, fmt, fields, new):
    value = make()
    view = memoryview(value)
    assert (view.format, view.ndim, view.shape, view.itemsize, view.readonly) == (
        fmt, 1, (len(fields),), struct.calcsize(fmt), False)
    assert view.tolist() == [getattr(value, f) for f in fields]
    assert view.c_contiguous and view.nbytes == len(fields) * struct.calcsize(fmt)
    # Writes go both ways: through the view into the value, and from the value into the view.
    view[-1] = new
    assert getattr(value, fields[-1]) == struct.unpack(fmt, struct.pack(fmt, new))[0]
    setattr(value, fields[0], 9)
    assert view[0] == 9
    # Bytes without a format are the record's bytes; a cast view sees the same memory.
    assert bytes(value) == struct.pack(f"{len(fields)}{fmt}", *view.tolist())
    assert view.cast("B").tolist() == list(bytes(value))


def test_an_exported_buffer_keeps_its_object_alive():
    view = memoryview(Vector4(1, 2, 3, 4))
    gc.collect()
    assert view.obj == Vector4(1, 2, 3, 4)
    view[3] = 8.0
    assert view.obj.w == 8.0
    view.release()


def test_numpy_views_share_memory_with_the_value():
    numpy = pytest.importorskip("numpy")
    v = Vector2(3, 4)
    a = numpy.asarray(v)
    assert a.dtype == numpy.float32 and a.shape == (2,)
    a *= 2
    assert v == Vector2(6, 8)
    c = Color(10, 20, 30, 40)
    numpy.asarray(c)[:] = [1, 2, 3, 4]
    assert c == Color(1, 2, 3, 4)
