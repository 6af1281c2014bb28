# Types of vantor.parser.parser, checked against the compiled module by scripts/check-typing.
# The module has no Python-level functions: it exports parse_color_like, parse_rect_like and
# parse_vector2_like to native modules, each in a capsule named by its C signature (parser.h).
from types import CapsuleType

__pyx_capi__: dict[str, CapsuleType]
