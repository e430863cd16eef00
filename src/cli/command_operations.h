#pragma once

#include "ops/run_record.h"

#include <optional>
#include <string>

namespace kestrane {

// The operations of command-line mode. Each tells every outcome through show_message and answers
// whether it reached its success message ("Success encrypt"; "Wrapping success", or with a key
// "Encrypt success").

// Encrypts an existing wrapped file for the company of a company key file, into `destination`
// when given, else beside the file. `raw_arguments` is the command line as typed after the
// program name, shown when the file argument is missing. A record, when given, learns what the run
// read and wrote.
bool run_encrypt_command(const std::string& file_path, const std::string& key_file, const std::string& raw_arguments,
                         const std::optional<std::string>& destination = {}, RunRecord* record = nullptr);

struct WrapCommand {
    std::string file_path;
    std::string wrapping_word;
    std::optional<std::string> version;     // none: from the image, or asked
    std::optional<std::string> key_file;    // encrypt the wrapped file for this company as well
    std::optional<std::string> destination; // the wrapped file; none: the file path + ".wrp"
    RunRecord* record = nullptr;            // learns what the run read and wrote
};

// Wraps a file or directory as the type named by the wrapping word, then, with a key, encrypts
// the wrapped file for that company beside the wrapped file.
bool run_wrap_command(const WrapCommand& command);

} // namespace kestrane
