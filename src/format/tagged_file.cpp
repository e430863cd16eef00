#include "format/tagged_file.h"

#include "common/resource_failures.h"

#include <algorithm>
#include <cstring>

namespace kestrane {
namespace {

void copy_text(uint8_t* destination, std::string_view text, size_t limit)
{
    if (!text.empty())
        std::memcpy(destination, text.data(), std::min(text.size(), limit));
}

// The text of `count` bytes up to the first zero byte.
std::string text_until_zero(const uint8_t* bytes, size_t count)
{
    const auto* end = std::find(bytes, bytes + count, uint8_t{0});
    return std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(end - bytes));
}

// Exactly four tag bytes: the tag's characters, zero-filled when it is shorter.
std::array<uint8_t, layout::kTagSize> tag_bytes(std::string_view tag)
{
    std::array<uint8_t, layout::kTagSize> bytes{};
    copy_text(bytes.data(), tag, bytes.size());
    return bytes;
}

} // namespace

void store_u32_le(uint8_t* destination, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        destination[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t load_u32_le(const uint8_t* source)
{
    return static_cast<uint32_t>(source[0]) | static_cast<uint32_t>(source[1]) << 8
        | static_cast<uint32_t>(source[2]) << 16 | static_cast<uint32_t>(source[3]) << 24;
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

TaggedFileWriter::TaggedFileWriter(const std::string& destination, FileAccess access, Observer observer)
    : m_output(destination), m_access(access), m_observer(std::move(observer)),
      m_writer([this](const uint8_t* data, size_t count) { return m_output.write(data, count); }),
      // Each block starts where a block of the file starts, so that past its first MiB the output
      // can hand it to the disk as it is.
      m_blocks({[this](const uint8_t* data, size_t count) { m_md5.update(data, count); },
                [this](const uint8_t* data, size_t count) { m_writer(data, count); }})
{
}

TaggedFileWriter::~TaggedFileWriter()
{
    stop_writing();
}

bool TaggedFileWriter::begin(std::string_view type_tag, std::string_view attribute_tag,
                             const InformationField& information, uint32_t payload_length)
{
    m_ok = m_output.open(m_access);
    if (!m_ok)
        return false;
    uint8_t length[4];
    store_u32_le(length, payload_length);
    m_payload_expected = payload_length;
    m_payload_written = 0;
    // The digest sees exactly the byte runs of the layout, in file order.
    const auto type = tag_bytes(type_tag);
    const auto attribute = tag_bytes(attribute_tag);
    return put(type.data(), type.size()) && put(attribute.data(), attribute.size())
        && put(information.data(), information.size()) && put(length, sizeof length);
}

bool TaggedFileWriter::append(const void* data, size_t count)
{
    m_payload_written += count;
    return put(data, count);
}

std::span<uint8_t> TaggedFileWriter::payload_buffer()
{
    return m_blocks.acquire();
}

bool TaggedFileWriter::append_buffer(size_t count)
{
    const std::span<uint8_t> buffer = m_blocks.acquire();
    m_payload_written += count;
    if (!ok() || count > buffer.size())
        return m_ok = false;
    // The digest and the writer read the buffer on their threads while the observer reads it here.
    m_blocks.submit(count);
    if (m_observer)
        m_observer(buffer.data(), count);
    return ok();
}

bool TaggedFileWriter::put(const void* data, size_t count)
{
    if (!ok())
        return false;
    m_blocks.feed(data, count);
    if (m_observer)
        m_observer(static_cast<const uint8_t*>(data), count);
    return ok();
}

// Lets the writer's thread skip what is still queued, and waits for it.
void TaggedFileWriter::stop_writing()
{
    m_writer.stop();
    m_blocks.finish();
}

int TaggedFileWriter::finish()
{
    if (m_ok && m_payload_written == m_payload_expected) {
        m_blocks.finish();
        const Md5Digest trailer = m_md5.finish();
        if (!m_writer.failed() && m_output.write(trailer.data(), trailer.size())) {
            if (m_observer)
                m_observer(trailer.data(), trailer.size());
            if (m_output.commit())
                return kWriteOk;
        }
    }
    stop_writing();
    m_output.discard();
    m_ok = false;
    return kCannotCreateDestination;
}

int write_tagged_file(const std::string& destination, std::string_view type_tag,
                      std::string_view attribute_tag, const InformationField& information,
                      std::span<const uint8_t> payload, FileAccess access)
{
    return or_cannot_create(kCannotCreateDestination, [&] {
        TaggedFileWriter writer(destination, access);
        if (payload.size() > UINT32_MAX
            || !writer.begin(type_tag, attribute_tag, information, static_cast<uint32_t>(payload.size())))
            return kCannotCreateDestination;
        writer.append(payload.data(), payload.size());
        return writer.finish();
    });
}

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
