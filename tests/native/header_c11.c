/* The public headers compiled as C11: layout facts reported back to the C++ side of the client. */
#include <stddef.h>

#include "color/color.h"
#include "image/image.h"
#include "parser/parser.h"
#include "rect/rect.h"
#include "runecell/runecell.h"
#include "vector2/vector2.h"
#include "vector3/vector3.h"
#include "vector4/vector4.h"

_Static_assert(sizeof(VantorVector2VTable) == 31 * sizeof(void (*)(void)), "Vector2 table has 31 slots");
_Static_assert(sizeof(VantorVector3VTable) == 31 * sizeof(void (*)(void)), "Vector3 table has 31 slots");
_Static_assert(sizeof(VantorColorVTable) == 6 * sizeof(void (*)(void)), "Color table has 6 slots");
_Static_assert(sizeof(VantorRectVTable) == 14 * sizeof(void (*)(void)), "Rect table has 14 slots");
_Static_assert(sizeof(VantorVector4VTable) == 30 * sizeof(void (*)(void)), "Vector4 table has 30 slots");

#define LAYOUT(m, Object, record, Table)                                           \
    size_t vantor_c11_##m##_size(void) { return sizeof(Object); }                  \
    size_t vantor_c11_##m##_data_offset(void) { return offsetof(Object, record); } \
    size_t vantor_c11_##m##_table_size(void) { return sizeof(Table); }

LAYOUT(vector2, VantorVector2Object, data, VantorVector2VTable)
LAYOUT(vector3, VantorVector3Object, data, VantorVector3VTable)
LAYOUT(vector4, VantorVector4Object, data, VantorVector4VTable)
LAYOUT(color, VantorColorObject, _raw, VantorColorVTable)
LAYOUT(rect, VantorRectObject, _raw, VantorRectVTable)
LAYOUT(image, VantorImageObject, _raw, VantorImageVTable)
LAYOUT(runecell, VantorGlyphInfoObject, _raw, VantorGlyphInfoVTable)

_Static_assert(sizeof(GlyphInfo) == 40 && sizeof(Image) == 24, "raylib GlyphInfo and Image layouts");

/* The parser binding as a C client compiles it. */
int vantor_c11_import_parser(VantorParser *parser) { return vantor_import_parser(parser); }
