# Cython declarations of vantor.runecell.runecell.GlyphInfo (C side: vantor/runecell/runecell.h).
#
#     from vantor.runecell.runecell cimport GlyphInfo
#     cdef GlyphInfo g = GlyphInfo.new(raw)       # raw: an RlGlyphInfo
#     g.image._raw.width                          # its bitmap, wrapped in an Image
#
# Cython lays out the object and its operation table from these declarations. The pixels behind
# the glyph's image are never freed by vantor: the caller keeps owning them.

from vantor.image.image cimport Image
from vantor.raylib cimport RlGlyphInfo


cdef class GlyphInfo:
    cdef RlGlyphInfo _raw
    # The Image wrapping _raw.image, or None for a GlyphInfo made from Python.
    cdef Image image

    # A new GlyphInfo holding a copy of the record, its bitmap wrapped in a new Image; NULL with
    # an exception set (ValueError for a negative image size).
    @staticmethod
    cdef GlyphInfo new(RlGlyphInfo raw)
