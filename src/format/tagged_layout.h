#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrane {

// The one record layout of every file the system writes:
//   0 type tag (4) | 4 attribute tag (4) | 8 information field (128) | 136 payload length (4, LE)
//   | 140 payload (L) | 140+L MD5 trailer (16) over everything before it.
namespace layout {
inline constexpr size_t kTagSize = 4;
inline constexpr size_t kTypeTagOffset = 0;
inline constexpr size_t kAttributeTagOffset = 4;
inline constexpr size_t kInformationOffset = 8;
inline constexpr size_t kInformationSize = 128;
inline constexpr size_t kLengthOffset = 136;
inline constexpr size_t kHeaderSize = 140;
inline constexpr size_t kTrailerSize = 16;
inline constexpr size_t kFramingSize = kHeaderSize + kTrailerSize; // 156

// Sub-fields of the information field, as offsets within the field.
inline constexpr size_t kModelTagField = 0;
inline constexpr size_t kModelTagSize = 4;
inline constexpr size_t kVersionFirstField = 4;
inline constexpr size_t kVersionFirstSize = 8;
inline constexpr size_t kCompanyNameField = 12;
inline constexpr size_t kCompanyNameSize = 16;
inline constexpr size_t kVersionSecondField = 44;
inline constexpr size_t kVersionSecondSize = 12;
inline constexpr size_t kVersionMaxLength = kVersionFirstSize + kVersionSecondSize; // 20

// Bytes a header summary needs: everything up to the end of the version's second slot.
inline constexpr size_t kSummaryBytes = kInformationOffset + kVersionSecondField + kVersionSecondSize;
} // namespace layout

namespace tags {
inline constexpr std::string_view kWeb = "WEB0";
inline constexpr std::string_view kAddOn = "AON0";
inline constexpr std::string_view kBrand = "BRD0";
inline constexpr std::string_view kOcx = "OCX0";
inline constexpr std::string_view kFirmware = "FRM0";
inline constexpr std::string_view kBootloader = "BOT0";
inline constexpr std::string_view kDome = "DOM0";
inline constexpr std::string_view kEmergency = "EMG0";
inline constexpr std::string_view kRaw = "RAW0";
inline constexpr std::string_view kPackage = "PKG0";
inline constexpr std::string_view kCompanyKey = "VID0";

inline constexpr std::string_view kPlain = "PLAN";
inline constexpr std::string_view kEncryptBasic = "ENCR";
inline constexpr std::string_view kEncryptNew = "ENC1";
} // namespace tags

using InformationField = std::array<uint8_t, layout::kInformationSize>;

// Model tag at field offset 0, the version split over its two slots, the company name (encrypted
// packages only). Longer texts are cut at their slot sizes; callers check the limits first.
InformationField build_information_field(std::string_view model_tag, std::string_view version,
                                         std::string_view company_name = {});

// Reads the version back from its two slots.
std::string read_version(const InformationField& field);

// Whether a version is too long for the information field (more than 20 characters).
inline bool version_too_long(std::string_view version)
{
    return version.size() > layout::kVersionMaxLength;
}

// Exactly four tag bytes: the tag's characters, zero-filled when it is shorter.
std::array<uint8_t, layout::kTagSize> tag_bytes(std::string_view tag);

// The text of `count` bytes up to the first zero byte.
std::string text_until_zero(const uint8_t* bytes, size_t count);

} // namespace kestrane
