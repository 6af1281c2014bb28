# Cython declarations of vantor.vector2.vector2.Vector2 (C side: vantor/vector2/vector2.h).
#
#     from vantor.vector2.vector2 cimport Vector2
#     cdef Vector2 a = Vector2.new(1.0, 2.0)
#     cdef double d = a.dot(a)            # a direct call through the operation table
#     a.data.x += 1                       # the raylib record, float32
#
# Cython lays out the object and its operation table from these declarations: the record is the
# only field, and the methods are the table's entries in slot order with the header's C types.
# Entries are only ever appended, so new ones go at the end. The `cpdef` entries are also Python
# methods; Cython passes their trailing dispatch flag itself. No entry checks for None: pass
# Vector2 objects.

from vantor.raylib cimport RlVector2


cdef class Vector2:
    cdef RlVector2 data

    # Constructors: a new Vector2, or NULL with an exception set (MemoryError; IndexError or the
    # conversion's error for the list and tuple forms).
    @staticmethod
    cdef Vector2 new(double x, double y)
    @staticmethod
    cdef Vector2 cfrom_struct(RlVector2 v)
    @staticmethod
    cdef Vector2 cfrom_list(list l)
    @staticmethod
    cdef Vector2 cfrom_ints(int x, int y)
    @staticmethod
    cdef Vector2 cfrom_floats(float x, float y)
    @staticmethod
    cdef Vector2 cfrom_tuple(tuple t)
    @staticmethod
    cdef Vector2 cfrom_vector2(Vector2 other)
    @staticmethod
    cdef Vector2 cfrom_xy(double x, double y)

    # Arithmetic: _add and _sub make a new vector; the in-place forms only write the record.
    cdef Vector2 _add(self, Vector2 other)
    cdef Vector2 _sub(self, Vector2 other)
    cdef void _iadd(self, Vector2 other) noexcept
    cdef void _isub(self, Vector2 other) noexcept
    cdef void _imul(self, Vector2 other) noexcept
    cdef void _sadd(self, Vector2 a, Vector2 b) noexcept
    cpdef void sadd(self, Vector2 new_vec, Vector2 old_vec) except *

    cpdef tuple get_tuple(self)
    cdef tuple c_get_tuple(self)
    # to_* change this vector and return it; get_* return a new one.
    cpdef Vector2 to_round(self)
    cpdef Vector2 get_round(self)
    cpdef Vector2 to_abs(self)
    cpdef Vector2 get_abs(self)
    cpdef Vector2 to_neg(self)
    cpdef Vector2 get_neg(self)
    cpdef tuple get_int_tuple(self)
    cpdef tuple get_rounded_tuple(self)
    cpdef Vector2 copy(self)
    cpdef Vector2 to_normalized(self)
    cpdef Vector2 get_normalized(self)
    cpdef double distance_to(self, Vector2 other) noexcept
    cpdef double distance_squared_to(self, Vector2 other) noexcept
    cpdef double dot(self, Vector2 other) noexcept
