#include "ops/encryption.h"

#include "common/messages.h"
#include "common/paths.h"
#include "common/resource_failures.h"
#include "common/text_format.h"
#include "crypt/encrypted_package.h"
#include "format/tagged_file.h"
#include "ops/input_protection.h"
#include "ops/output_names.h"
#include "settings/settings_store.h"

#include <QString>

namespace kestrane {
namespace {

// Puts the company's key into the company key slot; false, after the message that says why, when
// the company key file cannot be used.
bool take_company_key(const CompanyKeyFile& key_file)
{
    if (!key_file.read()) {
        show_message("Could not load vid from vid.wrp");
        return false;
    }
    // A longer name would run over the version field of the package.
    if (key_file.company_name.size() > package::kMaxCompanyName) {
        show_message("Company name error");
        return false;
    }
    set_company_key(key_file.key);
    return true;
}

// encrypt_package in the mode the input's type tag and the setting ask for: its result.
int encrypt_in_chosen_mode(const std::string& input, const std::string& output, const std::string& company_name)
{
    HeaderSummary summary;
    read_header_summary(input, summary);
    const bool enc1 = use_new_encrypt_mode(summary.type_tag);
    return or_cannot_create(kEncryptFileFailed, [&] { return encrypt_package(input, output, company_name, enc1); });
}

int report_failure(int package_result)
{
    show_message(format_text("encrypt_package() Failed with error [%d]", package_result));
    return kEncryptionFailed;
}

} // namespace

bool use_new_encrypt_mode(const std::string& type_tag)
{
    return QString::fromStdString(type_tag).compare(QLatin1String(tags::kRaw.data(), 4), Qt::CaseInsensitive) == 0
        || read_encrypt_mode_setting() != 0;
}

int encrypt_for_company(const CompanyKeyFile& key_file, const std::string& input, const std::string& output)
{
    if (!outputs_spare_inputs({output}, {input, key_file.path}) || !take_company_key(key_file))
        return kEncryptionFailed;
    const int result = encrypt_in_chosen_mode(input, output, key_file.company_name);
    return result < 0 ? report_failure(result) : kEncrypted;
}

int encrypt_for_company(const std::string& key_file, const std::string& input, const std::string& output)
{
    return or_cannot_create(kEncryptionFailed,
                            [&] { return encrypt_for_company(load_company_key_file(key_file), input, output); });
}

int encrypt_wrapped_file(const CompanyKeyFile& key_file, const std::string& input, const std::string& output,
                         RunRecord* record)
{
    if (!outputs_spare_inputs({output}, {input, key_file.path})
        || !plan_run(record, {output}, {{input, InputRole::Source}, {key_file.path, InputRole::KeyFile}})
        || !take_company_key(key_file))
        return kEncryptionFailed;
    const int result =
        report_wrapped_file_encryption(encrypt_in_chosen_mode(input, output, key_file.company_name), output);
    if (result == kEncrypted)
        record_committed(record, output);
    return result;
}

int encrypt_wrapped_file(const std::string& key_file, const std::string& input, const std::string& output)
{
    return or_cannot_create(kEncryptionFailed,
                            [&] { return encrypt_wrapped_file(load_company_key_file(key_file), input, output); });
}

int report_wrapped_file_encryption(int package_result, const std::string& output)
{
    if (package_result < 0)
        return report_failure(package_result);
    show_message(format_text("Success to encrypt file. [path:%s]", output.c_str()));
    return kEncrypted;
}

std::optional<EncryptionSource> inspect_encryption_source(const std::string& input, const std::string& company_name)
{
    HeaderSummary summary;
    if (!is_regular_file(input) || read_header_summary(input, summary) != kSummaryRead) {
        show_message(format_text("Path[%s] is invalid", input.c_str()));
        return std::nullopt;
    }
    return EncryptionSource{summary.version, proposed_encryption_output(input, company_name, summary.type_tag)};
}

} // namespace kestrane
