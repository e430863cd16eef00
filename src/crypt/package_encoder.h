#pragma once

#include "common/block_pipeline.h"
#include "common/non_copyable.h"
#include "crypt/sealing.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane {

// An encrypted package: bytes 0..139 of its input with the encrypt mode as attribute tag and the
// company name in the information field, the body length S, the body (the first 1044 bytes of the
// body source sealed into 1152, the rest copied; a package file's body copied whole), the sealed
// key block and an HMAC-MD5 tag over everything before it, keyed with the company key slot.
//
//   "ENCR": body source = input from offset 136 (length field, payload, MD5 trailer), L + 20 bytes
//   "ENC1": body source = the whole input
namespace package {
inline constexpr size_t kMaxCompanyName = 16;
inline constexpr size_t kOverhead = 140 + sealing::kKeyBlockSize + sealing::kTagSize; // 284
inline constexpr size_t kStreamBlock = size_t{1} << 20; // bytes read at a time from a file
} // namespace package

enum class EncryptMode { Basic, New }; // "ENCR", "ENC1"

std::string_view encrypt_mode_tag(EncryptMode mode);

// Where the body source starts in the input and how long it is.
struct BodySource {
    uint64_t offset = 0;
    uint64_t length = 0;
};

// True when the header describes a plain tagged file of exactly n bytes: its payload length
// accounts for the size whole, so that nothing after the trailer goes unchecked.
bool is_plain_tagged_file(const uint8_t* header, uint64_t n);

// The body source of an input of n bytes whose header is given, in the given mode.
BodySource body_source(const uint8_t* header, uint64_t n, EncryptMode mode);

// Failures of the builders and of PackageEncoder (on success: the package size, or 1 from begin).
// Not a plain tagged file, malformed, body too long, or a company name over 16 bytes.
inline constexpr int kPackageRefused = -1;
// Sealing the body or the key block failed.
inline constexpr int kPackageSealingFailed = -2;
// The encoder's sink failed, or the body fell short of (or ran over) its announced length.
inline constexpr int kPackageSinkFailed = -3;

// Builds the package in memory; `output` must hold at least n + 508 bytes. The package size,
// kPackageRefused (attribute tag not "PLAN", a payload length that does not account for the size
// exactly, an MD5 trailer that does not match, a company name over 16 bytes) or
// kPackageSealingFailed.
int64_t build_package_encr(const uint8_t* input, uint64_t n, uint8_t* output, const std::string& company_name);
int64_t build_package_enc1(const uint8_t* input, uint64_t n, uint8_t* output, const std::string& company_name);

// Produces an encrypted package from a body source that arrives in pieces. Output bytes go to a
// sink in file order; the first 1044 body bytes are held back until they can be sealed. The sink
// runs on a thread of its own beside the tag's digest and takes the package in blocks that start
// where blocks of the package start (BlockPipeline), all but the last the same size; the tag comes
// last, from finish()'s thread.
class PackageEncoder : NonCopyable {
public:
    using Sink = std::function<bool(const uint8_t* data, size_t count)>;

    explicit PackageEncoder(Sink sink);
    ~PackageEncoder();

    // `input_header`: the input's first 140 bytes. 1, kPackageRefused or kPackageSinkFailed.
    int begin(const uint8_t* input_header, EncryptMode mode, const std::string& company_name,
              uint64_t body_source_length);
    // False once more body bytes arrive than announced, or once a failed sink is known (a failure
    // shows at the latest at finish()).
    bool append(const uint8_t* data, size_t count);
    // Writes the key block and the tag: the package size, kPackageSealingFailed or
    // kPackageSinkFailed.
    int64_t finish();

private:
    bool emit(const uint8_t* data, size_t count);
    bool seal_held_back();

    Sink m_sink;
    CompanyKey m_key;
    HmacMd5 m_tag;
    BlockWriter m_writer; // writes to m_sink
    BlockPipeline m_blocks; // feeds m_tag and m_writer; declared after them, so it stops first
    bool m_copy_only = false;
    bool m_failed = false;
    bool m_sealing_failed = false;
    bool m_prefix_sealed = false;
    uint64_t m_body_source_length = 0;
    uint64_t m_body_received = 0;
    uint64_t m_written = 0;
    size_t m_sealed_prefix_length = 0; // body bytes sealed as one piece: min(1044, body length)
    std::vector<uint8_t> m_held_back;
};

} // namespace kestrane
