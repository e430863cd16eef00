#pragma once

#include "ops/file_facts.h"

#include <cstdio>
#include <string>

namespace kestrane {

// How -info tells what it found.
enum class InfoFormat {
    Text, // one labelled field a line
    Json, // one JSON object on one line
};

// What -info prints about a file: its header fields under "File" (the last path component), its
// checks, then what it holds. An facts that did not get that far prints the one message
// that says why, naming `file_path` or `key_file`.
void print_info(std::FILE* out, InfoFormat format, const FileFacts& facts, const std::string& file_path,
                const std::string& key_file);

} // namespace kestrane
