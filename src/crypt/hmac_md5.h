#pragma once

#include "format/md5.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace kestrane {

namespace sealing {
inline constexpr size_t kTagSize = 16; // the HMAC-MD5 tag that closes an encrypted package
} // namespace sealing

using Tag = std::array<uint8_t, sealing::kTagSize>;

// HMAC-MD5 (RFC 2104) of data with the given key.
void hmac_md5(const uint8_t* key, size_t key_length, const uint8_t* data, size_t length, uint8_t* tag);

// Streaming HMAC-MD5. Its key-derived state is cleansed when it goes.
class HmacMd5 {
public:
    HmacMd5(const uint8_t* key, size_t key_length);
    ~HmacMd5();
    HmacMd5(const HmacMd5&) = delete;
    HmacMd5& operator=(const HmacMd5&) = delete;
    void update(const void* data, size_t count);
    Tag finish();

private:
    Md5 m_inner;
    std::array<uint8_t, Md5::kBlockSize> m_outer_pad{}; // the key XOR 0x5c, kept for finish()
};

} // namespace kestrane
