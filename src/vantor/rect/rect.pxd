# Cython declarations of vantor.rect.rect.Rect (C side: vantor/rect/rect.h).
#
#     from vantor.rect.rect cimport Rect
#     cdef Rect r = Rect.new(RlRectangle(0, 0, 10, 20))
#     if r.collide_point((10, 20)): ...           # edges are inside
#     r._raw.width                                # the raylib record, float32
#
# Cython lays out the object and its operation table from these declarations: the record is the
# only field, and the methods are the table's entries in slot order with the header's C types.
# Entries are only ever appended, so new ones go at the end. Rect can be subclassed in Python:
# called from Cython, the `cpdef` entries run a subclass's override. A collision test reports
# failure as 0 with an exception set, which Cython checks after every 0.

from vantor.raylib cimport RlRectangle
from vantor.vector2.vector2 cimport Vector2
from vantor.vector4.vector4 cimport Vector4


cdef class Rect:
    cdef RlRectangle _raw

    # A new Rect holding the record; NULL with MemoryError.
    @staticmethod
    cdef Rect new(RlRectangle r)
    # The size as Python floats (a subclass's override may return anything).
    cpdef object get_width(self)
    cpdef object get_height(self)
    # A point inside or on an edge: a Vector2, or a list or tuple of length 2.
    cpdef bint collide_point(self, object point) except? 0
    cpdef bint collide_point_vector2(self, Vector2 point) except? 0
    cpdef bint collide_point_tuple(self, tuple point) except? 0
    cpdef bint collide_point_list(self, list point) except? 0
    # Overlap, touching edges excluded: a Rect, a Vector4 (x, y, width, height), or a list or
    # tuple of length 4.
    cpdef bint collide_rect(self, object other) except? 0
    cpdef bint collide_rect_vector4(self, Vector4 other) except? 0
    cpdef bint collide_rect_rect(self, Rect other) except? 0
    cpdef bint collide_rect_tuple(self, tuple other) except? 0
    cpdef bint collide_rect_list(self, list other) except? 0
    # A new Vector4 (x, y, width, height) and a tuple of four floats; None from an override.
    cpdef Vector4 get_vector4(self)
    cpdef tuple get_tuple(self)
