#pragma once

#include <array>
#include <cstdint>

namespace kestrane {

using CompanyKey = std::array<uint8_t, 8>;

// The process-wide company key slot: keys the tag and fills the key block. It holds a built-in
// default until a company key is set, keeps the last key set, and is cleansed when the process
// ends.
void set_company_key(uint8_t k0, uint8_t k1, uint8_t k2, uint8_t k3, uint8_t k4, uint8_t k5,
                     uint8_t k6, uint8_t k7);
void set_company_key(const CompanyKey& key);
CompanyKey company_key();

// Overwrites a copy of a company key (or any key material) so that it does not linger in memory.
void cleanse_key(CompanyKey& key);

} // namespace kestrane
