#pragma once

#include "crypt/company_key.h"
#include "crypt/private_sealing_key.h"
#include "format/tagged_header_reader.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrane {

class InputFile;

// One check of a verification, as a person and a program read it.
struct VerifyCheck {
    enum class Result { Passed, Failed, NotChecked };
    VerifyCheck(const char* check_id, const char* check_label) : id(check_id), label(check_label) {}

    const char* id;    // the JSON name: "layout", "sealed_blocks", ...
    const char* label; // the text label: "Layout", "Sealed blocks", ...
    Result result = Result::NotChecked;
    std::string detail; // what was found, in a few words

    bool passed() const { return result == Result::Passed; }
};

// What the device would find opening one encrypted package, check by check, in this order:
//   layout         the attribute is an encrypt mode and the file is S + 284 bytes long
//   sealed_blocks  every sealed block of the body opens (PKCS#1 v1.5 type 2) to a chunk of the
//                  length the layout asks for (a package file's body is not sealed)
//   key_block      the key block opens to the company key and the filler 08 09 ... 73
//   tag            the HMAC-MD5 of everything before it, keyed with the key from the key block
//   company        (when expected) that key and the company name are those of a company key file
//   wrapped_file   the restored file: its length field fits its length, its MD5 trailer matches
struct PackageOpening {
    HeaderSummary summary;
    std::vector<VerifyCheck> checks;
    // A package file carried in the body: where its payload lies in the file, once the restored
    // file proved intact.
    struct Region {
        uint64_t offset = 0;
        uint64_t length = 0;
    };
    std::optional<Region> carried_payload;

    bool passed() const;
};

// What a package is checked against, besides the private key.
struct OpeningExpectations {
    const CompanyKey* company_key = nullptr; // with -key: the key file's key ...
    std::string company_name;                // ... and company
    // Receives the restored file, in order, while it is checked; false stops the writing (the
    // checks go on).
    std::function<bool(const uint8_t* data, size_t count)> restored_sink;
};

// Opens the encrypted package that lies `length` bytes from `offset` in `file`, reading it in
// bounded blocks: one private-key operation per sealed block and for the key block, one pass of
// HMAC-MD5 over the package and one of MD5 over the restored file.
PackageOpening open_package(InputFile& file, uint64_t offset, uint64_t length, const PrivateSealingKey& key,
                            const OpeningExpectations& expectations);

} // namespace kestrane
