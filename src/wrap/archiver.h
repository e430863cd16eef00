#pragma once

#include "common/non_copyable.h"
#include "wrap/wrapped_file_writer.h"

#include <QTemporaryDir>
#include <QTemporaryFile>

#include <QProcess>

#include <cstdint>
#include <memory>
#include <string>

namespace kestrane {

// The archiver that packs a directory: `tar` in the program directory, else the system's `tar`
// found on PATH (on Windows `tar.exe` beside the program, else the one in System32). Empty when
// there is neither.
std::string archiver_program();

// The temporary archive of one directory wrap: `<destination>.XXXXXX.tmp` (six random characters),
// created empty and exclusively beside the destination, so that wraps running at once never share
// one, and removed when the object goes, on every path.
class TemporaryArchive : NonCopyable {
public:
    explicit TemporaryArchive(const std::string& destination);

    // False when no file could be created beside the destination.
    bool created() const { return !m_path.empty(); }
    const std::string& path() const { return m_path; }

private:
    QTemporaryFile m_file;
    std::string m_path;
};

// Runs `<archiver> cvf <archive> .` with `directory` as the archiver's working directory (ours
// does not change) and waits for it to end; its output is discarded. A relative archive path is
// made absolute against our current directory first. kWrapOk only when the archiver started,
// exited with status 0 and left the archive as a file with something in it (a tar archive is never
// empty: the archive is created empty beforehand); kOperationCancelled when the user cancelled
// (the archiver is ended and waited for); kWrapSourceUnreadable otherwise.
//
// With SOURCE_DATE_EPOCH set (a number of seconds since 1970), the archive depends on the files'
// names, contents and modes only (not on Windows): entries sorted by name, times after the epoch
// set to it, owner and group 0 by number, group and others' write permission dropped, no access
// or change times (GNU format).
// Long work is shown by `progress` (none: not shown).
int archive_directory(const std::string& directory, const std::string& archive_path,
                      ProgressPresenter* progress = nullptr);

// Results of ArchiveStream::start besides the wrap results.
// The archiver did not tell the archive's size beforehand: archive into a temporary file instead.
inline constexpr int kArchiveNotStreamable = 2;

// A directory's archive as the archiver writes it, with no archive on the disk: the archiver gets
// `cvf <archive> .` (and the options above), where the archive is a FIFO in a private temporary
// folder, and the wrapped file's writer reads it from there. The wrapped file announces its payload
// length before the payload, so a first pass of the archiver that reads no file's contents (GNU
// tar writing to the null device: it only looks at the files) tells the archive's size. Not on
// Windows.
class ArchiveStream : public PayloadStream, NonCopyable {
public:
    // The first pass is shown by `progress` (none: not shown).
    explicit ArchiveStream(std::string directory, ProgressPresenter* progress = nullptr);
    ~ArchiveStream() override;

    // Learns the archive's size, then starts the archiver on the FIFO. kWrapOk; kArchiveNotStreamable;
    // kOperationCancelled; kWrapSourceUnreadable when the archiver cannot be started.
    int start();
    uint64_t size() const { return m_size; }

    int64_t read_some(void* destination, size_t count, Progress& progress) override;
    int end(Progress& progress) override;

private:
    bool wait_for_data(Progress& progress);
    int stop_archiver(int result);

    std::string m_directory;
    ProgressPresenter* m_progress;
    QTemporaryDir m_folder;
    QProcess m_archiver;
    int m_fifo = -1;
    uint64_t m_size = 0;
};

} // namespace kestrane
