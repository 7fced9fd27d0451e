// Internal: the one switch that turns a voxel unit code into an element type.
// Every per-unit family is written once as a template and reached through
// qel_dispatch_unit, in unit order 0..7.
#pragma once
#include <cstdint>
#include <type_traits>

namespace qel {

template <class T>
struct UnitTag {
    using type = T;
};

// Element type of each unit code, in code order.
template <int Unit> struct UnitType;
template <> struct UnitType<0> { using type = uint8_t; };
template <> struct UnitType<1> { using type = int8_t; };
template <> struct UnitType<2> { using type = uint16_t; };
template <> struct UnitType<3> { using type = int16_t; };
template <> struct UnitType<4> { using type = uint32_t; };
template <> struct UnitType<5> { using type = int32_t; };
template <> struct UnitType<6> { using type = float; };
template <> struct UnitType<7> { using type = double; };

// Calls fn(UnitTag<T>{}) with T the element type of unit; for an invalid unit returns
// `invalid`. fn's result type must be convertible to R.
template <class R, class Fn>
R dispatch_unit(int unit, R invalid, Fn&& fn) {
    switch (unit) {
        case 0: return fn(UnitTag<uint8_t>{});
        case 1: return fn(UnitTag<int8_t>{});
        case 2: return fn(UnitTag<uint16_t>{});
        case 3: return fn(UnitTag<int16_t>{});
        case 4: return fn(UnitTag<uint32_t>{});
        case 5: return fn(UnitTag<int32_t>{});
        case 6: return fn(UnitTag<float>{});
        case 7: return fn(UnitTag<double>{});
        default: return invalid;
    }
}

// Variant for functions that return nothing: returns false for an invalid unit.
template <class Fn>
bool dispatch_unit_void(int unit, Fn&& fn) {
    return dispatch_unit<bool>(unit, false, [&](auto tag) {
        fn(tag);
        return true;
    });
}

}  // namespace qel
