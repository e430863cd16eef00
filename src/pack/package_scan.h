#pragma once

#include "format/tagged_file.h"

#include <array>
#include <string>
#include <vector>

namespace kestrane {

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

// Scans `folder` for encrypted packages that may travel together in one package file and makes
// them the form's entries. At most one package per type tag ("DOM0" once per model tag), all of
// one company, encrypt mode "ENCR" only, a file whose size fits its body length, no company key
// files; the first met wins, in the order of list_directory_names. A folder that is not a directory changes nothing.
// Returns the messages that tell what was left out and why, in the order they arose.
std::vector<std::string> scan_package_sources(PackagingForm& form, const std::string& folder);

// Results of pick_package_version.
inline constexpr int kVersionPicked = 1;
inline constexpr int kNoKernelPackage = -1;

// Copies the version of the first "FRM0" entry into the Version field: kVersionPicked, or
// kNoKernelPackage when there is none (the field then stays as it was).
int pick_package_version(PackagingForm& form);

// Dest file = parent directory of Path joined with (last component of Path + "-K" + Version +
// ".wrp"). Returns 1.
int update_package_destination(PackagingForm& form);

// Every entry of a directory (sub-directories and hidden entries too, "." and ".." left out),
// ascending by name without regard to ASCII case, ties broken byte-wise, so that the order does
// not depend on the file system. Empty when the directory cannot be listed.
std::vector<std::string> list_directory_names(const std::string& directory);

} // namespace kestrane
