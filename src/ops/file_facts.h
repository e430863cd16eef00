#pragma once

#include "format/integrity.h"
#include "format/tagged_header_reader.h"
#include "pack/package_listing.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrane {

// What a file's header says and whether the file holds together: the MD5 trailer of a plain
// tagged file; the body length of an encrypted package and, with its company's key, its tag. And
// what is inside where it can be read: the entries of a package file, plain or encrypted (its
// body is carried unsealed); the company of a company key file.
struct FileFacts {
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

    // A company key file's content as the key file reader takes it; its key is not kept.
    struct KeyFileContent {
        bool readable = false;
        std::string company;
    };

    Outcome outcome = Outcome::Inspected;
    HeaderSummary summary;
    uint64_t size = 0;
    Kind kind = Kind::Other;
    IntegrityCheck trailer = IntegrityCheck::Unreadable; // Plain
    std::optional<uint32_t> body_length;                 // Package: when the file's size fits it
    std::optional<IntegrityCheck> tag;                   // Package, with a key and a fitting length
    std::optional<PackageListing> packages;              // "PKG0": Plain, or Package with a fitting length
    std::optional<KeyFileContent> key_file;              // "VID0" and Plain

    // Whether every check that ran passed: the listed entries fit too, and a company key file
    // can be read as one.
    bool passed() const;
};

FileFacts gather_file_facts(const std::string& path, const std::optional<std::string>& key_file);

} // namespace kestrane
