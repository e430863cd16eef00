#include "wrap/source_checks.h"

#include "common/input_file.h"
#include "common/paths.h"
#include "common/text_format.h"
#include "wrap/wrapping.h"

#include <cctype>
#include <charconv>
#include <cstring>
#include <string_view>

namespace kestrane {
namespace {

constexpr size_t kImageHeadSize = 1024;
constexpr size_t kNameOffset = 32;
constexpr size_t kNameSize = 32;
// A file of this many bytes or fewer is too short to be an image.
constexpr int64_t kShortestImage = 90;

constexpr std::string_view kKernelPrefix = "Linux image HW";
constexpr size_t kKernelVersionOffset = 20;
constexpr std::string_view kEmergencyPrefix = "Emergency image";
constexpr size_t kEmergencyVersionOffset = 18; // the length of "Emergency image KR"

bool begins_with_ignoring_case(const ImageName& name, std::string_view prefix)
{
    for (size_t i = 0; i < prefix.size(); ++i)
        if (ascii_lower(name[i]) != ascii_lower(prefix[i]))
            return false;
    return true;
}

// The name field's text from `offset` to the first zero byte or the end of the field.
std::string text_from(const ImageName& name, size_t offset)
{
    return std::string(name.data() + offset, strnlen(name.data() + offset, kNameSize - offset));
}

// A decimal number as the C library's "%d" reads one: white space first, then an optional sign and
// at least one digit. Nothing when there is none or it does not fit an int (where "%d" gives an
// undefined value). `text` moves past what was read.
std::optional<int> scan_decimal(std::string_view& text)
{
    size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        ++at;
    const size_t digits = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9')
        ++at;
    if (at == digits)
        return std::nullopt;
    // The digits with their sign: from_chars takes a minus but no plus.
    const std::string number = (negative ? "-" : "") + std::string(text.substr(digits, at - digits));
    int value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size())
        return std::nullopt;
    text.remove_prefix(at);
    return value;
}

bool consume(std::string_view& text, std::string_view literal)
{
    if (!text.starts_with(literal))
        return false;
    text.remove_prefix(literal.size());
    return true;
}

std::optional<std::string> version_after_prefix(const ImageName& name, std::string_view prefix, size_t offset)
{
    if (!begins_with_ignoring_case(name, prefix))
        return std::nullopt;
    return text_from(name, offset);
}

struct ImageRule {
    std::optional<std::string> (*version)(const ImageName&);
    const char* read_failure; // printf format taking the reader's result
    const char* invalid_name;
};

const ImageRule kKernelRule{kernel_version, "Failed to get firmware information with error[%d]",
                            "Invalid firmware file"};
const ImageRule kBootloaderRule{bootloader_version, "Failed to get bootloader information with error[%d]",
                                "Invalid bootloader file"};
const ImageRule kEmergencyRule{emergency_version, "Failed to get firmware information with error[%d]",
                               "Invalid firmware file"};

SourceInspection refused(std::string message)
{
    SourceInspection inspection;
    inspection.message = std::move(message);
    return inspection;
}

SourceInspection inspect_image(const std::string& path, const ImageRule& rule)
{
    ImageName name{};
    if (const int result = read_image_name(path, name); result < 0)
        return refused(format_text(rule.read_failure, result));
    std::optional<std::string> version = rule.version(name);
    if (!version)
        return refused(rule.invalid_name);
    return SourceInspection{true, SourceKind::File, std::move(*version), false, {}};
}

} // namespace

int read_image_name(const std::string& path, ImageName& name)
{
    InputFile file;
    if (!file.open(path))
        return kImageUnreadable;
    uint8_t head[kImageHeadSize] = {};
    if (file.read_up_to(head, sizeof head) <= kShortestImage)
        return kImageTooShort;
    name.fill('\0');
    std::memcpy(name.data(), head + kNameOffset, kNameSize);
    for (char& c : name) {
        if (c == '\0')
            break;
        if (c == 'r')
            c = '.';
    }
    return kImageNameRead;
}

std::optional<std::string> kernel_version(const ImageName& name)
{
    return version_after_prefix(name, kKernelPrefix, kKernelVersionOffset);
}

std::optional<std::string> bootloader_version(const ImageName& name)
{
    // "ub%dm.%d.bin": what follows the second number is not examined.
    std::string_view text(name.data(), strnlen(name.data(), kNameSize));
    if (!consume(text, "ub") || !scan_decimal(text) || !consume(text, "m."))
        return std::nullopt;
    const std::optional<int> version = scan_decimal(text);
    if (!version)
        return std::nullopt;
    return std::to_string(*version);
}

std::optional<std::string> emergency_version(const ImageName& name)
{
    return version_after_prefix(name, kEmergencyPrefix, kEmergencyVersionOffset);
}

SourceInspection inspect_source(int type, const std::string& path)
{
    if (type < 0 || type >= static_cast<int>(kWrappingTypeCount))
        return refused("Invalid file type");
    switch (type) {
    case kWrapKernel:
        return inspect_image(path, kKernelRule);
    case kWrapBootloader:
        return inspect_image(path, kBootloaderRule);
    case kWrapEmergency:
        return inspect_image(path, kEmergencyRule);
    default:
        break;
    }
    const bool directory = wrapping_types()[static_cast<size_t>(type)].directory;
    return SourceInspection{true, directory ? SourceKind::Directory : SourceKind::File, {}, true, {}};
}

bool check_source_kind(const std::string& path, SourceKind expected)
{
    return expected == SourceKind::Directory ? is_directory(path) : is_regular_file(path);
}

} // namespace kestrane
