# Cython declarations of vantor.image.image.Image (C side: vantor/image/image.h).
#
#     from vantor.image.image cimport Image
#     cdef Image img = Image.new(raw)             # or Image.new(raw, 1) to set the flag
#
# An Image wraps a raylib Image by value and never frees, copies or writes the pixels it points
# to: whoever made them keeps them alive while the Image can reach them. Cython lays out the object
# and its operation table from these declarations.

from vantor.raylib cimport RlImage


cdef class Image:
    cdef RlImage _raw
    cdef int flag

    # A new Image; NULL with ValueError for a negative size or mipmap count. The optional flag
    # travels in Cython's optional-argument record, which is the table's (count, value) record.
    @staticmethod
    cdef Image new(RlImage image, int flag=*)
