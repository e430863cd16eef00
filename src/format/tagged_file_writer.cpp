#include "format/tagged_file_writer.h"

#include "common/resource_failures.h"
#include "format/little_endian.h"

namespace kestrane {

TaggedFileWriter::TaggedFileWriter(const std::string& destination, FileAccess access, Observer observer, IoPolicy& io)
    : m_output(destination, io), m_access(access), m_observer(std::move(observer)),
      m_writer([this](const uint8_t* data, size_t count) { return m_output.write(data, count); }),
      // Each block starts where a block of the file starts, so that past its first MiB the output
      // can hand it to the disk as it is.
      m_blocks({[this](const uint8_t* data, size_t count) { m_md5.update(data, count); },
                [this](const uint8_t* data, size_t count) { m_writer(data, count); }},
               BlockPipeline::kDefaultBlockSize, BlockPipeline::kDefaultBlockCount, io)
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

int write_tagged_file(const std::string& destination, std::string_view type_tag, std::string_view attribute_tag,
                      const InformationField& information, std::span<const uint8_t> payload, FileAccess access,
                      IoPolicy& io)
{
    return or_cannot_create(kCannotCreateDestination, [&] {
        TaggedFileWriter writer(destination, access, {}, io);
        if (payload.size() > UINT32_MAX
            || !writer.begin(type_tag, attribute_tag, information, static_cast<uint32_t>(payload.size())))
            return kCannotCreateDestination;
        writer.append(payload.data(), payload.size());
        return writer.finish();
    });
}

} // namespace kestrane
