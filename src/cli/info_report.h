#pragma once

#include "ops/file_facts.h"

#include <QJsonObject>

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

// How -info -json, and every other JSON the command line writes, holds a text that comes from a
// file or a path: the member `key` with the text, U+FFFD for each byte that is not UTF-8, and then a
// second member "<key>_hex" with the exact bytes in hexadecimal.
void put_text(QJsonObject& object, const QString& key, const std::string& bytes);
// The header fields as the members type, attribute, model, version and company.
void put_header(QJsonObject& object, const HeaderSummary& summary);

} // namespace kestrane
