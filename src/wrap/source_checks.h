#pragma once

#include <array>
#include <optional>
#include <string>

namespace kestrane {

// The image name: the 32 bytes at file offset 32 of a kernel, bootloader or emergency image, as a
// zero-terminated string in which every lower-case 'r' has been turned into '.'.
using ImageName = std::array<char, 33>;   // 32 name bytes + terminator

// Results of read_image_name.
inline constexpr int kImageNameRead = 1;
inline constexpr int kImageUnreadable = -1; // the file cannot be opened
inline constexpr int kImageTooShort = -2;   // 90 bytes or fewer could be read from it

int read_image_name(const std::string& path, ImageName& name);

// The rules for each image kind; nullopt when the name does not match.
// Begins with "Linux image HW" (any case): the text from offset 20 to the first zero or the end.
std::optional<std::string> kernel_version(const ImageName& name);
// Scans as "ub%dm.%d.bin" with both numbers converted: the second number in decimal. A number
// out of the range of an int does not match.
std::optional<std::string> bootloader_version(const ImageName& name);
// Begins with "Emergency image" (any case): the text from offset 18 to the first zero or the end.
std::optional<std::string> emergency_version(const ImageName& name);

enum class SourceKind { File, Directory };

struct SourceInspection {
    bool ok = false;
    SourceKind expected = SourceKind::File;
    std::string version;            // read from the image name for kernel, bootloader, emergency
    bool version_editable = true;   // false when the version came from the image name
    std::string message;            // why the source does not qualify; empty when it does
};

// What a source for wrapping type `type` must be, and for the image types the version their name
// carries. A failure carries its message; the inspection shows nothing.
SourceInspection inspect_source(int type, const std::string& path);

// Whether `path` is an existing directory (or an existing non-directory).
bool check_source_kind(const std::string& path, SourceKind expected);

} // namespace kestrane
