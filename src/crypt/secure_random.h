#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrane {

// Fills `destination` from OpenSSL's CSPRNG (a DRBG seeded from the system's entropy), the source
// of generated company keys. False when the generator failed.
bool secure_random_bytes(uint8_t* destination, size_t count);

} // namespace kestrane
