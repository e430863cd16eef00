#pragma once

#include "cli/info_report.h"
#include "ops/run_record.h"

#include <cstdio>
#include <string>

namespace kestrane {

// The operations a build server needs besides wrapping and encrypting. Each answers whether
// everything it did succeeded.

// Prints the header summary of a file, one labelled field a line (its name under "File" first), then its integrity: the MD5
// trailer of a plain tagged file; the body length of an encrypted package and, with a company key
// file, whether its tag verifies; then what it holds (print_info). Everything goes to `out`.
bool run_info_command(const std::string& file_path, bool key_given, const std::string& key_file, std::FILE* out,
                      InfoFormat format = InfoFormat::Text);

struct GenkeyCommand {
    std::string digits; // 12 hexadecimal digits, or "random"
    std::string company;
    std::string destination;
    bool force = false; // replace an existing file
};

// Writes a company key file as the generator dialog does, from 12 key digits or "random" (which
// draws them from the secure generator and prints them to `out` when it is a terminal; otherwise
// a message says they are in the key file only). An existing destination is refused unless forced.
bool run_genkey_command(const GenkeyCommand& command, std::FILE* out);

// Scans a directory of encrypted packages, packs the admitted ones and, with a company key file,
// encrypts the package file for that company. A record, when given, learns what the run read and wrote.
bool run_pack_command(const std::string& directory, bool version_given, const std::string& version, bool dest_given,
                      const std::string& destination, bool key_given, const std::string& key_file,
                      RunRecord* record = nullptr);

} // namespace kestrane
