#pragma once

#include "format/md5.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace kestrane {

namespace sealing {
inline constexpr size_t kChunkSize = 116;  // plaintext bytes per sealed block
inline constexpr size_t kBlockSize = 128;  // one RSA-1024 block
inline constexpr size_t kChunkLimit = 9;   // seal_data seals at most this many full chunks
inline constexpr size_t kLimitedInput = kChunkSize * kChunkLimit;   // 1044
inline constexpr size_t kLimitedOutput = kBlockSize * kChunkLimit;  // 1152
inline constexpr size_t kKeyBlockSize = kBlockSize;
inline constexpr size_t kTagSize = 16;
} // namespace sealing

using CompanyKey = std::array<uint8_t, 8>;
using Tag = std::array<uint8_t, sealing::kTagSize>;

// Output sizes for n input bytes.
uint64_t seal_data_size(uint64_t n);
uint64_t seal_all_size(uint64_t n);

// Seals the first 9 chunks of n bytes and copies the rest unchanged. The number of bytes written
// (seal_data_size(n)), or -1 (a full chunk failed), -2 (the final chunk failed), -3 (key set-up).
int64_t seal_data(const uint8_t* source, uint8_t* destination, uint64_t n);

// Seals every chunk of n bytes, the last one possibly empty. Same results as seal_data.
int64_t seal_all(const uint8_t* source, uint64_t n, uint8_t* destination);

// Seals chunks one at a time, for callers that stream: each chunk of at most 116 bytes becomes
// one 128-byte block. False (after the library's code is printed) when sealing failed.
class ChunkSealer {
public:
    ChunkSealer();
    ~ChunkSealer();
    ChunkSealer(const ChunkSealer&) = delete;
    ChunkSealer& operator=(const ChunkSealer&) = delete;

    bool ready() const;
    bool seal(const uint8_t* chunk, size_t length, uint8_t* block);

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

// Writes the 128-byte sealed key block for the company key slot: 128, or -1 when sealing failed.
int make_key_block(uint8_t* destination);

// HMAC-MD5 (RFC 2104) of data with the given key.
void hmac_md5(const uint8_t* key, size_t key_length, const uint8_t* data, size_t length, uint8_t* tag);

// Streaming HMAC-MD5.
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

// Fills `destination` from the process's secure generator (CTR-DRBG seeded from the system's
// entropy). False when the generator failed.
bool secure_random_bytes(uint8_t* destination, size_t count);

// The process-wide company key slot: keys the tag and fills the key block.
void set_company_key(uint8_t k0, uint8_t k1, uint8_t k2, uint8_t k3, uint8_t k4, uint8_t k5,
                     uint8_t k6, uint8_t k7);
void set_company_key(const CompanyKey& key);
CompanyKey company_key();

} // namespace kestrane
