#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kestrane {

using Md5Digest = std::array<uint8_t, 16>;

// Streaming MD5 (RFC 1321). Hashing is what wrapping and encrypting spend their time on, so the
// compression function is our own, arranged for the shortest dependency chain per step; the
// general-purpose one in the crypto library is about an eighth slower.
class Md5 {
public:
    static constexpr size_t kBlockSize = 64;

    Md5();
    ~Md5(); // cleanses the state: inside HMAC-MD5 it is derived from the key
    void update(const void* data, size_t count);
    // The digest of everything updated so far; the object is spent afterwards.
    Md5Digest finish();

private:
    void compress(const uint8_t* blocks, size_t block_count);

    std::array<uint32_t, 4> m_state;
    std::array<uint8_t, kBlockSize> m_pending{};
    size_t m_pending_count = 0;
    uint64_t m_length = 0; // bytes updated so far
};

Md5Digest md5_of(const void* data, size_t count);

} // namespace kestrane
