#pragma once

#include "common/io_policy.h"
#include "common/progress.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrane {

// A package file is a tagged file (type "PKG0", attribute "PLAN", the package version in the
// information field) whose payload is
//   entry count N (4, LE) | size S1 (4, LE) | bytes of file 1 | size S2 | bytes of file 2 | ...
// with every listed file taken whole and unchanged, in list order.

// Results of pack_files.
inline constexpr int kPackOk = 1;
// Empty version (the caller tells "Input version").
inline constexpr int kPackVersionMissing = -1;
// The destination cannot be created or a write to it failed (or the system ran short of memory or
// threads on the way).
inline constexpr int kPackCannotCreate = -2;
// Version longer than 20 characters.
inline constexpr int kPackVersionTooLong = -3;
// A listed file cannot be opened or read, or its size changed while it was packed.
inline constexpr int kPackListedFileUnreadable = -4;
// The payload would be longer than 0xFFFFFFFF bytes, the most its length field holds.
inline constexpr int kPackPayloadTooLarge = -5;
// And kOperationCancelled (common/progress.h) when the user cancelled the packing.

// Packs the files `names` of `source_directory`, in that order, into the package file
// `destination`. The files are streamed, never held whole in memory. On any failure no package is
// written and an existing destination stays as it was. Checks, in order: empty version (-1, shows
// "Input version"), version too long (-3), every listed file opened and sized (-4), payload size
// (-5); then the destination is written, shown by `progress` (none: not shown) (-2 on a failed create or write, -4 on a failed read).
int pack_files(const std::string& version, const std::string& source_directory, std::vector<std::string> names,
               const std::string& destination, IoPolicy& io = system_io(), ProgressPresenter* progress = nullptr);

} // namespace kestrane
