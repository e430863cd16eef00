#pragma once

#include <string>
#include <string_view>

namespace kestrane {

// The four parts of a program version: major.minor.patch.tweak.
struct ProgramVersion {
    unsigned major_part = 0;
    unsigned minor_part = 0;
    unsigned patch_part = 0;
    unsigned tweak_part = 0;
};

// Which program this is: the version it was built as and the sealing key it carries. Both front
// ends tell it (`--version`, the About box) and the run manifest records it.
struct BuildIdentity {
    ProgramVersion version;
    std::string version_text;      // "1.2.3.0"
    std::string fingerprint_label; // "Sealing key fingerprint (SHA-256):"
    std::string fingerprint;       // SHA-256 of the key's DER form, lower-case hex
    bool development_sealing_key = false;
    std::string development_key_warning; // what to tell when it is the development key
};

BuildIdentity build_identity();

// The file version of the running program's own version record: on Windows its version resource
// (all zeros when it has none), elsewhere, where programs have none, the version it was built as.
ProgramVersion running_program_file_version();

// The main window's title: "Kestrane(v1.2.3)", the first three parts (the fourth is not shown).
std::string version_title(const ProgramVersion& version);

// All four parts: "1.2.3.0".
std::string four_part_version(const ProgramVersion& version);

} // namespace kestrane
