# Cython declarations of vantor.color.color.Color (C side: vantor/color/color.h).
#
#     from vantor.color.color cimport Color
#     cdef Color c = Color.new(300, 128, -5, 255)   # each channel saturates: (255, 128, 0, 255)
#     c._raw.g                                      # the raylib record, one byte per channel
#
# Cython lays out the object and its operation table from these declarations: the record is the
# only field, and the methods are the table's entries in slot order with the header's C types.
# Entries are only ever appended, so new ones go at the end. Color can be subclassed in Python:
# called from Cython, the `cpdef` entries (fade, to_int) run a subclass's override, and report its
# failure as a pending exception, which Cython checks. No entry checks for None: pass Colors.

from vantor.raylib cimport RlColor
from vantor.vector4.vector4 cimport Vector4


cdef class Color:
    cdef RlColor _raw

    # A new Color, each channel saturated to 0..255; NULL with MemoryError.
    @staticmethod
    cdef Color new(int r, int g, int b, int a)
    # raylib's ColorIsEqual: 1 when all four channels are equal.
    cdef bint c_equal(self, Color other) noexcept
    # The channels as fractions of 255 in a new Vector4 (x, y, z, w for r, g, b, a).
    cdef Vector4 c_normalize(self)
    # A new Color, raylib's ColorTint: each channel self * tint / 255 rounded down.
    cdef Color c_tint(self, Color tint)
    # Sets alpha to 255 * alpha (clamped to 0..1, truncated), in place.
    cpdef void fade(self, float alpha) except *
    # raylib's ColorToInt: 0xRRGGBBAA as a C int (negative when red is 128 or more).
    cpdef int to_int(self) except? 0
