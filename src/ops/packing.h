#pragma once

#include "ops/front_end.h"
#include "ops/run_record.h"
#include "pack/package_file.h"
#include "pack/package_scan.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrane {

// Scans a folder as the package builder does: the encrypted packages that may travel together (the
// scan tells what it leaves out); none at all when the folder is not a directory.
std::optional<std::vector<HeaderSummary>> scan_folder_for_packing(FrontEnd& front, const std::string& folder);

// The version a package file of `packages` takes unless told otherwise: the kernel package's, if
// one is listed.
std::optional<std::string> version_for_packing(const std::vector<HeaderSummary>& packages);

// The destination proposed for a folder and version: beside the folder, named after it and the version.
std::string propose_package_destination(const std::string& folder, const std::string& version);

// The name a listed package has in its folder, the name it is packed under.
std::string package_file_name(const HeaderSummary& package);

// Packages named files of one folder into one package file.
struct PackingJob {
    std::string folder;                     // where the packages are read from
    std::vector<std::string> package_names; // packed in this order
    std::string version;
    std::string destination;
};

// Results of the packing besides pack_files' own.
// The package file (or its encryption) would overwrite a listed package or the company key file:
// "Output would overwrite an input[path:%s]", nothing was written.
inline constexpr int kPackRefused = 0;

// Packs the job's packages into its destination and tells the outcome: "Success", or "Fail with
// error[%d]" with pack_files' code (after "Input version" when the version is empty). pack_files' result, or kPackRefused.
int pack_listed_packages(FrontEnd& front, const PackingJob& job, IoPolicy& io = system_io());

struct PackRequest {
    std::string folder;
    std::optional<std::string> version;     // none: the kernel package's
    std::optional<std::string> destination; // none: beside the folder, named after it and the version
    std::optional<std::string> key_file;    // encrypt the package file for this company as well
    RunRecord* record = nullptr;            // learns the listed packages, the key file and the outputs
};

// Results of pack_folder besides those above.
// The folder holds no package that may be packed; the scan said why.
inline constexpr int kPackNothingToPack = -10;
// The company key file is not one, or is another company's: nothing was written.
inline constexpr int kPackKeyFileRefused = -11;
// The package file was written but its encryption failed; a message said why.
inline constexpr int kPackNotEncrypted = -12;

// The whole job of the command line: scans the folder, checks the company key file against the
// packages' company before anything is written, packs, then encrypts the package file for that
// company (destination + "-" + company + ".pkg"). kPackOk when all of it succeeded.
int pack_folder(FrontEnd& front, const PackRequest& request, IoPolicy& io = system_io());

} // namespace kestrane
