#include "format/tagged_header_reader.h"

#include "common/input_file.h"
#include "format/tagged_layout.h"

#include <algorithm>
#include <cstring>

namespace kestrane {

HeaderSummary summarize_header(std::span<const uint8_t> header, const std::string& path)
{
    using namespace layout;
    uint8_t bytes[kSummaryBytes] = {};
    if (!header.empty()) // an empty span may have no data pointer at all
        std::memcpy(bytes, header.data(), std::min(header.size(), sizeof bytes));

    InformationField field{};
    std::memcpy(field.data(), bytes + kInformationOffset, kSummaryBytes - kInformationOffset);

    HeaderSummary summary;
    summary.path = path;
    summary.type_tag = text_until_zero(bytes + kTypeTagOffset, kTagSize);
    summary.attribute_tag = text_until_zero(bytes + kAttributeTagOffset, kTagSize);
    summary.model_tag = text_until_zero(field.data() + kModelTagField, kModelTagSize);
    summary.version = read_version(field);
    summary.company_name = text_until_zero(field.data() + kCompanyNameField, kCompanyNameSize);
    return summary;
}

int read_header_summary(const std::string& path, HeaderSummary& summary)
{
    InputFile file;
    if (!file.open(path))
        return kSummaryUnreadable;
    uint8_t header[layout::kSummaryBytes] = {};
    const int64_t got = file.read_up_to(header, sizeof header);
    if (got < 0)
        return kSummaryUnreadable;
    summary = summarize_header(std::span(header, static_cast<size_t>(got)), path);
    return kSummaryRead;
}

} // namespace kestrane
