#pragma once

#include "crypt/sealing.h"

#include <optional>
#include <string>
#include <vector>

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

// The files of a folder, in the order of their names, read as company key files: those that are
// (read once), and the paths of those that are not. Nothing when the folder cannot be listed.
struct FolderKeyFiles {
    std::vector<CompanyKeyFile> key_files;
    std::vector<std::string> others;
};
std::optional<FolderKeyFiles> company_key_files_in(const std::string& folder);

} // namespace kestrane
