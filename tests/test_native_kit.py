"""What the installed package gives native clients: one include folder with every public header and
the raylib.h it was built against (with its version and licence), the CMake and pkg-config files
that point at it, and the headers' type imports and checks. The example clients are built from
these by scripts/check-clients."""

import os
import re
import sys
import types

import pytest

import vantor
import vantor._testclient as client
from conftest import run_python
from vantor._build_info import modules
from vantor.color.color import Color
from vantor.image.image import Image
from vantor.rect.rect import Rect
from vantor.runecell.runecell import GlyphInfo
from vantor.vector2.vector2 import Vector2
from vantor.vector3.vector3 import Vector3
from vantor.vector4.vector4 import Vector4

PACKAGE = os.path.dirname(vantor.__file__)
# The build installs a module's public header <m>.h beside it when its source folder has one.
MODULES_WITH_HEADERS = [m for m in modules if os.path.isfile(os.path.join(PACKAGE, m, f"{m}.h"))]


def test_include_folder_holds_the_headers_raylib_and_its_licence():
    include = vantor.get_include()
    # Every module but the palette publishes a header, and the include folder holds those and the
    # type import they share alone.
    assert [m for m in modules if m not in MODULES_WITH_HEADERS] == ["colors"]
    assert sorted(os.listdir(os.path.join(include, "vantor"))) == sorted(MODULES_WITH_HEADERS + ["typeimport.h"])
    for m in MODULES_WITH_HEADERS:
        with open(os.path.join(include, "vantor", m, f"{m}.h"), "rb") as a, open(os.path.join(PACKAGE, m, f"{m}.h"), "rb") as b:
            assert a.read() == b.read(), m
    # The type import every header includes as ../typeimport.h, from either place.
    with open(os.path.join(include, "vantor", "typeimport.h"), "rb") as a, open(os.path.join(PACKAGE, "typeimport.h"), "rb") as b:
        assert a.read() == b.read()
    with open(os.path.join(include, "raylib.h")) as f:
        header = f.read()
    assert re.search(r'#define RAYLIB_VERSION\s+"' + re.escape(vantor.raylib_version) + '"', header)
    with open(os.path.join(include, "raylib-LICENSE.txt")) as f:
        licence = f.read()
    assert f"raylib {vantor.raylib_version}" in licence and "This notice may not be removed" in licence


def test_cmake_and_pkg_config_files_point_at_the_include_folder():
    cmake_dir, pc_dir = vantor.get_cmake_dir(), vantor.get_pkgconfig_dir()
    with open(os.path.join(cmake_dir, "vantorConfig.cmake")) as f:
        config = f.read()
    assert "vantor::headers" in config and f'"{vantor.raylib_version}"' in config
    assert os.path.isfile(os.path.join(cmake_dir, "vantorConfigVersion.cmake"))
    with open(os.path.join(pc_dir, "vantor.pc")) as f:
        pc = f.read()
    # Relative to the .pc file, so the package can move; Python's own .pc gives its headers.
    assert "prefix=${pcfiledir}/.." in pc and "Cflags: -I${includedir}" in pc
    assert f"Requires: python-{sys.version_info[0]}.{sys.version_info[1]}{sys.abiflags}" in pc
    assert os.path.realpath(os.path.join(pc_dir, "..", "include")) == os.path.realpath(vantor.get_include())


def test_python_m_vantor_prints_the_paths():
    for option, expected in [("--include", vantor.get_include()), ("--cmake-dir", vantor.get_cmake_dir()),
                             ("--pkgconfig-dir", vantor.get_pkgconfig_dir()), ("--raylib-version", vantor.raylib_version)]:
        r = run_python("-m", "vantor", option)
        assert (r.returncode, r.stdout.strip()) == (0, expected), (option, r.stderr)
    r = run_python("-m", "vantor", "--no-such-option")
    assert r.returncode == 2 and "usage:" in r.stderr


IMPORTED = {"vector2": Vector2, "vector3": Vector3, "vector4": Vector4, "color": Color, "rect": Rect,
            "image": Image, "runecell": GlyphInfo}


class TestHeaderImports:
    """vantor_import_<module>() and Vantor<Type>_Check() as a client compiled against the headers
    calls them; a failed import must leave the client's outputs as they were."""

    @pytest.mark.parametrize("kind", IMPORTED)
    def test_import_gives_the_type_and_its_table(self, kind):
        assert client.import_again(kind) == (IMPORTED[kind], True)

    def test_failed_import_sets_an_exception_and_leaves_both_outputs(self, monkeypatch):
        size = client.layout()["color"][0]

        class Small:
            pass

        class NoTable(Color):  # large enough, but the table is looked up in the type's own dict
            pass

        class BadTable(Color):
            __pyx_vtable__ = 5

        def module(**attrs):
            fake = types.ModuleType("vantor.color.color")
            fake.__dict__.update(attrs)
            return fake

        cases = [(module(Color=Small), ValueError, "vantor.color.color.Color size changed, may indicate binary "
                  f"incompatibility. Expected {size} from C header, got {Small.__basicsize__} from PyObject"),
                 (module(Color=NoTable), KeyError, "__pyx_vtable__"),
                 (module(Color=BadTable), ValueError, "invalid PyCapsule"),
                 (module(Color=Color(1, 2, 3)), TypeError, "vantor.color.color.Color is not a type object"),
                 (module(), AttributeError, "Color"), (None, ModuleNotFoundError, "vantor.color.color")]
        for fake, error, text in cases:
            monkeypatch.setitem(sys.modules, "vantor.color.color", fake)
            with pytest.raises(error, match=re.escape(text)):
                client.import_again("color")
        assert client.check("color", Color(1, 2, 3))  # the check still has the type imported before

    def test_check_accepts_subclasses_and_refuses_other_types(self):
        class Tint(Color):
            pass

        class Area(Rect):
            pass

        accepted = [("color", Color(1, 2, 3)), ("color", Tint(1, 2, 3)), ("rect", Area(0, 0, 1, 1)),
                    ("vector2", Vector2(1, 2)), ("vector4", Vector4(1, 2, 3, 4))]
        refused = [("color", Vector4(1, 2, 3, 4)), ("color", (1, 2, 3)), ("rect", Vector4(0, 0, 1, 1)),
                   ("vector2", Vector3(1, 2, 3)), ("vector3", Vector2(1, 2)), ("image", Tint(1, 2, 3)),
                   ("runecell", None), ("color", Color)]
        assert [client.check(kind, o) for kind, o in accepted] == [True] * len(accepted)
        assert [client.check(kind, o) for kind, o in refused] == [False] * len(refused)
