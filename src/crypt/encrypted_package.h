#pragma once

#include "common/block_pipeline.h"
#include "common/file_io.h"
#include "crypt/sealing.h"
#include "format/integrity.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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
} // namespace package

enum class EncryptMode { Basic, New }; // "ENCR", "ENC1"

std::string_view encrypt_mode_tag(EncryptMode mode);

// Results of the builders and of encrypt_package.
inline constexpr int kPackageRefused = -1;       // not a plain tagged file, malformed, name too long
inline constexpr int kPackageSealingFailed = -2;

// Builds the package in memory; `output` must hold at least n + 508 bytes. The package size, or
// -1 when the input is refused (attribute tag not "PLAN", shorter than a tagged file, a payload
// length that does not fit, a company name over 16 bytes), -2 when sealing failed.
int64_t build_package_encr(const uint8_t* input, uint64_t n, uint8_t* output, const std::string& company_name);
int64_t build_package_enc1(const uint8_t* input, uint64_t n, uint8_t* output, const std::string& company_name);

// Encrypts the file at `input_path` into `output_path`, streaming it (bounded memory, each input
// byte read once). 1 written; -1 the builder refused or failed; -2 the input cannot be opened or
// read, or the output cannot be created (nothing is left then, an existing output is untouched).
int encrypt_package(const std::string& input_path, const std::string& output_path,
                    const std::string& company_name, bool use_enc1);

// The output an encryption proposes for an input: the input path, "-", the company name and ".enc"
// (".pkg" for a package file, type tag "PKG0").
std::string proposed_package_path(const std::string& input_path, const std::string& company_name,
                                  std::string_view type_tag);

// The body length S an encrypted package announces, when its file is exactly S + 284 bytes long.
std::optional<uint32_t> package_body_length(const std::string& path);

// Whether an encrypted package's tag is the HMAC-MD5 of everything before it under `key`.
IntegrityCheck check_package_tag(const std::string& path, const CompanyKey& key);

// Produces an encrypted package from a body source that arrives in pieces. Output bytes go to a
// sink in file order; the first 1044 body bytes are held back until they can be sealed.
class PackageEncoder {
public:
    using Sink = std::function<bool(const uint8_t* data, size_t count)>;

    explicit PackageEncoder(Sink sink);

    // `input_header`: the input's first 140 bytes. 1, or -1 when the input is refused.
    int begin(const uint8_t* input_header, EncryptMode mode, const std::string& company_name,
              uint64_t body_source_length);
    // False once the sink failed or more body bytes arrive than announced.
    bool append(const uint8_t* data, size_t count);
    // Writes the key block and the tag: the package size, -2 when sealing failed, -3 when the
    // sink failed or the body fell short of its announced length.
    int64_t finish();

private:
    bool emit(const uint8_t* data, size_t count);
    bool seal_held_back();

    Sink m_sink;
    CompanyKey m_key;
    HmacMd5 m_tag;
    BlockPipeline m_tagging; // feeds m_tag on a thread of its own; declared after it, so it stops first
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

// Encrypts a plain tagged file while it is being written: fed every byte of the file in order (a
// TaggedFileWriter's observer), it writes the encrypted package beside it, so that wrapping and
// encrypting read the source once. The company key slot must hold the company's key.
class PackageFollower {
public:
    using ModeForType = std::function<EncryptMode(std::string_view type_tag)>;

    PackageFollower(std::string output_path, std::string company_name, ModeForType mode_for_type);
    ~PackageFollower();
    PackageFollower(const PackageFollower&) = delete;
    PackageFollower& operator=(const PackageFollower&) = delete;

    void observe(const uint8_t* data, size_t count);
    // Completes the package after the whole file went by: 1 written; -1 refused; -2 the output
    // could not be written. Nothing is left behind on failure.
    int finish();

private:
    void begin();

    std::string m_output_path;
    std::string m_company_name;
    ModeForType m_mode_for_type;
    std::vector<uint8_t> m_header;
    int m_refused = 0;         // the builder's refusal, once the header was seen
    std::unique_ptr<AtomicOutputFile> m_output;
    std::unique_ptr<PackageEncoder> m_encoder;
};

} // namespace kestrane
