#include "ops/encryption.h"

#include "common/paths.h"
#include "common/resource_failures.h"
#include "common/text_format.h"
#include "crypt/encrypted_package.h"
#include "format/tagged_header_reader.h"
#include "format/tagged_layout.h"
#include "ops/input_protection.h"
#include "ops/output_names.h"
#include "settings/settings_store.h"

#include <QString>

#include <algorithm>

namespace kestrane {
namespace {

// Whether a company key file can be used to encrypt; false, after the message that says why, when
// it cannot.
bool usable_company_key(FrontEnd& front, const CompanyKeyFile& key_file)
{
    if (!key_file.read()) {
        front.show_message("Could not load vid from vid.wrp");
        return false;
    }
    // A longer name would run over the version field of the package.
    if (key_file.company_name.size() > package::kMaxCompanyName) {
        front.show_message("Company name error");
        return false;
    }
    return true;
}

// The packages of a run, each company's key passed along as a value.
std::vector<PackageOrder> package_orders(const std::vector<CompanyOutput>& companies)
{
    std::vector<PackageOrder> orders;
    for (const CompanyOutput& company : companies)
        orders.push_back({company.key_file.company_name, company.key_file.key, company.output});
    return orders;
}

// encrypt_packages in the mode the input's type tag and the setting ask for.
PackagesOutcome encrypt_in_chosen_mode(FrontEnd& front, const std::string& input,
                                       const std::vector<CompanyOutput>& companies, IoPolicy& io)
{
    HeaderSummary summary;
    read_header_summary(input, summary);
    const bool enc1 = use_new_encrypt_mode(summary.type_tag);
    std::vector<PackageOrder> orders = package_orders(companies);
    PackagesOutcome outcome;
    outcome.result = or_cannot_create(kEncryptFileFailed, [&] {
        outcome = encrypt_packages(input, orders, enc1, io, front.progress());
        return outcome.result;
    });
    for (PackageOrder& order : orders)
        cleanse_key(order.key);
    return outcome;
}

int report_failure(FrontEnd& front, int package_result)
{
    front.show_message(format_text("encrypt_package() Failed with error [%d]", package_result));
    return kEncryptionFailed;
}

std::vector<std::string> output_paths(const std::vector<CompanyOutput>& companies)
{
    std::vector<std::string> outputs;
    for (const CompanyOutput& company : companies)
        outputs.push_back(company.output);
    return outputs;
}

// The checks before a run: no output over an input, every company key file usable. A record,
// when given, learns the run's inputs.
bool companies_ready(FrontEnd& front, const std::vector<CompanyOutput>& companies, const std::string& input,
                     RunRecord* record = nullptr)
{
    std::vector<std::string> inputs = {input};
    std::vector<RecordedInput> recorded = {{input, InputRole::Source}};
    for (const CompanyOutput& company : companies) {
        inputs.push_back(company.key_file.path);
        recorded.push_back({company.key_file.path, InputRole::KeyFile});
    }
    const std::vector<std::string> outputs = output_paths(companies);
    if (!outputs_spare_inputs(front, outputs, inputs) || !plan_run(front, record, outputs, recorded))
        return false;
    return std::all_of(companies.begin(), companies.end(),
                       [&front](const CompanyOutput& company) { return usable_company_key(front, company.key_file); });
}

} // namespace

bool use_new_encrypt_mode(const std::string& type_tag)
{
    return QString::fromStdString(type_tag).compare(QLatin1String(tags::kRaw.data(), 4), Qt::CaseInsensitive) == 0
        || read_encrypt_mode_setting() != 0;
}

int encrypt_for_company(FrontEnd& front, const CompanyKeyFile& key_file, const std::string& input,
                        const std::string& output, IoPolicy& io)
{
    const std::vector<CompanyOutput> company = {{key_file, output}};
    if (!companies_ready(front, company, input))
        return kEncryptionFailed;
    const int result = encrypt_in_chosen_mode(front, input, company, io).result;
    return result < 0 ? report_failure(front, result) : kEncrypted;
}

int encrypt_for_company(FrontEnd& front, const std::string& key_file, const std::string& input,
                        const std::string& output, IoPolicy& io)
{
    return or_cannot_create(kEncryptionFailed, [&] {
        return encrypt_for_company(front, load_company_key_file(key_file), input, output, io);
    });
}

int encrypt_wrapped_file(FrontEnd& front, const CompanyKeyFile& key_file, const std::string& input,
                         const std::string& output, RunRecord* record, IoPolicy& io)
{
    const std::vector<CompanyOutput> company = {{key_file, output}};
    if (!companies_ready(front, company, input, record))
        return kEncryptionFailed;
    const int result =
        report_wrapped_file_encryption(front, encrypt_in_chosen_mode(front, input, company, io).result, output);
    if (result == kEncrypted)
        record_committed(record, output);
    return result;
}

int encrypt_wrapped_file(FrontEnd& front, const std::string& key_file, const std::string& input,
                         const std::string& output, IoPolicy& io)
{
    return or_cannot_create(kEncryptionFailed, [&] {
        return encrypt_wrapped_file(front, load_company_key_file(key_file), input, output, nullptr, io);
    });
}

CompaniesEncryption encrypt_for_companies(FrontEnd& front, const std::vector<CompanyOutput>& companies,
                                          const std::string& input, RunRecord* record, IoPolicy& io)
{
    if (!companies_ready(front, companies, input, record))
        return {};
    CompaniesEncryption outcome =
        report_companies_encryption(front, encrypt_in_chosen_mode(front, input, companies, io), companies);
    for (const std::string& output : outcome.committed)
        record_committed(record, output);
    return outcome;
}

CompaniesEncryption report_companies_encryption(FrontEnd& front, const PackagesOutcome& outcome,
                                                const std::vector<CompanyOutput>& companies)
{
    if (outcome.result >= 0)
        return {kEncrypted, output_paths(companies)};
    report_failure(front, outcome.result);
    if (outcome.failed_order && *outcome.failed_order < companies.size())
        front.show_message(format_text("No package written: the encryption for company[%s] failed",
                                       companies[*outcome.failed_order].key_file.company_name.c_str()));
    else
        front.show_message("No package written");
    return {};
}

int report_wrapped_file_encryption(FrontEnd& front, int package_result, const std::string& output)
{
    if (package_result < 0)
        return report_failure(front, package_result);
    front.show_message(format_text("Success to encrypt file. [path:%s]", output.c_str()));
    return kEncrypted;
}

std::optional<EncryptionSource> inspect_encryption_source(FrontEnd& front, const std::string& input,
                                                          const std::string& company_name)
{
    HeaderSummary summary;
    if (!is_regular_file(input) || read_header_summary(input, summary) != kSummaryRead) {
        front.show_message(format_text("Path[%s] is invalid", input.c_str()));
        return std::nullopt;
    }
    return EncryptionSource{summary.version, proposed_encryption_output(input, company_name, summary.type_tag)};
}

} // namespace kestrane
