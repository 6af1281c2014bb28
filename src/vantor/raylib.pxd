# raylib's value structs, as vantor's records and the parser's results use them.
#
# Each is declared once here, under an Rl* name so that it never collides with vantor's own type
# names (vantor.vector2.vector2.Vector2 is the Python type; RlVector2 is raylib's struct). The
# `cdef struct RlVector2 "Vector2"` form makes Cython spell the C type `struct Vector2`, which is
# also what the parser's exported signatures ("struct Vector2 (PyObject *)") say.
#
# The C side comes from the raylib.h installed with vantor: build with
# include_dirs=[vantor.get_include()].

cdef extern from "raylib.h":
    cdef struct RlVector2 "Vector2":
        float x
        float y

    cdef struct RlVector3 "Vector3":
        float x
        float y
        float z

    cdef struct RlColor "Color":
        unsigned char r
        unsigned char g
        unsigned char b
        unsigned char a

    cdef struct RlRectangle "Rectangle":
        float x
        float y
        float width
        float height

    # The pixels behind `data` belong to whoever made them; vantor never frees or writes them.
    cdef struct RlImage "Image":
        void *data
        int width
        int height
        int mipmaps
        int format

    cdef struct RlGlyphInfo "GlyphInfo":
        int value
        int offsetX
        int offsetY
        int advanceX
        RlImage image
