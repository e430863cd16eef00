#pragma once

#include "crypt/sealing.h"

#include <optional>
#include <string>

namespace kestrane {

// The company named in a company key file, or nothing when the file is not one (no message).
std::optional<std::string> company_of_key_file(const std::string& key_file);

// A company key file as read once by an operation: the reader's result (1 when it was read, its
// negative code otherwise) and, when read, the key and the company name.
struct CompanyKeyFile {
    std::string path;
    int result = 0;
    CompanyKey key{};
    std::string company_name;

    bool read() const { return result > 0; }
};

CompanyKeyFile load_company_key_file(const std::string& key_file);

} // namespace kestrane
