#pragma once

#include "crypt/encrypted_package.h"
#include "format/tagged_file.h"

#include <memory>
#include <string>

namespace kestrane {

// "ENC1" is used for a "RAW0" input (whatever its case) or when the stored setting asks for it.
bool use_new_encrypt_mode(const std::string& type_tag);

// Encrypts one file for the company of a company key file, with its messages:
// "Success to encrypt file. [path:%s]" and 1, or a failure message and -1.
int encrypt_wrapped_file(const std::string& key_file, const std::string& input_path,
                         const std::string& output_path);

// Encrypts a wrapped file for the company of a company key file while the wrapped file is being
// written, so that the source is read once and both digests run side by side.
class EncryptionAlongside {
public:
    EncryptionAlongside();
    ~EncryptionAlongside();

    // Reads the company key file and puts its key into the company key slot. False, silently, when
    // the file cannot be used here (not a company key file, a company name over 16 bytes): the
    // caller then encrypts afterwards with encrypt_wrapped_file, which tells why.
    bool prepare(const std::string& key_file, const std::string& output_path);
    const std::string& output_path() const { return m_output_path; }
    // The wrapped file's writer hands every byte here.
    TaggedFileWriter::Observer observer();
    // After the wrapped file was written: completes the package with encrypt_wrapped_file's
    // messages and results.
    int finish();

private:
    std::string m_output_path;
    std::unique_ptr<PackageFollower> m_follower;
};

} // namespace kestrane
