# Types of vantor.image.image, checked against the compiled module by scripts/check-typing.
from types import CapsuleType
from typing import ClassVar, NoReturn, final

# Made only by native code (through the operation table): Python cannot create one.
@final
class Image:
    __pyx_vtable__: ClassVar[CapsuleType]

    # @generated Image: begin
    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    @property
    def mipmaps(self) -> int: ...
    @property
    def format(self) -> int: ...
    # @generated Image: end
    def __reduce__(self) -> NoReturn: ...
    def __setstate__(self, state: object) -> NoReturn: ...
