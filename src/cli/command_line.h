#pragma once

#include "cli/param_parser.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrane {

// A value option as the parser left it: present when given, even with an empty value.
struct OptionValue {
    bool given = false;
    std::string value;
};

// The options of one start, as the parser left them.
struct CommandLine {
    std::string file_argument; // the last argument that is not an option ("" if none)
    size_t file_arguments = 0; // how many there were
    OptionValue key;           // company key file (the last one given)
    std::vector<std::string> keys; // every company key file given with -key, in order
    OptionValue key_folder;        // -keys: a folder of company key files
    OptionValue wrapping;      // wrapping type word
    OptionValue version;
    OptionValue info;          // file whose header and integrity to print
    OptionValue genkey;        // 12 key digits, or "random"
    OptionValue company;       // company name of a generated key
    OptionValue pack;          // directory of encrypted packages
    OptionValue dest;          // destination of a wrapped file, an encrypted package or a package file
    OptionValue manifest;      // the JSON manifest of what a -wrapping, -key or -pack run read and wrote
    OptionValue verify;        // package to open with the private key
    OptionValue private_key;   // -private: PEM file of the sealing key's private half
    OptionValue passin;        // where the private key's passphrase comes from
    bool json = false;         // -info or -verify as one JSON object
    bool batch = false;        // headless even with a display, and no question
    bool force = false;        // -genkey may replace an existing file
    bool help = false;
    bool version_request = false; // "version" alone, without a value
};

// Parses the process arguments with the program's options and the file argument. No value when
// the parse fails: a parse error is silent and leads to the dialogs. The option "version" as the
// only argument, without a value, asks for the program's version. "-h" is "-help"; "--" ends the
// options and "--name=value" is "--name:value". `problem`, when given, receives what was wrong
// with arguments that do not parse (an unknown option, a value missing).
std::optional<CommandLine> parse_command_line(int argc, const char* const* argv,
                                              OptionSyntax syntax = kNativeOptionSyntax,
                                              std::string* problem = nullptr);

// What one start does.
enum class Operation {
    Dialogs,     // neither "key" nor any other operation: the main dialog
    Encrypt,     // "key" (once or more) or "keys" alone: encrypt a wrapped file
    Wrap,        // "wrapping", with or without "key" (once or more) or "keys"
    Info,        // "info", with or without "key"
    GenerateKey, // "genkey" with "company" and a destination
    Pack,        // "pack", with "version", "dest", "key" as wished
    Verify,      // "verify" with "private", "passin", "key", "dest" as wished
    Help,        // "help": the usage text
    Version,     // "version" alone: the program version and the sealing key it carries
    Conflict,    // options that do not belong together, or two file arguments: usage text, exit status 2
};

Operation select_operation(const CommandLine& command_line);

// What makes the options a Conflict, in a few words ("" for any other operation).
std::string usage_problem(const CommandLine& command_line);

// The two programs: the one with the dialogs, which also runs the command line, and the
// command-line program without them.
enum class ProgramKind { WithDialogs, CommandLineOnly };

const char* program_name(ProgramKind program);

// Every option, with an example.
std::string usage_text(ProgramKind program = ProgramKind::WithDialogs);

// The program version, the fingerprint of the sealing key the program carries and, for the
// development key, that the program is not for release.
std::string version_text(ProgramKind program);

} // namespace kestrane
