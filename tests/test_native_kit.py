"""What the installed package gives native clients: one include folder with every public header and
the raylib.h it was built against (with its version and licence), and the CMake and pkg-config
files that point at it. The example clients are built from these by scripts/check-clients."""

import os
import re
import sys

import vantor
from conftest import run_python
from vantor._build_info import modules

PACKAGE = os.path.dirname(vantor.__file__)
# The build installs a module's public header <m>.h beside it when its source folder has one.
MODULES_WITH_HEADERS = [m for m in modules if os.path.isfile(os.path.join(PACKAGE, m, f"{m}.h"))]


def test_include_folder_holds_the_headers_raylib_and_its_licence():
    include = vantor.get_include()
    # Every module but the palette publishes a header, and the include folder holds those alone.
    assert [m for m in modules if m not in MODULES_WITH_HEADERS] == ["colors"]
    assert sorted(os.listdir(os.path.join(include, "vantor"))) == sorted(MODULES_WITH_HEADERS)
    for m in MODULES_WITH_HEADERS:
        with open(os.path.join(include, "vantor", m, f"{m}.h"), "rb") as a, open(os.path.join(PACKAGE, m, f"{m}.h"), "rb") as b:
            assert a.read() == b.read(), m
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
