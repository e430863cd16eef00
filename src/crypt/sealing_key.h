#pragma once

#include <array>
#include <cstdint>

namespace kestrane {

// The built-in sealing key: an RSA-1024 public key with exponent 65537, chosen at build time
// (KESTRANE_SEALING_KEY). Only the receiving side holds the private half.
extern const std::array<uint8_t, 128> kSealingKeyModulus;
inline constexpr std::array<uint8_t, 3> kSealingKeyExponent = {0x01, 0x00, 0x01};

} // namespace kestrane
