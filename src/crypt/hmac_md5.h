#pragma once

#include "common/non_copyable.h"

#include <openssl/types.h>

#include <array>
#include <cstddef>
#include <cstdint>

namespace kestrane {

namespace sealing {
inline constexpr size_t kTagSize = 16; // the HMAC-MD5 tag that closes an encrypted package
} // namespace sealing

using Tag = std::array<uint8_t, sealing::kTagSize>;

// Streaming HMAC-MD5 (RFC 2104), OpenSSL's; it cleanses its key-derived state when it goes. The constructor
// throws std::bad_alloc when memory runs out, std::runtime_error when OpenSSL offers no HMAC-MD5.
class HmacMd5 : NonCopyable {
public:
    HmacMd5(const uint8_t* key, size_t key_length);
    ~HmacMd5();
    void update(const void* data, size_t count);
    Tag finish();

private:
    EVP_MAC_CTX* m_context = nullptr;
};

} // namespace kestrane
