#pragma once

#include "ops/company_key.h"

#include "format/tagged_file.h"

#include <memory>
#include <string>

namespace kestrane {

class PackageFollower;

// Encrypts a wrapped file for the company of a company key file while the wrapped file is being
// written, so that the source is read once and both digests run side by side.
class EncryptionAlongside {
public:
    EncryptionAlongside();
    ~EncryptionAlongside();
    EncryptionAlongside(const EncryptionAlongside&) = delete;
    EncryptionAlongside& operator=(const EncryptionAlongside&) = delete;

    // Puts the company's key into the company key slot. False, silently, when the file cannot be
    // used here (not a company key file, a company name over 16 bytes): the caller then encrypts
    // afterwards with encrypt_wrapped_file, which tells why.
    bool prepare(const std::string& key_file, const std::string& output_path);
    bool prepare(const CompanyKeyFile& key_file, const std::string& output_path);
    const std::string& output_path() const { return m_output_path; }
    // The wrapped file's writer hands every byte here.
    TaggedFileWriter::Observer observer();
    // After the wrapped file was written: completes the package with encrypt_wrapped_file's
    // messages and results.
    int finish();
    // Gives the package up: what it had written goes.
    void abandon();

private:
    void observe(const uint8_t* data, size_t count);

    std::string m_output_path;
    std::unique_ptr<PackageFollower> m_follower;
    bool m_ran_short = false; // the system ran short of memory or threads for the package
};

} // namespace kestrane
