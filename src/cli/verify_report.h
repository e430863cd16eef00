#pragma once

#include "cli/info_report.h"
#include "ops/verification.h"

#include <cstdio>
#include <optional>
#include <string>

namespace kestrane {

struct VerifyCommand {
    std::string package;
    std::string private_key;
    std::optional<std::string> passin; // "env:VAR" or "file:PATH"
    std::optional<std::string> key_file;
    std::optional<std::string> destination;
};

// Whether a -passin value names a source the program reads: "env:VAR" or "file:PATH". A
// passphrase in an argument ("pass:") would be seen by every user of the machine.
bool is_passin_source(const std::string& value);

// Opens the package with the private key and prints every check to `out`: labelled lines, or one
// JSON object. True only when every check passed.
bool run_verify_command(const VerifyCommand& command, std::FILE* out, InfoFormat format, IoPolicy& io = system_io());

// What -verify prints for a report.
void print_verification(std::FILE* out, InfoFormat format, const VerificationReport& report,
                        const std::string& package_path);

} // namespace kestrane
