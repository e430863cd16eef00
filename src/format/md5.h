#pragma once

#include "common/non_copyable.h"

#include <openssl/types.h>

#include <array>
#include <cstddef>
#include <cstdint>

namespace kestrane {

using Md5Digest = std::array<uint8_t, 16>;

// Streaming MD5 (RFC 1321), OpenSSL's.
class Md5 : NonCopyable {
public:
    // Throws std::bad_alloc when memory runs out, std::runtime_error when OpenSSL offers no MD5.
    Md5();
    ~Md5();

    void update(const void* data, size_t count);
    // The digest of everything updated so far; the object is spent afterwards.
    Md5Digest finish();

private:
    EVP_MD_CTX* m_context = nullptr;
};

} // namespace kestrane
