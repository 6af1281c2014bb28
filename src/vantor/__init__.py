"""vantor: small mutable value types for 2-D and 3-D graphics, each holding a raylib struct."""

import os as _os

from vantor._build_info import raylib_version

__all__ = ["get_cmake_dir", "get_include", "get_pkgconfig_dir", "raylib_version"]

_here = _os.path.dirname(_os.path.abspath(__file__))


def get_include() -> str:
    """The folder from which <vantor/vector2/vector2.h> (and every other public header) and the
    <raylib.h> this vantor was built against resolve; the Python headers come from sysconfig."""
    return _os.path.join(_here, "include")


def get_cmake_dir() -> str:
    """The folder holding vantorConfig.cmake, for find_package(vantor) (target vantor::headers)."""
    return _os.path.join(_here, "cmake")


def get_pkgconfig_dir() -> str:
    """The folder holding vantor.pc, for PKG_CONFIG_PATH."""
    return _os.path.join(_here, "pkgconfig")
