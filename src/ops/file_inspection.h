#pragma once

#include "format/integrity.h"
#include "format/tagged_file.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrane {

// What a file's header says and whether the file holds together: the MD5 trailer of a plain
// tagged file; the body length of an encrypted package and, with its company's key, its tag.
struct FileInspection {
    enum class Outcome {
        Inspected,
        KeyFileInvalid, // the company key file given is not one; the file was not looked at
        FileInvalid,    // the path is not a file whose header can be read
        NotTaggedFile,  // shorter than a tagged file's header, or a type tag the system never writes
    };
    enum class Kind {
        Plain,   // attribute "PLAN"
        Package, // attribute "ENCR" or "ENC1"
        Other,   // any other attribute: nothing to check
    };

    Outcome outcome = Outcome::Inspected;
    HeaderSummary summary;
    Kind kind = Kind::Other;
    IntegrityCheck trailer = IntegrityCheck::Unreadable; // Plain
    std::optional<uint32_t> body_length;                 // Package: when the file's size fits it
    std::optional<IntegrityCheck> tag;                   // Package, with a key and a fitting length

    // Whether every check that ran passed.
    bool passed() const;
};

FileInspection inspect_file(const std::string& path, const std::optional<std::string>& key_file);

} // namespace kestrane
