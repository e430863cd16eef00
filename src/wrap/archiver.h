#pragma once

#include <string>

namespace kestrane {

// The archiver that packs a directory: `tar` in the program directory, else the system's `tar`
// found on PATH. Empty when there is neither.
std::string archiver_program();

// Runs `<archiver> cvf <archive> .` with `directory` as the archiver's working directory (ours
// does not change) and waits for it to end; its output is discarded. A relative archive path is
// made absolute against our current directory first. True only when the archiver started, exited
// with status 0 and left the archive as a file.
bool archive_directory(const std::string& directory, const std::string& archive_path);

} // namespace kestrane
