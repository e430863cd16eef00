#include "ops/packing.h"

#include "common/messages.h"
#include "common/resource_failures.h"
#include "common/text_format.h"
#include "format/path_rules.h"
#include "ops/company_key.h"
#include "ops/encryption.h"
#include "ops/input_protection.h"
#include "ops/output_names.h"
#include "pack/package_file.h"

#include <vector>

namespace kestrane {
namespace {

std::vector<std::string> listed_file_names(const PackagingForm& form)
{
    std::vector<std::string> names;
    for (const HeaderSummary& entry : form.entries)
        names.push_back(package_list_row(entry)[0]);
    return names;
}

std::vector<std::string> listed_file_paths(const PackagingForm& form)
{
    std::vector<std::string> paths;
    for (const std::string& name : listed_file_names(form))
        paths.push_back(join_path(form.path, name));
    return paths;
}

int report_packing(int result)
{
    if (result > 0)
        show_message("Success");
    else
        show_message(format_text("Fail with error[%d]", result));
    return result;
}

// Neither the package file nor its encryption may replace a listed package or the key file.
bool outputs_spare_packing_inputs(const PackagingForm& form, const std::string& key_file, const std::string& encrypted)
{
    std::vector<std::string> inputs = listed_file_paths(form);
    inputs.push_back(key_file);
    if (!outputs_spare_inputs({form.dest_file, encrypted}, inputs)
        || !outputs_spare_inputs({encrypted}, {form.dest_file})) {
        report_packing(kPackRefused);
        return false;
    }
    return true;
}

// A key of another company would make a package nobody can use: refused before anything is written.
bool key_file_fits(const std::string& key_file, const PackagingForm& form)
{
    const std::optional<std::string> company = company_of_key_file(key_file);
    if (!company) {
        show_message(format_text("invalid company key file[file:%s]", key_file.c_str()));
        return false;
    }
    if (*company != form.company_name) {
        show_message(format_text("Doesn't match brand name with [%s]", form.company_name.c_str()));
        return false;
    }
    return true;
}

// The listed packages and the key file are the inputs of a packing run, the package file and its
// encryption its outputs.
bool plan_packing(RunRecord& record, const PackagingForm& form, const std::optional<std::string>& key_file,
                  const std::string& encrypted)
{
    std::vector<RecordedInput> inputs;
    for (const std::string& path : listed_file_paths(form))
        inputs.push_back({path, InputRole::Package});
    std::vector<std::string> outputs = {form.dest_file};
    if (key_file) {
        inputs.push_back({*key_file, InputRole::KeyFile});
        outputs.push_back(encrypted);
    }
    return record.plan(outputs, inputs);
}

// The whole job; pack_folder guards it.
int scan_pack_and_encrypt(const PackRequest& request)
{
    PackagingForm form;
    scan_folder_for_packing(form, request.folder);
    if (form.entries.empty())
        return kPackNothingToPack;
    if (request.version) {
        form.version = *request.version;
        propose_package_destination(form);
    }
    if (request.destination)
        form.dest_file = *request.destination;
    if (request.key_file && !key_file_fits(*request.key_file, form))
        return kPackKeyFileRefused;
    const std::string output = encrypted_package_file_path(form.dest_file, form.company_name);
    if (request.key_file && !outputs_spare_packing_inputs(form, *request.key_file, output))
        return kPackRefused;
    if (request.record && !plan_packing(*request.record, form, request.key_file, output))
        return report_packing(kPackRefused);
    if (const int packed = pack_listed_packages(form); packed <= 0)
        return packed;
    record_committed(request.record, form.dest_file);
    if (!request.key_file)
        return kPackOk;
    // The package file is encrypted as any file is, with the key file as it is now.
    if (encrypt_wrapped_file(*request.key_file, form.dest_file, output) != kEncrypted)
        return kPackNotEncrypted;
    record_committed(request.record, output);
    return kPackOk;
}

} // namespace

void scan_folder_for_packing(PackagingForm& form, const std::string& folder)
{
    for (const std::string& message : scan_package_sources(form, folder))
        show_message(message);
    pick_package_version(form);
    update_package_destination(form);
}

void propose_package_destination(PackagingForm& form)
{
    update_package_destination(form);
}

int pack_listed_packages(const PackagingForm& form)
{
    if (!outputs_spare_inputs({form.dest_file}, listed_file_paths(form)))
        return report_packing(kPackRefused);
    const int result = or_cannot_create(kPackCannotCreate, [&] {
        return pack_files(form.version, form.path, listed_file_names(form), form.dest_file);
    });
    if (result == kPackVersionMissing)
        show_message("Input version");
    return report_packing(result);
}

int pack_folder(const PackRequest& request)
{
    return or_cannot_create(kPackCannotCreate, [&] { return scan_pack_and_encrypt(request); });
}

} // namespace kestrane
