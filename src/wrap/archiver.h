#pragma once

#include "wrap/wrapped_file_writer.h"

#include <QTemporaryFile>

#include <string>

namespace kestrane {

// The archiver that packs a directory: `tar` in the program directory, else the system's `tar`
// found on PATH (on Windows `tar.exe` beside the program, else the one in System32). Empty when
// there is neither.
std::string archiver_program();

// The temporary archive of one directory wrap: `<destination>.XXXXXX.tmp` (six random characters),
// created empty and exclusively beside the destination, so that wraps running at once never share
// one, and removed when the object goes, on every path.
class TemporaryArchive {
public:
    explicit TemporaryArchive(const std::string& destination);
    TemporaryArchive(const TemporaryArchive&) = delete;
    TemporaryArchive& operator=(const TemporaryArchive&) = delete;

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
int archive_directory(const std::string& directory, const std::string& archive_path);

} // namespace kestrane
