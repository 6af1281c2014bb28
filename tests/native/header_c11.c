/* The public headers compiled as C11: layout facts reported back to the C++ side of the client. */
#include <stddef.h>

#include "vector2/vector2.h"

_Static_assert(sizeof(VantorVector2VTable) == 31 * sizeof(void (*)(void)), "Vector2 table has 31 slots");

size_t vantor_c11_vector2_size(void) { return sizeof(VantorVector2Object); }
size_t vantor_c11_vector2_data_offset(void) { return offsetof(VantorVector2Object, data); }
size_t vantor_c11_vector2_table_size(void) { return sizeof(VantorVector2VTable); }
