#pragma once

#include "ops/packing.h"

#include <array>
#include <string>
#include <vector>

namespace kestrane {

class FrontEnd;

// The fields of the packaging dialog and its list of admitted source entries. Widget-free: the
// dialog copies these to and from its controls.
struct PackagingForm {
    std::string path;
    std::string dest_file;
    std::string company_name;
    std::string status;
    std::string version;
    std::vector<HeaderSummary> entries;
};

inline constexpr size_t kPackageListColumns = 6;
using PackageListRow = std::array<std::string, kPackageListColumns>;

// "File", "Type", "Attribute", "Model", "Version", "CompanyName".
const PackageListRow& package_list_headings();

// The list row of one entry: its file name (last path component), then type tag, attribute tag,
// model tag, version and company name.
PackageListRow package_list_row(const HeaderSummary& entry);

// Scans `folder` (scan_folder_for_packing) and makes the packages found the form's entries, Path the
// folder, Status "Success" or, when none was found, "Failed"; with entries, the company name is
// theirs and the Dest file follows. A folder that is not a directory changes nothing. The scan's
// messages go to `front`.
void scan_package_sources(FrontEnd& front, PackagingForm& form, const std::string& folder);

// Results of pick_package_version.
inline constexpr int kVersionPicked = 1;
inline constexpr int kNoKernelPackage = -1;

// Copies the version of the first "FRM0" entry into the Version field: kVersionPicked, or
// kNoKernelPackage when there is none (the field then stays as it was).
int pick_package_version(PackagingForm& form);

// Dest file = parent directory of Path joined with (last component of Path + "-K" + Version +
// ".wrp"). Returns 1.
int update_package_destination(PackagingForm& form);

// The listed entries, packed from the folder in the Path field under the form's version into its
// Dest file.
PackingJob packing_job_of(const PackagingForm& form);

} // namespace kestrane
