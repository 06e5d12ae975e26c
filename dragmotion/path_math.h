// Conversions from the doubles of path geometry to int32 pixels. Positions may
// come from files, so a value outside int32 (or not a number) is clamped
// instead of being converted with undefined behaviour.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace veltro {

// Truncates toward zero; NaN becomes 0 and values beyond int32 are clamped.
inline int32_t truncToInt(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

// Clamps a 64-bit value into int32.
inline int32_t clampToInt(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

}  // namespace veltro
