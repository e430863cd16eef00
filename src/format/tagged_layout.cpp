#include "format/tagged_layout.h"

#include <algorithm>
#include <cstring>

namespace kestrane {
namespace {

void copy_text(uint8_t* destination, std::string_view text, size_t limit)
{
    if (!text.empty())
        std::memcpy(destination, text.data(), std::min(text.size(), limit));
}

} // namespace

std::string text_until_zero(const uint8_t* bytes, size_t count)
{
    const auto* end = std::find(bytes, bytes + count, uint8_t{0});
    return std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(end - bytes));
}

std::array<uint8_t, layout::kTagSize> tag_bytes(std::string_view tag)
{
    std::array<uint8_t, layout::kTagSize> bytes{};
    copy_text(bytes.data(), tag, bytes.size());
    return bytes;
}

InformationField build_information_field(std::string_view model_tag, std::string_view version,
                                         std::string_view company_name)
{
    using namespace layout;
    InformationField field{};
    copy_text(field.data() + kModelTagField, model_tag, kModelTagSize);
    copy_text(field.data() + kVersionFirstField, version, kVersionFirstSize);
    if (version.size() > kVersionFirstSize)
        copy_text(field.data() + kVersionSecondField, version.substr(kVersionFirstSize), kVersionSecondSize);
    copy_text(field.data() + kCompanyNameField, company_name, kCompanyNameSize);
    return field;
}

std::string read_version(const InformationField& field)
{
    using namespace layout;
    uint8_t joined[kVersionMaxLength];
    std::memcpy(joined, field.data() + kVersionFirstField, kVersionFirstSize);
    std::memcpy(joined + kVersionFirstSize, field.data() + kVersionSecondField, kVersionSecondSize);
    return text_until_zero(joined, sizeof joined);
}

} // namespace kestrane
