"""The Colors palette: 152 named colours, each palette owning its own Color objects."""

import gc
import pickle
import traceback
import weakref

import pytest

from vantor.color.color import Color
from vantor.colors.colors import Colors

NAMES = [name for name, value in vars(Colors).items() if type(value).__name__ == "getset_descriptor"]


def rgba(c):
    return (c.r, c.g, c.b, c.a)


def test_palette_table():
    assert len(NAMES) == 152
    assert (NAMES[0], NAMES[8], NAMES[9], NAMES[-1]) == ("AliceBlue", "Blank", "BlanchedAlmond", "YellowGreen")
    p = Colors()
    assert all(type(getattr(p, n)) is Color for n in NAMES)
    assert [n for n in NAMES if getattr(p, n).a != 255] == ["Blank"]
    for name, value in [
        ("AliceBlue", (240, 248, 255, 255)),
        ("Blank", (0, 0, 0, 0)),
        ("YellowGreen", (154, 205, 50, 255)),
        ("MediumSlateBlue", (123, 104, 238, 255)),
        ("Aquamarine", (127, 255, 212, 255)),
        ("Maroon", (176, 48, 96, 255)),
        ("Purple", (160, 32, 240, 255)),
        ("Red", (255, 0, 0, 255)),
    ]:
        assert rgba(getattr(p, name)) == value, name


def test_twin_names_are_equal_but_distinct_objects():
    p = Colors()
    twins = [("Aqua", "Cyan"), ("Fuchsia", "Magenta"), ("Navy", "NavyBlue")]
    twins += [(n, n.replace("Gray", "Grey")) for n in NAMES if "Gray" in n]
    assert len(twins) == 10
    for a, b in twins:
        assert getattr(p, a) == getattr(p, b) and getattr(p, a) is not getattr(p, b)
    assert p.Red is p.Red and Colors().Red is not p.Red
    assert p.MediumSlateBlue != p.Aquamarine


def test_colours_are_shared_with_the_reader_and_init_remakes_them():
    p = Colors()
    red = p.Red
    red.g = 10
    p.Blue = Color(1, 2, 3)
    del p.Green
    assert rgba(p.Red) == (255, 10, 0, 255)
    p.__init__()
    assert rgba(p.Red) == (255, 0, 0, 255) and p.Red is not red
    assert rgba(p.Blue) == (0, 0, 255, 255) and rgba(p.Green) == (0, 128, 0, 255)


def test_assignment_and_deletion():
    class Mine(Color):
        pass

    p = Colors()
    mine = Mine(1, 2, 3)
    p.Red = mine
    assert p.Red is mine
    p.Red = None
    assert p.Red is None
    p.Blue = Color(9, 9, 9)
    del p.Blue
    assert p.Blue is None
    with pytest.raises(TypeError) as e:
        p.Green = (255, 0, 0)
    assert str(e.value) == "Cannot convert tuple to vantor.color.color.Color"
    assert ("src/vantor/colors/colors.cpp", "vantor.colors.colors.Colors.Green.__set__") in [
        (f.filename, f.name) for f in traceback.extract_tb(e.value.__traceback__)
    ]
    assert rgba(p.Green) == (0, 128, 0, 255)
    with pytest.raises(AttributeError):
        p.Chartreuse2 = Color(1, 2, 3)


def test_new_palette_holds_none_and_init_takes_no_arguments():
    p = Colors.__new__(Colors)
    assert all(getattr(p, n) is None for n in NAMES)
    with pytest.raises(TypeError) as e:
        Colors(1)
    assert str(e.value) == "__init__() takes exactly 0 positional arguments (1 given)"
    for kwargs in ({"x": 1}, {f"x{i}": 1 for i in range(40)}):
        with pytest.raises(TypeError) as e:
            Colors(**kwargs)
        assert str(e.value) == f"__init__() got an unexpected keyword argument '{next(iter(kwargs))}'"
    with pytest.raises(TypeError):
        pickle.dumps(Colors())


def test_cycle_through_a_colour_subclass_is_collected():
    class Back(Color):
        pass

    p = Colors()
    back = Back(1, 2, 3)
    back.palette = p
    p.Red = back
    alive = weakref.ref(back)
    del p, back
    gc.collect()
    assert alive() is None
