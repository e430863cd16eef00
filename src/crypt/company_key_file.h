#pragma once

#include "common/io_policy.h"
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

// Results of write_company_key_file and read_company_key_file.
inline constexpr int kKeyFileOk = 1;
// Writer: the key text has an odd number of digits, more than 16, or a character that is not a
// hexadecimal digit (a line on standard error, no file).
inline constexpr int kKeyFileBadKeyText = -1;
// Writer: the destination cannot be created (an existing file stays untouched).
inline constexpr int kKeyFileCannotCreate = -2;
// Reader: the file cannot be opened.
inline constexpr int kKeyFileCannotOpen = -1;
// Reader: payload length outside 9..100, or the file ends before the declared name.
inline constexpr int kKeyFileBadPayload = -2;
// Reader: the type tag is not "VID0".
inline constexpr int kKeyFileNotCompanyKey = -3;
// Reader: the attribute tag is not "PLAN".
inline constexpr int kKeyFileNotPlain = -4;

// Writes the file from hexadecimal key text (an even number of digits, at most 16; bytes beyond
// the converted ones are zero).
int write_company_key_file(const std::string& hex_key, const std::string& company_name, const std::string& path,
                           IoPolicy& io = system_io());

// Reads the key and the company name (cut at an embedded zero byte). On failure key and name are
// untouched.
int read_company_key_file(const std::string& path, CompanyKey& key, std::string& company_name);

} // namespace kestrane
