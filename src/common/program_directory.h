#pragma once

#include <string>

namespace kestrane {

// The directory of the running executable (its full path cut by the parent-directory rule).
// Files that lie next to the program are joined to it: the private profile file, the default
// company key files and the archiver.
std::string program_directory();

// Overrides the program directory (start-up sets it once; tests point it at a temporary folder).
// An empty path returns to the directory of the running executable.
void set_program_directory(const std::string& directory);

} // namespace kestrane
