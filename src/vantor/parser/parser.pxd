# Cython declarations of the functions vantor.parser.parser exports (C side: vantor/parser/parser.h).
#
#     from vantor.parser.parser cimport parse_vector2_like
#     cdef RlVector2 v = parse_vector2_like((1, 2))
#
# Cython binds them through the module's __pyx_capi__ when the cimporting module is imported,
# checking each capsule's signature ("struct Vector2 (PyObject *)" and so on) against these
# declarations. Each borrows its argument: an object of exactly the package type, an exact tuple or
# list of an accepted length, or any other sequence. On failure it returns an all-zero struct with
# an exception set; `except *` makes Cython test for it after every call.

from vantor.raylib cimport RlColor, RlRectangle, RlVector2


# A Vector2, or two numbers each narrowed to float32.
cdef RlVector2 parse_vector2_like(object arg) except *
# A Color, or three or four C ints each saturated to 0..255 (alpha 255 when three).
cdef RlColor parse_color_like(object arg) except *
# A Rect, or four numbers each narrowed to float32.
cdef RlRectangle parse_rect_like(object arg) except *
