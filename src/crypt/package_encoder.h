#pragma once

#include "crypt/sealing.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrane {

// An encrypted package: bytes 0..139 of its input with the encrypt mode as attribute tag and the
// company name in the information field, the body length S, the body (the first 1044 bytes of the
// body source sealed into 1152, the rest copied; a package file's body copied whole), the sealed
// key block and an HMAC-MD5 tag over everything before it, keyed with the company key.
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

// Failures of a package build (PackageFanOut).
// Not a plain tagged file, malformed, body too long, or a company name over 16 bytes.
inline constexpr int kPackageRefused = -1;
// Sealing the body or the key block failed.
inline constexpr int kPackageSealingFailed = -2;
// A package's sink failed, or the body fell short of (or ran over) its announced length.
inline constexpr int kPackageSinkFailed = -3;

} // namespace kestrane
