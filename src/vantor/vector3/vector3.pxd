# Cython declarations of vantor.vector3.vector3.Vector3 (C side: vantor/vector3/vector3.h).
#
#     from vantor.vector3.vector3 cimport Vector3
#     cdef Vector3 n = Vector3.new(1.0, 0.0, 0.0).cross(Vector3.new(0.0, 1.0, 0.0))
#     n.data.z                            # the raylib record, float32
#
# Cython lays out the object and its operation table from these declarations: the record is the
# only field, and the methods are the table's entries in slot order with the header's C types.
# Entries are only ever appended, so new ones go at the end. The `cpdef` entries are also Python
# methods; Cython passes their trailing dispatch flag itself. No entry checks for None: pass
# Vector3 objects.

from vantor.raylib cimport RlVector3


cdef class Vector3:
    cdef RlVector3 data

    # Constructors: a new Vector3, or NULL with an exception set (MemoryError; IndexError or the
    # conversion's error for the list and tuple forms).
    @staticmethod
    cdef Vector3 new(double x, double y, double z)
    @staticmethod
    cdef Vector3 cfrom_list(list l)
    @staticmethod
    cdef Vector3 cfrom_ints(int x, int y, int z)
    @staticmethod
    cdef Vector3 cfrom_floats(float x, float y, float z)
    @staticmethod
    cdef Vector3 cfrom_tuple(tuple t)
    @staticmethod
    cdef Vector3 cfrom_vector3(Vector3 other)
    @staticmethod
    cdef Vector3 cfrom_xyz(double x, double y, double z)

    # Arithmetic: _add and _sub make a new vector; the in-place forms only write the record.
    cdef Vector3 _add(self, Vector3 other)
    cdef Vector3 _sub(self, Vector3 other)
    cdef void _iadd(self, Vector3 other) noexcept
    cdef void _isub(self, Vector3 other) noexcept
    cdef void _imul(self, Vector3 other) noexcept
    cdef void _sadd(self, Vector3 a, Vector3 b) noexcept
    cpdef void sadd(self, Vector3 new_vec, Vector3 old_vec) except *

    cpdef tuple get_tuple(self)
    cdef tuple c_get_tuple(self)
    # to_* change this vector and return it; get_* return a new one.
    cpdef Vector3 to_round(self)
    cpdef Vector3 get_round(self)
    cpdef Vector3 to_abs(self)
    cpdef Vector3 get_abs(self)
    cpdef Vector3 to_neg(self)
    cpdef Vector3 get_neg(self)
    cpdef tuple get_int_tuple(self)
    cpdef tuple get_rounded_tuple(self)
    cpdef Vector3 copy(self)
    cpdef Vector3 to_normalized(self)
    cpdef Vector3 get_normalized(self)
    cpdef double distance_to(self, Vector3 other) noexcept
    cpdef double distance_squared_to(self, Vector3 other) noexcept
    cpdef double dot(self, Vector3 other) noexcept
    cpdef Vector3 cross(self, Vector3 other)
