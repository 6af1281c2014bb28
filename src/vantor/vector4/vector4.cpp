// vantor.vector4.vector4: the four-component vector of doubles, with its 256 swizzles.
#include "vector4.h"

#include "frame/module.hpp"
#include "vector/vector.hpp"

namespace {

using namespace vantor::frame;
using namespace vantor::vectors;

constexpr ModuleInfo info{"vector4", "vantor.vector4.vector4", "src/vantor/vector4/vector4.cpp",
                          "vantor.vector4.vector4.Vector4"};

struct Vector4Traits {
    using Object = VantorVector4Object;
    using Table = VantorVector4VTable;
    using Record = VantorVector4Data;
    using Scalar = double;
    static constexpr int N = 4;
    static constexpr const char* name = "Vector4";
    static constexpr char iterator_name[] = "vantor.vector4.vector4.Vector4Iterator";
    static constexpr const char* full_name = "vantor.vector4.vector4.Vector4";
    static constexpr const char* components[] = {"x", "y", "z", "w"};
    static constexpr const char* letters = "xyzw";
    static constexpr double VantorVector4Data::*members[] = {&VantorVector4Data::x, &VantorVector4Data::y,
                                                             &VantorVector4Data::z, &VantorVector4Data::w};
    static constexpr auto swizzles = all_swizzles<4>("xyzw");
    static constexpr const char* example =
        ">>> v = Vector4(1, 2, 2, 4)\n>>> v.length, v.wzyx\n(5.0, Vector4(4.0, 2.0, 2.0, 1.0))\n"
        ">>> Vector4(0.1, 0, 0, 0).x  # stored as float64\n0.1";
    static constexpr bool has_data = false;
    // The invalid-argument message names the type by str(type(obj).__name__).
    static constexpr bool type_name_as_attribute = true;
    static constexpr bool setitem_key_first = false;
    static constexpr const char* n_from_vector = "from_vector4";
    static constexpr const char* n_from_components = "from_xyzw";
    static constexpr const char* n_cfrom_vector = "cfrom_vector4";
    static constexpr const char* n_cfrom_components = "cfrom_xyzw";

    template <class V>
    static void fill_named(Table& t) {
        t.cfrom_vector4 = V::cfrom_vector;
        t.cfrom_xyzw = V::cfrom_components;
    }
};

using V = Vector<Vector4Traits>;

// The stub\'s lines for the declared members, read from the built module by scripts/gen-stubs.
[[gnu::used]] constexpr auto stub = V::stub_text();

}  // namespace

PyMODINIT_FUNC PyInit_vector4() { return ModuleDefinition<V::steps>::init(info); }
