#pragma once

// Encrypting files into encrypted packages. The encoder (the package layout) and the checks of a
// written package come with this header.
#include "common/file_io.h"
#include "crypt/package_checks.h"
#include "crypt/package_encoder.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane {

// Results of encrypt_package and PackageFollower::finish.
inline constexpr int kEncryptOk = 1;
// The builder refused the input (see kPackageRefused) or sealing failed; no output.
inline constexpr int kEncryptBuilderFailed = -1;
// The input cannot be opened or read, or the output cannot be created or written; nothing is
// left then, an existing output is untouched.
inline constexpr int kEncryptFileFailed = -2;
// And kOperationCancelled (common/progress.h) when the user cancelled encrypt_package's work.

// Encrypts the file at `input_path` into `output_path`, streaming it (bounded memory, each input
// byte read once).
int encrypt_package(const std::string& input_path, const std::string& output_path,
                    const std::string& company_name, bool use_enc1);

// The output an encryption proposes for an input: the input path, "-", the company name and ".enc"
// (".pkg" for a package file, type tag "PKG0").
std::string proposed_package_path(const std::string& input_path, const std::string& company_name,
                                  std::string_view type_tag);

// Encrypts a plain tagged file while it is being written: fed every byte of the file in order (a
// TaggedFileWriter's observer), it writes the encrypted package beside it, so that wrapping and
// encrypting read the source once. The company key slot must hold the company's key.
class PackageFollower {
public:
    using ModeForType = std::function<EncryptMode(std::string_view type_tag)>;

    PackageFollower(std::string output_path, std::string company_name, ModeForType mode_for_type);
    ~PackageFollower();
    PackageFollower(const PackageFollower&) = delete;
    PackageFollower& operator=(const PackageFollower&) = delete;

    void observe(const uint8_t* data, size_t count);
    // Completes the package after the whole file went by: kEncryptOk, kEncryptBuilderFailed or
    // kEncryptFileFailed. Nothing is left behind on failure.
    int finish();

private:
    void begin();

    std::string m_output_path;
    std::string m_company_name;
    ModeForType m_mode_for_type;
    std::vector<uint8_t> m_header;
    int m_refused = 0;         // the failure found when the header was seen
    std::unique_ptr<AtomicOutputFile> m_output;
    std::unique_ptr<PackageEncoder> m_encoder;
};

} // namespace kestrane
