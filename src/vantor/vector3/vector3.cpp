// vantor.vector3.vector3: the three-component single-precision vector, with the cross product.
#include "vector3.h"

#include "frame/module.hpp"
#include "vector/vector.hpp"

namespace {

using namespace vantor::frame;
using namespace vantor::vectors;

constexpr ModuleInfo info{"vector3", "vantor.vector3.vector3", "src/vantor/vector3/vector3.cpp",
                          "vantor.vector3.vector3.Vector3"};

struct Vector3Traits {
    using Object = VantorVector3Object;
    using Table = VantorVector3VTable;
    using Record = ::Vector3;
    using Scalar = float;
    static constexpr int N = 3;
    static constexpr const char* name = "Vector3";
    static constexpr char iterator_name[] = "vantor.vector3.vector3.Vector3Iterator";
    static constexpr const char* full_name = "vantor.vector3.vector3.Vector3";
    static constexpr const char* components[] = {"x", "y", "z"};
    static constexpr const char* letters = "xyz";
    static constexpr float ::Vector3::*members[] = {&::Vector3::x, &::Vector3::y, &::Vector3::z};
    // Lexicographic, except that xzy comes before xzx.
    static constexpr SwizzleName<3> swizzles[] = {
        {"xxx"}, {"xxy"}, {"xxz"}, {"xyx"}, {"xyy"}, {"xyz"}, {"xzy"}, {"xzx"}, {"xzz"},
        {"yxx"}, {"yxy"}, {"yxz"}, {"yyx"}, {"yyy"}, {"yyz"}, {"yzx"}, {"yzy"}, {"yzz"},
        {"zxx"}, {"zxy"}, {"zxz"}, {"zyx"}, {"zyy"}, {"zyz"}, {"zzx"}, {"zzy"}, {"zzz"},
    };
    static constexpr const char* example =
        ">>> v = Vector3(2, 3, 6)\n>>> v.length, v.zyx\n(7.0, Vector3(6.0, 3.0, 2.0))\n"
        ">>> Vector3(1, 0, 0).cross(Vector3(0, 1, 0))\nVector3(0.0, 0.0, 1.0)";
    static constexpr bool has_data = false;
    // The invalid-argument message names the type by str(type(obj).__name__).
    static constexpr bool type_name_as_attribute = true;
    static constexpr bool setitem_key_first = true;
    static constexpr const char* n_from_vector = "from_vector3";
    static constexpr const char* n_from_components = "from_xyz";
    static constexpr const char* n_cfrom_vector = "cfrom_vector3";
    static constexpr const char* n_cfrom_components = "cfrom_xyz";

    template <class V>
    static void fill_named(Table& t) {
        t.cfrom_vector3 = V::cfrom_vector;
        t.cfrom_xyz = V::cfrom_components;
    }
};

using V = Vector<Vector3Traits>;

// The stub\'s lines for the declared members, read from the built module by scripts/gen-stubs.
[[gnu::used]] constexpr auto stub = V::stub_text();

}  // namespace

PyMODINIT_FUNC PyInit_vector3() { return ModuleDefinition<V::steps>::init(info); }
