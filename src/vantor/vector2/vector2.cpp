// vantor.vector2.vector2: the two-component single-precision vector.
#include "vector2.h"

#include "frame/module.hpp"
#include "frame/vector.hpp"

namespace {

using namespace vantor::frame;

constexpr ModuleInfo info{"vector2", "vantor.vector2.vector2", "src/vantor/vector2/vector2.cpp",
                          "vantor.vector2.vector2.Vector2"};

constexpr char pickling_message[] =
    "Pickling of struct members such as self.data must be explicitly requested with @auto_pickle(True)";

struct Vector2Traits {
    using Object = VantorVector2Object;
    using Table = VantorVector2VTable;
    using Record = ::Vector2;
    using Scalar = float;
    static constexpr int N = 2;
    static constexpr const char* name = "Vector2";
    static constexpr const char* full_name = "vantor.vector2.vector2.Vector2";
    static constexpr const char* components[] = {"x", "y"};
    static constexpr const char* letters = "xy";
    static constexpr float ::Vector2::*members[] = {&::Vector2::x, &::Vector2::y};
    static constexpr SwizzleName<2> swizzles[] = {{"xx"}, {"yy"}, {"xy"}, {"yx"}};
    static constexpr bool has_data = true;
    static constexpr bool setitem_key_first = false;
    static constexpr const char* n_from_vector = "from_vector2";
    static constexpr const char* n_from_components = "from_xy";
    static constexpr const char* n_cfrom_vector = "cfrom_vector2";
    static constexpr const char* n_cfrom_components = "cfrom_xy";
    static PyMethodDef methods[];
};

using V = Vector<Vector2Traits>;

PyMethodDef Vector2Traits::methods[] = {
    V::static_def<V::py_from_vector>("from_vector2"),
    V::static_def<V::py_from_tuple>("from_tuple"),
    V::static_def<V::py_from_list>("from_list"),
    V::static_def<V::py_from_ints>("from_ints"),
    V::static_def<V::py_from_floats>("from_floats"),
    V::static_def<V::py_from_components>("from_xy"),
    V::def0<V::copy, V::n_dunder_copy>(),
    V::def<V::py_deepcopy>("__deepcopy__"),
    V::def<V::py_sadd>("sadd"),
    V::def0<V::get_tuple, V::n_get_tuple>(),
    V::def0<V::to_round, V::n_to_round>(),
    V::def0<V::get_round, V::n_get_round>(),
    V::def0<V::to_abs, V::n_to_abs>(),
    V::def0<V::get_abs, V::n_get_abs>(),
    V::def0<V::to_neg, V::n_to_neg>(),
    V::def0<V::get_neg, V::n_get_neg>(),
    V::def0<V::get_int_tuple, V::n_get_int_tuple>(),
    V::def0<V::get_rounded_tuple, V::n_get_rounded_tuple>(),
    V::def0<V::copy, V::n_copy>(),
    V::def0<V::to_normalized, V::n_to_normalized>(),
    V::def0<V::get_normalized, V::n_get_normalized>(),
    V::def_other<V::distance_to, V::n_distance_to>(),
    V::def_other<V::distance_squared_to, V::n_distance_squared_to>(),
    V::def_other<V::dot, V::n_dot>(),
    refuse_reduce_def<pickling_message>(),
    refuse_setstate_def<pickling_message>(),
    {nullptr, nullptr, 0, nullptr},
};

void fill_table(VantorVector2VTable& t) {
    t.new_ = V::new_;
    t.cfrom_struct = V::cfrom_struct;
    t.cfrom_list = V::cfrom_list;
    t.cfrom_ints = V::cfrom_ints;
    t.cfrom_floats = V::cfrom_floats;
    t.cfrom_tuple = V::cfrom_tuple;
    t.cfrom_vector2 = V::cfrom_vector;
    t.cfrom_xy = V::cfrom_components;
    t._add = V::_add;
    t._sub = V::_sub;
    t._iadd = V::_iadd;
    t._isub = V::_isub;
    t._imul = V::_imul;
    t._sadd = V::_sadd;
    t.sadd = V::sadd;
    t.get_tuple = V::get_tuple;
    t.c_get_tuple = V::c_get_tuple;
    t.to_round = V::to_round;
    t.get_round = V::get_round;
    t.to_abs = V::to_abs;
    t.get_abs = V::get_abs;
    t.to_neg = V::to_neg;
    t.get_neg = V::get_neg;
    t.get_int_tuple = V::get_int_tuple;
    t.get_rounded_tuple = V::get_rounded_tuple;
    t.copy = V::copy;
    t.to_normalized = V::to_normalized;
    t.get_normalized = V::get_normalized;
    t.distance_to = V::distance_to;
    t.distance_squared_to = V::distance_squared_to;
    t.dot = V::dot;
}

int publish(PyObject* module) {
    fill_table(V::table);
    return publish_type(module, &V::type_object, "Vector2", &V::table, V::hidden);
}

// The built-in `type`, checked against the type-object layout this module was compiled with.
PyTypeObject* builtin_type = nullptr;

int imports(PyObject*) {
    builtin_type = import_type("builtins", "type", sizeof(PyHeapTypeObject), nullptr);
    return builtin_type ? 0 : -1;
}

constexpr const char* builtins_used[] = {"staticmethod", "NotImplemented"};
constexpr ModuleSteps steps{builtins_used, publish, imports};

}  // namespace

PyMODINIT_FUNC PyInit_vector2() { return ModuleDefinition<steps>::init(info); }
