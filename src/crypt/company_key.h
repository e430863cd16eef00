#pragma once

#include <array>
#include <cstdint>

namespace kestrane {

// A company's key: keys the tag of its packages and fills their key block. It travels as a value
// from the company key file to every package made for the company.
using CompanyKey = std::array<uint8_t, 8>;

// Overwrites a copy of a company key (or any key material) so that it does not linger in memory.
void cleanse_key(CompanyKey& key);

} // namespace kestrane
