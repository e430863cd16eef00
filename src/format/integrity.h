#pragma once

#include <string>

namespace kestrane {

enum class IntegrityCheck {
    Passes,      // the trailer or tag matches
    Fails,       // it does not
    Truncated,   // the file is shorter or longer than its length field says
    Unreadable,  // the file cannot be opened or read
};

// Whether a tagged file's MD5 trailer matches its first 140 + L bytes (read once, streamed).
IntegrityCheck check_md5_trailer(const std::string& path);

} // namespace kestrane
