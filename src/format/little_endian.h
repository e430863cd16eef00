#pragma once

#include <cstdint>

namespace kestrane {

inline void store_u32_le(uint8_t* destination, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        destination[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint32_t load_u32_le(const uint8_t* source)
{
    return static_cast<uint32_t>(source[0]) | static_cast<uint32_t>(source[1]) << 8
        | static_cast<uint32_t>(source[2]) << 16 | static_cast<uint32_t>(source[3]) << 24;
}

} // namespace kestrane
