#pragma once

#include "common/io_policy.h"
#include "crypt/package_opening.h"
#include "crypt/private_sealing_key.h"
#include "format/tagged_header_reader.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrane {

// Opening a package as the device would, with the private half of the sealing key: an encrypted
// package, or a package file (plain or encrypted) package by package.
struct VerifyRequest {
    std::string package;
    std::string private_key;
    PassphraseSource passphrase;
    std::optional<std::string> key_file;    // the company the packages must be for
    std::optional<std::string> destination; // where the restored wrapped file goes
};

// One package opened, with its place: 0 for the file itself, N for entry N of a package file.
struct VerifiedPackage {
    size_t entry = 0;
    PackageOpening opening;
};

struct VerificationReport {
    enum class Outcome {
        Verified,           // the checks ran (they may have failed)
        KeyFileInvalid,     // the company key file is not one
        PrivateKeyRefused,  // see `key_load`
        FileInvalid,        // the package cannot be read
        NotVerifiable,      // neither an encrypted package nor a package file
        DestinationRefused, // see `message`
    };
    Outcome outcome = Outcome::Verified;
    std::string message; // the one line that says why, for every outcome but Verified
    PrivateSealingKey::Load key_load = PrivateSealingKey::Load::Loaded;

    HeaderSummary summary;                                 // of the file
    VerifyCheck sealing_key{"sealing_key", "Sealing key"}; // the private key's public half is the program's
    std::vector<VerifyCheck> file_checks;                  // a package file's: MD5 trailer (plain), entries
    std::vector<VerifiedPackage> packages;
    std::optional<VerifyCheck> restored; // with a destination: whether it was written

    bool passed() const;
};

VerificationReport verify_package(const VerifyRequest& request, IoPolicy& io = system_io());

} // namespace kestrane
