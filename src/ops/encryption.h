#pragma once

#include "common/io_policy.h"
#include "ops/company_key.h"
#include "ops/front_end.h"
#include "ops/run_record.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrane {

struct PackagesOutcome;

// Results of the encryption of a file for a company.
inline constexpr int kEncrypted = 1;
// The company key file could not be used or the encryption failed; a message said why.
inline constexpr int kEncryptionFailed = -1;

// "ENC1" is used for a "RAW0" input (whatever its case) or when the stored setting asks for it.
bool use_new_encrypt_mode(const std::string& type_tag);

// Encrypts `input` into `output` for the company of a company key file, in the encrypt mode the
// input's type tag and the setting ask for. Shows why when it fails: "Output would overwrite an
// input[path:%s]" (the output is the input or the key file), "Could not load vid from vid.wrp"
// (not a company key file), "Company name error" (a company name over 16 bytes),
// "encrypt_package() Failed with error [%d]" (the encryption's code); on success it shows
// nothing: the caller tells it. kEncrypted or kEncryptionFailed.
int encrypt_for_company(FrontEnd& front, const std::string& key_file, const std::string& input,
                        const std::string& output, IoPolicy& io = system_io());
int encrypt_for_company(FrontEnd& front, const CompanyKeyFile& key_file, const std::string& input,
                        const std::string& output, IoPolicy& io = system_io());

// The same, with "Success to encrypt file. [path:%s]" after a success: how the main dialog and the
// command line encrypt a file. A record, when given, learns the input, the key file and the output.
int encrypt_wrapped_file(FrontEnd& front, const std::string& key_file, const std::string& input,
                         const std::string& output, IoPolicy& io = system_io());
int encrypt_wrapped_file(FrontEnd& front, const CompanyKeyFile& key_file, const std::string& input,
                         const std::string& output, RunRecord* record = nullptr, IoPolicy& io = system_io());

// One company of a run that encrypts one input for several: its key file, read once, and its
// package.
struct CompanyOutput {
    CompanyKeyFile key_file;
    std::string output;
};

// How a run for several companies ended: kEncrypted with every package in place (`committed`, in
// the order of the companies), or kEncryptionFailed with none written.
struct CompaniesEncryption {
    int result = kEncryptionFailed;
    std::vector<std::string> committed;
};

// Encrypts `input` for every company at once: the input is read and checked once, the packages
// are written side by side and committed together, all or nothing. The checks and failure messages
// of encrypt_for_company, then, when one company's package failed, "No package written: the
// encryption for company[%s] failed" (otherwise "No package written"). Silent on success.
CompaniesEncryption encrypt_for_companies(FrontEnd& front, const std::vector<CompanyOutput>& companies,
                                          const std::string& input, RunRecord* record = nullptr,
                                          IoPolicy& io = system_io());

// Tells the outcome of writing packages for several companies as encrypt_for_companies does.
CompaniesEncryption report_companies_encryption(FrontEnd& front, const PackagesOutcome& outcome,
                                                const std::vector<CompanyOutput>& companies);

// Tells the result of writing an encrypted package as encrypt_wrapped_file does: its success
// message and kEncrypted, or its failure message with the code and kEncryptionFailed.
int report_wrapped_file_encryption(FrontEnd& front, int package_result, const std::string& output);

// A file chosen to be encrypted: the version in its header and the output proposed for it.
struct EncryptionSource {
    std::string version;
    std::string proposed_output;
};

// Nothing, after "Path[%s] is invalid", when `input` is not a file that can be read.
std::optional<EncryptionSource> inspect_encryption_source(FrontEnd& front, const std::string& input,
                                                          const std::string& company_name);

} // namespace kestrane
