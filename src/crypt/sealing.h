#pragma once

// Sealing with the built-in key, and everything that goes with it (the company key, the tag,
// the random generator, MD5): including this header keeps including all of them.
#include "common/non_copyable.h"
#include "crypt/company_key.h"
#include "crypt/hmac_md5.h"
#include "crypt/secure_random.h"
#include "format/md5.h"

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
} // namespace sealing

// Failures of seal_data (on success they return the number of bytes written).
inline constexpr int64_t kSealChunkFailed = -1;      // sealing a full 116-byte chunk failed
inline constexpr int64_t kSealFinalChunkFailed = -2; // sealing the final (partial or empty) chunk failed
inline constexpr int64_t kSealKeySetupFailed = -3;   // the sealing key could not be set up

// Failure of make_key_block (on success it returns 128).
inline constexpr int kKeyBlockFailed = -1;

// Output sizes for n input bytes: sealed as seal_data does, and with every chunk sealed, the last
// one possibly empty (as a brand file's payload is).
uint64_t seal_data_size(uint64_t n);
uint64_t seal_all_size(uint64_t n);

// Seals the first 9 chunks of n bytes and copies the rest unchanged: seal_data_size(n) bytes
// written, or one of the failures above.
int64_t seal_data(const uint8_t* source, uint8_t* destination, uint64_t n);

// Seals chunks one at a time, for callers that stream: each chunk of at most 116 bytes becomes
// one 128-byte block. False (after the library's code is printed) when sealing failed.
class ChunkSealer : NonCopyable {
public:
    ChunkSealer();
    ~ChunkSealer();

    bool ready() const;
    bool seal(const uint8_t* chunk, size_t length, uint8_t* block);

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

// Writes the 128-byte sealed key block for the given company key: 128, or kKeyBlockFailed.
int make_key_block(const CompanyKey& key, uint8_t* destination);

} // namespace kestrane
