#pragma once

#include <QFile>
#include <QSaveFile>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kestrane {

// The path as Qt takes it. Qt holds file names as Unicode and encodes them as UTF-8: a path whose
// bytes are not valid UTF-8 cannot be named through Qt (its bytes would be replaced, naming another
// file), so it gives an empty QString, which no file operation accepts.
QString to_qpath(const std::string& path);
// Whether the path's bytes are valid UTF-8, that is whether to_qpath can name it.
bool is_representable_path(const std::string& path);

bool path_exists(const std::string& path);
bool is_directory(const std::string& path);
bool is_regular_file(const std::string& path);
bool remove_file(const std::string& path);

// A file opened for sequential binary reading. Reads are unbuffered: callers read in large
// blocks of their own. A large file that is not in the page cache is read past it (see
// DirectOutput for why); one that is cached is read from the cache.
class InputFile {
public:
    InputFile();
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False when the path cannot be opened for reading (missing, unreadable, not a regular file).
    bool open(const std::string& path);
    bool is_open() const { return m_file.isOpen(); }
    uint64_t size() const;
    bool seek(uint64_t offset);
    // Reads up to `count` bytes; the number read (0 at the end of the file), or -1 on a read error.
    int64_t read_some(void* destination, size_t count);
    // Reads as much of `count` bytes as the file still holds; the number read, or -1 on error.
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

enum class FileAccess { Default, OwnerOnly };

class DirectOutput;

// An output that replaces its destination atomically: bytes go to a temporary file beside the
// destination, which is renamed over it by commit(). Until then the destination is untouched;
// a file that is never committed leaves nothing behind. Every write is checked; the first
// failure sticks and makes commit() fail. Past its first MiB, where the file system allows, an
// output bypasses the page cache (see DirectOutput), so a write failure may show only at a later
// write or at commit().
class AtomicOutputFile {
public:
    explicit AtomicOutputFile(const std::string& path);
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    // False when the destination cannot be created (no temporary file can be made beside it).
    bool open(FileAccess access = FileAccess::Default);
    bool write(const void* data, size_t count);
    bool failed() const { return m_failed; }
    // Renames the finished file over the destination. False when a write failed or the rename
    // did not happen; nothing is left behind then.
    bool commit();
    void discard();

private:
    bool write_through_cache(const uint8_t* bytes, size_t count);
    void start_writeback();

    QSaveFile m_file;
    std::unique_ptr<DirectOutput> m_direct;
    bool m_failed = false;
    uint64_t m_written = 0;
    uint64_t m_written_back = 0; // bytes already handed to the disk
};

// Test seam: every AtomicOutputFile write after `bytes` bytes in total fails, as on a full disk.
// A negative value lifts the limit.
void set_output_write_limit_for_tests(int64_t bytes);

} // namespace kestrane
