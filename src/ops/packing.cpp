#include "ops/packing.h"

#include "common/resource_failures.h"
#include "common/text_format.h"
#include "common/path_rules.h"
#include "ops/company_key.h"
#include "ops/encryption.h"
#include "ops/input_protection.h"
#include "ops/output_names.h"
#include "pack/package_file.h"

#include <vector>

namespace kestrane {
namespace {

std::vector<std::string> listed_file_paths(const PackingJob& job)
{
    std::vector<std::string> paths;
    for (const std::string& name : job.package_names)
        paths.push_back(join_path(job.folder, name));
    return paths;
}

int report_packing(FrontEnd& front, int result)
{
    if (result > 0)
        front.show_message("Success");
    else
        front.show_message(format_text("Fail with error[%d]", result));
    return result;
}

// Neither the package file nor its encryption may replace a listed package or the key file.
bool outputs_spare_packing_inputs(FrontEnd& front, const PackingJob& job, const std::string& key_file,
                                  const std::string& encrypted)
{
    std::vector<std::string> inputs = listed_file_paths(job);
    inputs.push_back(key_file);
    if (!outputs_spare_inputs(front, {job.destination, encrypted}, inputs)
        || !outputs_spare_inputs(front, {encrypted}, {job.destination})) {
        report_packing(front, kPackRefused);
        return false;
    }
    return true;
}

// A key of another company would make a package nobody can use: refused before anything is written.
bool key_file_fits(FrontEnd& front, const std::string& key_file, const std::string& packages_company)
{
    const std::optional<std::string> company = company_of_key_file(key_file);
    if (!company) {
        front.show_message(format_text("invalid company key file[file:%s]", key_file.c_str()));
        return false;
    }
    if (*company != packages_company) {
        front.show_message(format_text("Doesn't match brand name with [%s]", packages_company.c_str()));
        return false;
    }
    return true;
}

// The listed packages and the key file are the inputs of a packing run, the package file and its
// encryption its outputs.
bool plan_packing(FrontEnd& front, RunRecord& record, const PackingJob& job, const std::optional<std::string>& key_file,
                  const std::string& encrypted)
{
    std::vector<RecordedInput> inputs;
    for (const std::string& path : listed_file_paths(job))
        inputs.push_back({path, InputRole::Package});
    std::vector<std::string> outputs = {job.destination};
    if (key_file) {
        inputs.push_back({*key_file, InputRole::KeyFile});
        outputs.push_back(encrypted);
    }
    return record.plan(front, outputs, inputs);
}

// The job of packing every package the scan lists, under the version and destination asked for or
// else the kernel package's version and the proposed destination.
PackingJob packing_job_of(const PackRequest& request, const std::vector<HeaderSummary>& packages)
{
    PackingJob job{request.folder, {}, kernel_package_version(packages).value_or(""), ""};
    for (const HeaderSummary& package : packages)
        job.package_names.push_back(package_file_name(package));
    if (request.version)
        job.version = *request.version;
    job.destination = request.destination.value_or(package_destination(job.folder, job.version));
    return job;
}

// The whole job; pack_folder guards it.
int scan_pack_and_encrypt(FrontEnd& front, const PackRequest& request, IoPolicy& io)
{
    const std::optional<std::vector<HeaderSummary>> packages = scan_folder_for_packing(front, request.folder);
    if (!packages || packages->empty())
        return kPackNothingToPack;
    const PackingJob job = packing_job_of(request, *packages);
    const std::string& company = packages->front().company_name;
    if (request.key_file && !key_file_fits(front, *request.key_file, company))
        return kPackKeyFileRefused;
    const std::string output = encrypted_package_file_path(job.destination, company);
    if (request.key_file && !outputs_spare_packing_inputs(front, job, *request.key_file, output))
        return kPackRefused;
    if (request.record && !plan_packing(front, *request.record, job, request.key_file, output))
        return report_packing(front, kPackRefused);
    if (const int packed = pack_listed_packages(front, job, io); packed <= 0)
        return packed;
    record_committed(request.record, job.destination);
    if (!request.key_file)
        return kPackOk;
    // The package file is encrypted as any file is, with the key file as it is now.
    if (encrypt_wrapped_file(front, *request.key_file, job.destination, output, io) != kEncrypted)
        return kPackNotEncrypted;
    record_committed(request.record, output);
    return kPackOk;
}

} // namespace

std::optional<std::vector<HeaderSummary>> scan_folder_for_packing(FrontEnd& front, const std::string& folder)
{
    PackageSources sources = find_package_sources(folder);
    for (const std::string& message : sources.messages)
        front.show_message(message);
    return std::move(sources.packages);
}

std::optional<std::string> version_for_packing(const std::vector<HeaderSummary>& packages)
{
    return kernel_package_version(packages);
}

std::string propose_package_destination(const std::string& folder, const std::string& version)
{
    return package_destination(folder, version);
}

std::string package_file_name(const HeaderSummary& package)
{
    return last_path_component(package.path);
}

int pack_listed_packages(FrontEnd& front, const PackingJob& job, IoPolicy& io)
{
    if (!outputs_spare_inputs(front, {job.destination}, listed_file_paths(job)))
        return report_packing(front, kPackRefused);
    const int result = or_cannot_create(kPackCannotCreate, [&] {
        return pack_files(job.version, job.folder, job.package_names, job.destination, io, front.progress());
    });
    if (result == kPackVersionMissing)
        front.show_message("Input version");
    return report_packing(front, result);
}

int pack_folder(FrontEnd& front, const PackRequest& request, IoPolicy& io)
{
    return or_cannot_create(kPackCannotCreate, [&] { return scan_pack_and_encrypt(front, request, io); });
}

} // namespace kestrane
