#pragma once

#include "format/tagged_header_reader.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrane {

// What a scan of a folder found: the packages that may travel together in one package file (none at
// all when the folder is not a directory) and the messages that tell what was left out and why, in
// the order they arose.
struct PackageSources {
    std::optional<std::vector<HeaderSummary>> packages;
    std::vector<std::string> messages;
};

// Scans `folder` for encrypted packages that may travel together in one package file: at most one
// package per type tag ("DOM0" once per model tag), all of one company, encrypt mode "ENCR" only, a
// file whose size fits its body length, no company key files; the first met wins, in the order of
// list_directory_names. No package when none may ("Nothing target enc file"); none at all when the
// folder is not a directory ("Path[%s] is invalid").
PackageSources find_package_sources(const std::string& folder);

// The version of the first "FRM0" entry, the kernel package; none when there is none.
std::optional<std::string> kernel_package_version(const std::vector<HeaderSummary>& entries);

// The package file proposed for a folder: its parent directory joined with (last component of the
// folder + "-K" + version + ".wrp").
std::string package_destination(const std::string& folder, const std::string& version);

// Every entry of a directory (sub-directories and hidden entries too, "." and ".." left out),
// ascending by name without regard to ASCII case, ties broken byte-wise, so that the order does
// not depend on the file system. Empty when the directory cannot be listed.
std::vector<std::string> list_directory_names(const std::string& directory);

} // namespace kestrane
