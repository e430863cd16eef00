#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrane {

// A file's size and the SHA-256 of its bytes in lower-case hexadecimal, as `sha256sum` prints it.
struct FileDigest {
    uint64_t size = 0;
    std::string sha256;
};

// Reads the whole file once (OpenSSL's SHA-256). Nothing when it cannot be opened or read.
std::optional<FileDigest> sha256_of_file(const std::string& path);

} // namespace kestrane
