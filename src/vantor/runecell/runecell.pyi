# Types of vantor.runecell.runecell, checked against the compiled module by scripts/check-typing.
from types import CapsuleType
from typing import ClassVar, NoReturn, Self

from typing_extensions import disjoint_base

# Native code makes filled glyphs (through the operation table); from Python only empty ones can
# be made, and the constructor ignores whatever it is given.
@disjoint_base
class GlyphInfo:
    __pyx_vtable__: ClassVar[CapsuleType]

    def __new__(cls, *args: object, **kwargs: object) -> Self: ...
    def __reduce__(self) -> NoReturn: ...
    def __setstate__(self, state: object) -> NoReturn: ...
