// vantor.vector2.vector2: the two-component single-precision vector.
#include "vector2.h"

#include "frame/module.hpp"
#include "vector/vector.hpp"

namespace {

using namespace vantor::frame;
using namespace vantor::vectors;

constexpr ModuleInfo info{"vector2", "vantor.vector2.vector2", "src/vantor/vector2/vector2.cpp",
                          "vantor.vector2.vector2.Vector2"};

struct Vector2Traits {
    using Object = VantorVector2Object;
    using Table = VantorVector2VTable;
    using Record = ::Vector2;
    using Scalar = float;
    static constexpr int N = 2;
    static constexpr const char* name = "Vector2";
    static constexpr char iterator_name[] = "vantor.vector2.vector2.Vector2Iterator";
    static constexpr const char* full_name = "vantor.vector2.vector2.Vector2";
    static constexpr const char* components[] = {"x", "y"};
    static constexpr const char* letters = "xy";
    static constexpr float ::Vector2::*members[] = {&::Vector2::x, &::Vector2::y};
    static constexpr SwizzleName<2> swizzles[] = {{"xx"}, {"yy"}, {"xy"}, {"yx"}};
    static constexpr const char* example =
        ">>> v = Vector2(3, 4)\n>>> v.length, v.yx, v * 2\n(5.0, Vector2(4.0, 3.0), Vector2(6.0, 8.0))\n"
        ">>> v.x = 0.1; v.x  # stored as float32\n0.10000000149011612";
    static constexpr bool has_data = true;
    // The invalid-argument message names the type by its internal name.
    static constexpr bool type_name_as_attribute = false;
    static constexpr bool setitem_key_first = false;
    static constexpr const char* n_from_vector = "from_vector2";
    static constexpr const char* n_from_components = "from_xy";
    static constexpr const char* n_cfrom_vector = "cfrom_vector2";
    static constexpr const char* n_cfrom_components = "cfrom_xy";

    template <class V>
    static void fill_named(Table& t) {
        t.cfrom_vector2 = V::cfrom_vector;
        t.cfrom_xy = V::cfrom_components;
    }
};

using V = Vector<Vector2Traits>;

// The stub\'s lines for the declared members, read from the built module by scripts/gen-stubs.
[[gnu::used]] constexpr auto stub = V::stub_text();

}  // namespace

PyMODINIT_FUNC PyInit_vector2() { return ModuleDefinition<V::steps>::init(info); }
