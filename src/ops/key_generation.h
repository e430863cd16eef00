#pragma once

#include "common/io_policy.h"
#include "ops/front_end.h"

#include <cstddef>
#include <functional>
#include <string>

namespace kestrane {

// The key digits a user gives: 12 hexadecimal digits, bytes 2 to 7 of the company key (bytes 0 and
// 1 are zero).
inline constexpr size_t kCompanyKeyDigits = 12;

struct KeyFileRequest {
    std::string digits;
    std::string company_name;
    std::string destination;
    // Draw the digits from the secure generator instead; `digits_drawn` is told them before the
    // file is written.
    bool draw_digits = false;
    std::function<void(const std::string& digits)> digits_drawn = {};
    // Refuse a destination that exists: a company key file in use is a secret devices depend on.
    bool keep_existing_destination = false;
};

// Results of generate_company_key_file.
inline constexpr int kKeyFileGenerated = 1;
// A field is missing or wrong; the message said which.
inline constexpr int kKeyFileRequestRefused = 0;
// The digits are not hexadecimal (write_company_key_file's code).
inline constexpr int kKeyDigitsNotHex = -1;
// The destination cannot be created (write_company_key_file's code), or the system ran short.
inline constexpr int kKeyGenerationCannotCreate = -2;
// The secure generator failed.
inline constexpr int kKeyDigitsNotDrawn = -3;
// The destination exists and the request keeps it: nothing was written.
inline constexpr int kKeyFileExists = -4;

// Checks the request and writes the company key file, telling every outcome: "Select target path",
// "Input brand", "Company name error" (over 16 bytes, not UTF-8, a control character, "/" or a
// backslash), "Company key file exists[path:%s]", "Invalid vid", "Fail with Error code[%d]", or
// "Success".
int generate_company_key_file(FrontEnd& front, const KeyFileRequest& request, IoPolicy& io = system_io());

} // namespace kestrane
