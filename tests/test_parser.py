"""The like-argument parsers, called from a native client bound through the public header."""

import math
import struct
import sys
import types

import pytest

import vantor._testclient as client
import vantor.parser.parser as parser_module
from vantor.color.color import Color
from vantor.rect.rect import Rect
from vantor.vector2.vector2 import Vector2
from vantor.vector4.vector4 import Vector4


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def ok(kind, arg):
    fields, exc = client.parse(kind, arg)
    assert exc is None, exc
    return fields


def refused(kind, arg, exc_type, msg=None):
    fields, exc = client.parse(kind, arg)
    assert set(fields) == {0}, "a failed parse returns an all-zero struct"
    assert type(exc) is exc_type, exc
    if msg is not None:
        assert str(exc) == msg
    return exc


class Seq:
    """A sequence that is neither a tuple nor a list."""

    def __init__(self, *items):
        self.items = items

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        return self.items[i]


class TestVector2Like:
    @pytest.mark.parametrize(
        "arg, expected",
        [
            ((1, 2), (1.0, 2.0)),
            ([0.1, 0.2], (f32(0.1), f32(0.2))),
            (range(2), (0.0, 1.0)),
            (b"\x01\x02", (1.0, 2.0)),
            (Seq(True, 1e39), (1.0, math.inf)),
            (type("T", (tuple,), {})((3, 4)), (3.0, 4.0)),
        ],
    )
    def test_accepted(self, arg, expected):
        assert ok("vector2", arg) == expected

    def test_package_object_bit_for_bit(self):
        v = Vector2(0.1, -0.0)
        x, y = ok("vector2", v)
        assert (x, struct.pack("d", y)) == (f32(0.1), struct.pack("d", -0.0))
        nan = Vector2(math.nan, math.inf)
        assert math.isnan(ok("vector2", nan)[0])

    @pytest.mark.parametrize(
        "arg, exc, msg",
        [
            ((1, 2, 3), ValueError, "tuple for vector2-like argument must have only 2 elements."),
            ([], ValueError, "list for vector2-like argument must have only 2 elements."),
            ("abc", ValueError, "sequence for vector2-like argument must have only 2 elements."),
            (Vector4(1, 2, 3, 4), ValueError, "sequence for vector2-like argument must have only 2 elements."),
            (type("T", (tuple,), {})((1, 2, 3)), ValueError, "sequence for vector2-like argument must have only 2 elements."),
            (5, TypeError, "vector2-like argument must be Vector2, or any sequence, got int."),
            (None, TypeError, "vector2-like argument must be Vector2, or any sequence, got NoneType."),
            ({"x": 1, "y": 2}, TypeError, "vector2-like argument must be Vector2, or any sequence, got dict."),
            ("ab", TypeError, None),
            ((1, "2"), TypeError, None),
            ((2**1024, 0), OverflowError, None),
        ],
    )
    def test_refused(self, arg, exc, msg):
        refused("vector2", arg, exc, msg)


class TestColorLike:
    @pytest.mark.parametrize(
        "arg, expected",
        [
            ((300, -5, 128), (255, 0, 128, 255)),
            ([1.9, 2.5, 3.99, 0], (1, 2, 3, 0)),
            (Vector4(1.9, 2, 3, 300), (1, 2, 3, 255)),
            (bytes([1, 2, 3]), (1, 2, 3, 255)),
            ((True, False, 2**31 - 1, -(2**31)), (1, 0, 255, 0)),
        ],
    )
    def test_accepted(self, arg, expected):
        assert ok("color", arg) == expected

    def test_package_object(self):
        assert ok("color", Color(1, 2, 3, 4)) == (1, 2, 3, 4)
        # a subclass is not exactly Color: it has no item access, so it is refused by name
        sub = type("Mine", (Color,), {})(1, 2, 3)
        refused("color", sub, TypeError, "color-like argument must be Color, or any sequence, got Mine.")

    @pytest.mark.parametrize(
        "arg, exc, msg",
        [
            ((1, 2), ValueError, "tuple for color-like argument must have only 3-4 elements."),
            ((1, 2, 3, 4, 5), ValueError, "tuple for color-like argument must have only 3-4 elements."),
            ([1, 2], ValueError, "list for color-like argument must have only 3-4 elements."),
            ("ab", ValueError, "sequence for color-like argument must have only 3-4 elements."),
            ((2**31, 0, 0), OverflowError, None),
            (("1", 0, 0), TypeError, "an integer is required"),
            ((0, 0, math.nan), ValueError, None),
            (1.5, TypeError, "color-like argument must be Color, or any sequence, got float."),
        ],
    )
    def test_refused(self, arg, exc, msg):
        refused("color", arg, exc, msg)


class TestRectLike:
    @pytest.mark.parametrize(
        "arg, expected",
        [
            ([1, 2, 3, 4], (1.0, 2.0, 3.0, 4.0)),
            ((0.1, 0, 0, -1e39), (f32(0.1), 0.0, 0.0, -math.inf)),
            (Vector4(1, 2, 3, 4), (1.0, 2.0, 3.0, 4.0)),
            (range(4), (0.0, 1.0, 2.0, 3.0)),
            (Rect(1, 2, 3, 4), (1.0, 2.0, 3.0, 4.0)),
        ],
    )
    def test_accepted(self, arg, expected):
        assert ok("rect", arg) == expected

    @pytest.mark.parametrize(
        "arg, exc, msg",
        [
            ((1, 2, 3), ValueError, "tuple for rect-like argument must have only 4 elements."),
            ([1, 2, 3, 4, 5], ValueError, "list for rect-like argument must have only 4 elements."),
            (3.5, TypeError, "rect_like argument must be Rect, tuple, or list, got float"),
            ({}, TypeError, "rect_like argument must be Rect, tuple, or list, got dict"),
            ([1, 2, None, 4], TypeError, None),
        ],
    )
    def test_refused(self, arg, exc, msg):
        refused("rect", arg, exc, msg)


def test_failures_carry_the_parser_traceback_entry():
    exc = refused("vector2", None, TypeError)
    names = []
    tb = exc.__traceback__
    while tb:
        names.append((tb.tb_frame.f_code.co_filename, tb.tb_frame.f_code.co_name))
        tb = tb.tb_next
    assert ("src/vantor/parser/parser.cpp", "vantor.parser.parser.parse_vector2_like") in names


def test_failed_materialisation_propagates():
    class Broken(Seq):
        def __iter__(self):
            raise KeyError("broken")

    refused("vector2", Broken(1, 2), KeyError)


def test_exported_table():
    capi = parser_module.__pyx_capi__
    assert list(capi) == ["parse_color_like", "parse_rect_like", "parse_vector2_like"]
    assert [type(c).__name__ for c in capi.values()] == ["PyCapsule"] * 3
    assert client.bind_parser("vantor.parser.parser") is True


@pytest.mark.parametrize(
    "capi, message",
    [
        (None, "fake_parser has no __pyx_capi__"),
        ({}, "fake_parser does not export parse_vector2_like"),
        ({"parse_vector2_like": 5}, 'fake_parser.parse_vector2_like has the signature "(not a capsule)", expected '
                                    '"struct Vector2 (PyObject *)"'),
        ({"parse_vector2_like": parser_module.__pyx_capi__["parse_rect_like"]},
         'fake_parser.parse_vector2_like has the signature "struct Rectangle (PyObject *)", expected '
         '"struct Vector2 (PyObject *)"'),
    ],
)
def test_binding_checks_names_and_signatures(capi, message):
    fake = types.ModuleType("fake_parser")
    if capi is not None:
        fake.__pyx_capi__ = capi
    sys.modules["fake_parser"] = fake
    try:
        with pytest.raises(ImportError) as e:
            client.bind_parser("fake_parser")
        assert str(e.value) == message
    finally:
        del sys.modules["fake_parser"]
