# Cython declarations of vantor.vector4.vector4.Vector4 (C side: vantor/vector4/vector4.h).
#
#     from vantor.vector4.vector4 cimport Vector4
#     cdef Vector4 q = Vector4.new(1.0, 2.0, 3.0, 4.0)
#     q.data.w                            # the record: four doubles, not raylib's float Vector4
#
# Cython lays out the object and its operation table from these declarations: the record is the
# only field, and the methods are the table's entries in slot order with the header's C types.
# Entries are only ever appended, so new ones go at the end. The `cpdef` entries are also Python
# methods; Cython passes their trailing dispatch flag itself. No entry checks for None: pass
# Vector4 objects.

cdef extern from "vantor/vector4/vector4.h":
    ctypedef struct VantorVector4Data:
        double x
        double y
        double z
        double w


cdef class Vector4:
    cdef VantorVector4Data data

    # Constructors: a new Vector4, or NULL with an exception set (MemoryError; IndexError or the
    # conversion's error for the list and tuple forms).
    @staticmethod
    cdef Vector4 new(double x, double y, double z, double w)
    @staticmethod
    cdef Vector4 cfrom_list(list l)
    @staticmethod
    cdef Vector4 cfrom_ints(int x, int y, int z, int w)
    @staticmethod
    cdef Vector4 cfrom_floats(float x, float y, float z, float w)
    @staticmethod
    cdef Vector4 cfrom_tuple(tuple t)
    @staticmethod
    cdef Vector4 cfrom_vector4(Vector4 other)
    @staticmethod
    cdef Vector4 cfrom_xyzw(double x, double y, double z, double w)

    # Arithmetic: _add and _sub make a new vector; the in-place forms only write the record.
    cdef Vector4 _add(self, Vector4 other)
    cdef Vector4 _sub(self, Vector4 other)
    cdef void _iadd(self, Vector4 other) noexcept
    cdef void _isub(self, Vector4 other) noexcept
    cdef void _imul(self, Vector4 other) noexcept
    cdef void _sadd(self, Vector4 a, Vector4 b) noexcept
    cpdef void sadd(self, Vector4 new_vec, Vector4 old_vec) except *

    cpdef tuple get_tuple(self)
    cdef tuple c_get_tuple(self)
    # to_* change this vector and return it; get_* return a new one.
    cpdef Vector4 to_round(self)
    cpdef Vector4 get_round(self)
    cpdef Vector4 to_abs(self)
    cpdef Vector4 get_abs(self)
    cpdef Vector4 to_neg(self)
    cpdef Vector4 get_neg(self)
    cpdef tuple get_int_tuple(self)
    cpdef tuple get_rounded_tuple(self)
    cpdef Vector4 copy(self)
    cpdef Vector4 to_normalized(self)
    cpdef Vector4 get_normalized(self)
    cpdef double distance_to(self, Vector4 other) noexcept
    cpdef double distance_squared_to(self, Vector4 other) noexcept
    cpdef double dot(self, Vector4 other) noexcept
