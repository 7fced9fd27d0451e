#include "values/qel_value_text.hpp"

#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "volume/qel_unit_dispatch.hpp"

namespace qel {

int32_t parse_int32_low_bits(const char* text) {
    if (!text) return 0;
    // strtoll gives 0 for no number and saturates instead of overflowing; the conversion to
    // uint32 keeps the low bits without undefined behaviour.
    const long long v = std::strtoll(text, nullptr, 10);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(v)));
}

bool parse_shift(const char* text, int unit, QelValue* shift) {
    if (!shift) return false;
    std::memset(shift->bytes, 0, sizeof shift->bytes);
    return dispatch_unit<bool>(unit, false, [&](auto tag) {
        using T = typename decltype(tag)::type;
        T v;
        if constexpr (std::is_same_v<T, float>) {
            v = text ? std::strtof(text, nullptr) : 0.0f;  // 0 when no number
        } else if constexpr (std::is_same_v<T, double>) {
            v = text ? std::strtod(text, nullptr) : 0.0;
        } else {
            // Integer units take the low 8, 16 or 32 bits of the int32 (a modular conversion).
            v = static_cast<T>(parse_int32_low_bits(text));
        }
        std::memcpy(shift->bytes, &v, sizeof v);
        return true;
    });
}

}  // namespace qel
