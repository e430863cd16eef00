#pragma once

#include "format/tagged_file.h"

#include <array>
#include <string>
#include <string_view>

namespace kestrane {

// A wrapped file is a tagged file (attribute "PLAN") whose type tag names the content, whose
// information field carries the version (and the camera model for the dome types) and whose
// payload is the source's bytes: a tar archive for the directory types, the sealed file for
// "BRD0", the file unchanged for every other type.

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
    std::string_view word;        // "webpage", ... "" for RAW type
    std::string_view type_tag;    // "WEB0", ...
    std::string_view model_tag;   // "7720"/"7760" for the dome types, else ""
    bool directory;               // types 0 and 1
};

const std::array<WrappingType, kWrappingTypeCount>& wrapping_types();

// Results of write_wrapped_file (and, when writing failed, of wrap_file).
inline constexpr int kWrapOk = 1;
// The source cannot be opened or read; for a directory: the archiver failed to start, exited
// with a non-zero status or left no archive.
inline constexpr int kWrapSourceUnreadable = -1;
// The destination cannot be created or a write to it failed.
inline constexpr int kWrapCannotCreate = -2;
// Type tag or model tag longer than 4 characters, or version longer than 20.
inline constexpr int kWrapFieldTooLong = -3;
// Brand file that is empty or whose first byte is neither '[' nor ' '.
inline constexpr int kWrapNotBrandFile = -4;
// Sealing a brand file failed.
inline constexpr int kWrapSealingFailed = -5;
// The source's size changed while it was read.
inline constexpr int kWrapSourceChanged = -6;
// The payload would be longer than 0xFFFFFFFF bytes, the most its length field holds.
inline constexpr int kWrapSourceTooLarge = -7;

// The wrapping operation. Shows exactly one message on every path. 1 written; 0 refused input;
// -1 type index above 9; the writer's negative code when writing failed. Directory types are
// archived first into destination + ".tmp", which is removed again on every path. An observer
// sees every byte of the wrapped file as it is written (to encrypt it on the way).
int wrap_file(unsigned type, const std::string& version, const std::string& source_path,
              const std::string& destination_path, const TaggedFileWriter::Observer& observer = {});

// Writes the wrapped file; no messages. The source is streamed with bounded memory and the
// destination replaced atomically: on any failure no file is left and an existing destination
// stays as it was. Checks, in order: type tag (-3), source opened (-1), model tag and version
// (-3), payload size (-7), brand first byte (-4); then the destination is written (-2 on a failed
// create or write, -1 on a failed read, -5 on a failed sealing, -6 when the source changed size).
int write_wrapped_file(const std::string& source_path, const std::string& destination_path,
                       std::string_view type_tag, std::string_view model_tag, const std::string& version,
                       const TaggedFileWriter::Observer& observer = {});

} // namespace kestrane
