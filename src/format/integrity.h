#pragma once

#include "format/md5.h"

#include <array>
#include <cstddef>
#include <cstdint>
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

// Checks a tagged file's length field and MD5 trailer while its bytes go by, in file order and in
// pieces of any size, so that whoever reads the file for another purpose checks it in the same
// pass. Not thread-safe: one thread at a time feeds it (handing it on through a lock is fine).
class Md5TrailerCheck {
public:
    void update(const uint8_t* data, size_t count);
    // After the last byte: Passes, Fails, or Truncated when the file is not exactly 156 + L bytes.
    IntegrityCheck result();

private:
    Md5 m_md5;
    std::array<uint8_t, 140> m_header{};
    std::array<uint8_t, 16> m_trailer{};
    uint64_t m_seen = 0;
    uint64_t m_covered = 0; // 140 + L, known once the header went by
};

} // namespace kestrane
