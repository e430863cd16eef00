#pragma once

#include "ops/run_record.h"
#include "pack/package_scan.h"

#include <optional>
#include <string>

namespace kestrane {

// Scans a folder as the package builder does: the encrypted packages that may travel together (the
// scan tells what it leaves out), the version of the kernel package, and the destination beside
// the folder, named after it and the version.
void scan_folder_for_packing(PackagingForm& form, const std::string& folder);

// The destination again, after the form's folder or version changed.
void propose_package_destination(PackagingForm& form);

// Results of the packing besides pack_files' own.
// The package file (or its encryption) would overwrite a listed package or the company key file:
// "Output would overwrite an input[path:%s]", nothing was written.
inline constexpr int kPackRefused = 0;

// Packs the form's packages into its destination and tells the outcome: "Success", or "Fail with
// error[%d]" with pack_files' code (after "Input version" when the version is empty). pack_files' result, or kPackRefused.
int pack_listed_packages(const PackagingForm& form);

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
int pack_folder(const PackRequest& request);

} // namespace kestrane
