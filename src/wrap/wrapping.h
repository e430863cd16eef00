#pragma once

#include "common/outcome.h"
#include "wrap/wrapped_file_writer.h"

#include <array>
#include <string>
#include <string_view>

namespace kestrane {

// The wrapping types and the wrapping operation, which checks its input, archives a directory
// and tells its outcome; the wrapped-file writer does the writing.

inline constexpr unsigned kWrappingTypeCount = 10;

// Indices into wrapping_types(): the position in the dialog's type list and the command line's
// type number.
enum WrappingIndex : unsigned {
    kWrapWebPage = 0,
    kWrapAddOn = 1,
    kWrapBrand = 2,
    kWrapOcx = 3,
    kWrapKernel = 4,
    kWrapBootloader = 5,
    kWrapDome7720 = 6,
    kWrapDome7760 = 7,
    kWrapEmergency = 8,
    kWrapRaw = 9,
};

struct WrappingType {
    std::string_view list_text;   // "WebPage(DIR)", ... "RAW type"
    std::string_view word;        // the command line's word: "webpage", ... "raw"
    std::string_view type_tag;    // "WEB0", ...
    std::string_view model_tag;   // "7720"/"7760" for the dome types, else ""
    bool directory;               // types 0 and 1
};

const std::array<WrappingType, kWrappingTypeCount>& wrapping_types();

// Results of wrap_file besides the writer's.
// An input refused before anything was written; the message says why.
inline constexpr int kWrapRefused = 0;
// A type index above 9 ("Invalid file type"). It has always been -1, the value of
// kWrapSourceUnreadable as well: callers pass only indices of wrapping_types(), and the message
// tells the two apart.
inline constexpr int kWrapUnknownType = -1;

// The wrapping operation. Its outcome carries exactly one message on every path. kWrapOk written;
// kWrapRefused; kWrapUnknownType; the writer's negative code when writing failed. Directory types are
// archived first into a temporary archive of the run's own beside the destination
// (`<destination>.XXXXXX.tmp`), which is removed again on every path. An observer
// sees every byte of the wrapped file as it is written (to encrypt it on the way). Long work is
// shown by `progress` (none: not shown).
Outcome wrap_file(unsigned type, const std::string& version, const std::string& source_path,
                  const std::string& destination_path, const TaggedFileWriter::Observer& observer = {},
                  IoPolicy& io = system_io(), ProgressPresenter* progress = nullptr);

} // namespace kestrane
