#pragma once

#include "crypt/sealing.h"

#include <string>

namespace kestrane {

// A company key file: tagged file "VID0"/"PLAN" whose payload is the 8 key bytes followed by the
// company name (1 to 92 bytes when read back). It holds a secret: it is created readable and
// writable by its owner only.
namespace company_key_file {
inline constexpr size_t kMinPayload = 9;
inline constexpr size_t kMaxPayload = 100;
inline constexpr size_t kMaxNameLength = kMaxPayload - 8; // 92
} // namespace company_key_file

// 0 to 15 for a hexadecimal digit, -1 for any other character.
int hex_digit_value(char c);

// Writes the file from hexadecimal key text (an even number of digits, at most 16; bytes beyond
// the converted ones are zero). 1 written; -1 bad key text (a line on standard error, no file);
// -2 the destination cannot be created (an existing file stays untouched).
int write_company_key_file(const std::string& hex_key, const std::string& company_name,
                           const std::string& path);

// Reads the key and the company name (cut at an embedded zero byte). 1 on success; -1 cannot be
// opened; -2 payload length outside 9..100 or the file ends before the declared name; -3 type tag
// is not "VID0"; -4 attribute tag is not "PLAN". On failure key and name are untouched.
int read_company_key_file(const std::string& path, CompanyKey& key, std::string& company_name);

bool is_company_key_file(const std::string& path);

} // namespace kestrane
