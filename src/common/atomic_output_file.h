#pragma once

#include "common/io_policy.h"

#include <QSaveFile>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrane {

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
    explicit AtomicOutputFile(const std::string& path, IoPolicy& io = system_io());
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    // False when the destination cannot be created (no temporary file can be made beside it), or
    // when something other than a regular file is at its path (see replaceable_by_file).
    bool open(FileAccess access = FileAccess::Default);
    bool write(const void* data, size_t count);
    bool failed() const { return m_failed; }
    // Renames the finished file over the destination. False when a write failed or the rename
    // did not happen; nothing is left behind then. A termination signal that arrives meanwhile
    // takes effect once the rename is done (see README: what a kill may leave).
    bool commit();
    // The part of commit() that may take long or fail for want of room: every byte written and on
    // the disk. False, with nothing left behind, when that failed; commit() then only renames.
    bool prepare_commit();
    void discard();

private:
    bool write_through_cache(const uint8_t* bytes, size_t count);
    void hand_written_bytes_to_disk();

    std::string m_path;
    IoPolicy& m_io;
    QSaveFile m_file;
    std::unique_ptr<DirectOutput> m_direct;
    bool m_failed = false;
    bool m_prepared = false;
    uint64_t m_written = 0;
    uint64_t m_written_back = 0; // bytes already handed to the disk
};

// Commits several outputs as one: each is prepared first, so that a failure while writing leaves
// none of them in place; then all are renamed, termination signals held until the last rename.
// Only a rename that fails after others succeeded (the system refusing a rename in a directory
// it let us write) can leave some in place. False, with the outputs not renamed discarded, on failure.
bool commit_together(const std::vector<AtomicOutputFile*>& outputs);

} // namespace kestrane
