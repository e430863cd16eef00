#pragma once

#include "common/non_copyable.h"
#include "ops/company_key.h"
#include "ops/encryption.h"

#include "crypt/encrypted_package.h"
#include "format/tagged_file_writer.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrane {

class PackageFollower;

// Encrypts a wrapped file for the companies of company key files while the wrapped file is being
// written, so that the source is read once and the digests run side by side. The wrapped file's
// writer computes its MD5 trailer itself, so the packages trust it: the file is not read again to
// check it.
class EncryptionAlongside : NonCopyable {
public:
    // The outcome is told to `front`.
    explicit EncryptionAlongside(FrontEnd& front, IoPolicy& io = system_io());
    ~EncryptionAlongside();

    // Prepares one package per company, each with its company's key. False, silently, when a file
    // cannot be used here (not a company key file, a company name over 16 bytes): the caller then
    // encrypts afterwards, which tells why.
    bool prepare(const std::vector<CompanyOutput>& companies);
    bool prepare(const std::string& key_file, const std::string& output_path);
    bool prepare(const CompanyKeyFile& key_file, const std::string& output_path);
    const std::string& output_path() const { return m_companies.front().output; }
    // The wrapped file's writer hands every byte here.
    TaggedFileWriter::Observer observer();
    // After the wrapped file was written, for one company: completes the package with
    // encrypt_wrapped_file's messages and results.
    int finish();
    // The same for every company, all or nothing, with encrypt_for_companies's messages.
    CompaniesEncryption finish_all();
    // Gives the packages up: what they had written goes.
    void abandon();

private:
    void observe(const uint8_t* data, size_t count);
    PackagesOutcome finish_packages();

    std::vector<CompanyOutput> m_companies;
    std::vector<PackageOrder> m_orders; // until the follower takes them
    std::unique_ptr<PackageFollower> m_follower;
    FrontEnd& m_front;
    IoPolicy& m_io;
    bool m_prepared = false;
    bool m_ran_short = false; // the system ran short of memory or threads for the packages
};

} // namespace kestrane
