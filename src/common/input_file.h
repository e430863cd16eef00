#pragma once

#include "common/non_copyable.h"

#include <QFile>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrane {

// A file opened for sequential binary reading. Reads are unbuffered: callers read in large
// blocks of their own. A large file that is not in the page cache is read past it (see
// DirectOutput for why); one that is cached is read from the cache.
class InputFile : NonCopyable {
public:
    InputFile();
    ~InputFile();

    // False when the path cannot be opened for reading (missing, unreadable, not a regular file).
    bool open(const std::string& path);
    bool is_open() const { return m_file.isOpen(); }
    uint64_t size() const;
    bool seek(uint64_t offset);
    // What the reads answer on a read error.
    static constexpr int64_t kReadError = -1;

    // Reads up to `count` bytes; the number read (0 at the end of the file), or kReadError.
    int64_t read_some(void* destination, size_t count);
    // Reads as much of `count` bytes as the file still holds; the number read, or kReadError.
    int64_t read_up_to(void* destination, size_t count);
    // True only when exactly `count` bytes were read.
    bool read_exact(void* destination, size_t count);
    void close();
    // Whether the file is being read past the page cache.
    bool reads_directly() const { return m_direct != nullptr; }

private:
    struct DirectReading;
    void start_direct_reading_if_uncached();
    int64_t read_some_directly(void* destination, size_t count);
    bool leave_direct_mode();

    QFile m_file;
    std::unique_ptr<DirectReading> m_direct;
};

} // namespace kestrane
