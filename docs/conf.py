# Sphinx configuration of vantor's documentation site, built by scripts/build-docs.
#
# The API reference is written at build time from the built modules and their stubs
# (_ext/vantor_api.py); guides are reStructuredText whose examples run under the doctest builder;
# the native-client pages include the files of examples/ that scripts/check-clients builds.
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent / "_ext"))

project = "vantor"
author = "the vantor developers"
copyright = "2026, the vantor developers"

extensions = ["sphinx.ext.doctest", "vantor_api", "vantor_perf"]
exclude_patterns = ["_build"]
html_theme = "alabaster"
html_theme_options = {"description": "Small mutable value types for 2-D/3-D graphics", "fixed_sidebar": True}
html_sidebars = {"**": ["about.html", "navigation.html", "relations.html", "searchbox.html"]}
html_static_path = []
html_show_sourcelink = False

# Every reference must resolve and every warning fails the build (scripts/build-docs passes -W).
nitpicky = True
# Types resolved to another module show their short names, as the stubs write them.
python_use_unqualified_type_names = True
add_module_names = False
# Names from the standard library and typing that the signatures mention: there is no
# intersphinx inventory to resolve them against offline.
nitpick_ignore = [
    ("py:class", name)
    for name in (
        "object", "int", "float", "str", "bool", "bytes", "tuple", "list", "dict", "None", "type",
        "Sequence", "Iterable", "Iterator", "Generator", "Mapping", "Callable", "CapsuleType",
        "SupportsFloat", "SupportsIndex", "SupportsInt", "NoReturn", "ClassVar", "Buffer",
        "memoryview", "BaseException",
    )
]

# The doctest builder runs every example of every page, and the docstrings' own examples.
doctest_global_setup = """
from vantor.vector2.vector2 import Vector2
from vantor.vector3.vector3 import Vector3
from vantor.vector4.vector4 import Vector4
from vantor.color.color import Color
from vantor.colors.colors import Colors
from vantor.rect.rect import Rect
"""
