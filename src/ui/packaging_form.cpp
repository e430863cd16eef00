#include "ui/packaging_form.h"

namespace kestrane {

const PackageListRow& package_list_headings()
{
    static const PackageListRow headings{"File", "Type", "Attribute", "Model", "Version", "CompanyName"};
    return headings;
}

PackageListRow package_list_row(const HeaderSummary& entry)
{
    return {package_file_name(entry), entry.type_tag, entry.attribute_tag,
            entry.model_tag,          entry.version,  entry.company_name};
}

void scan_package_sources(FrontEnd& front, PackagingForm& form, const std::string& folder)
{
    std::optional<std::vector<HeaderSummary>> found = scan_folder_for_packing(front, folder);
    if (!found)
        return;
    form.path = folder;
    form.entries = std::move(*found);
    if (form.entries.empty()) {
        form.status = "Failed";
        return;
    }
    form.company_name = form.entries.front().company_name;
    update_package_destination(form);
    form.status = "Success";
}

int pick_package_version(PackagingForm& form)
{
    const std::optional<std::string> version = version_for_packing(form.entries);
    if (!version)
        return kNoKernelPackage;
    form.version = *version;
    return kVersionPicked;
}

int update_package_destination(PackagingForm& form)
{
    form.dest_file = propose_package_destination(form.path, form.version);
    return 1;
}

PackingJob packing_job_of(const PackagingForm& form)
{
    PackingJob job{form.path, {}, form.version, form.dest_file};
    for (const HeaderSummary& entry : form.entries)
        job.package_names.push_back(package_file_name(entry));
    return job;
}

} // namespace kestrane
