#pragma once

#include "app/param_parser.h"

#include <optional>
#include <string>

namespace kestrane {

// The options of one start, as the parser left them.
struct CommandLine {
    std::string file_argument; // the last argument that is not an option ("" if none)
    bool key_given = false;
    std::string key_file;
    bool wrapping_given = false;
    std::string wrapping_word;
    bool version_given = false;
    std::string version;
};

// Parses the process arguments with the options "key", "wrapping" and "version" and the file
// argument. No value when the parse fails: a parse error is silent and leads to the dialogs.
std::optional<CommandLine> parse_command_line(int argc, const char* const* argv,
                                              OptionSyntax syntax = kNativeOptionSyntax);

} // namespace kestrane
