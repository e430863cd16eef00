#pragma once

#include <string>

namespace kestrane {

// The operations of command-line mode. Each tells every outcome through show_message and answers
// whether it reached its success message ("Success encrypt"; "Wrapping success", or with a key
// "Encrypt success").

// Encrypts an existing wrapped file for the company of a company key file. `raw_arguments` is the
// command line as typed after the program name, shown when the file argument is missing.
bool run_encrypt_command(const std::string& file_path, const std::string& key_file,
                         const std::string& raw_arguments);

// Wraps a file or directory as the type named by `wrapping_word`, then, with a key, encrypts the
// wrapped file for that company.
bool run_wrap_command(const std::string& file_path, const std::string& wrapping_word, bool version_given,
                      const std::string& version, bool key_given, const std::string& key_file);

} // namespace kestrane
