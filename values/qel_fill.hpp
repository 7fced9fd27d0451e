// Internal: the value QEL_FillMinimumOf... writes into each unit.
#pragma once
#include <cstdint>
#include <type_traits>

namespace qel {

template <class T>
constexpr T fill_minimum() {
    // The signed 32-bit minimum is one above INT32_MIN; the float units fill with 0.0.
    if constexpr (std::is_same_v<T, int8_t>) return -128;
    else if constexpr (std::is_same_v<T, int16_t>) return -32768;
    else if constexpr (std::is_same_v<T, int32_t>) return -2147483647;
    else return T(0);
}

}  // namespace qel
