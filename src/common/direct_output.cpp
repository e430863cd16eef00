#include "common/direct_output.h"

#include "common/platform_io.h"

namespace kestrane {
namespace {

// A few blocks in flight keep the disk busy while the producer copies the next ones.
constexpr size_t kBlockSize = size_t{1} << 20;
constexpr size_t kBlockCount = 4;

} // namespace

bool DirectOutput::write_at_offset(const uint8_t* data, size_t count)
{
    while (count > 0) {
        const int64_t written = write_at(m_descriptor, data, count, m_offset);
        // Some file systems take the flag and then refuse the writes: go through the page cache.
        if (written == kIoDirectRefused && m_direct && leave_direct_mode())
            continue;
        if (written <= 0)
            return false;
        data += written;
        count -= static_cast<size_t>(written);
        m_offset += static_cast<uint64_t>(written);
    }
    return true;
}

std::unique_ptr<DirectOutput> DirectOutput::attach(int descriptor, uint64_t offset)
{
    if (!set_direct_io(descriptor, true))
        return nullptr;
    return std::unique_ptr<DirectOutput>(new DirectOutput(descriptor, offset));
}

bool DirectOutput::leave_direct_mode()
{
    if (!set_direct_io(m_descriptor, false))
        return false;
    m_direct = false;
    return true;
}

DirectOutput::DirectOutput(int descriptor, uint64_t offset) : m_descriptor(descriptor), m_offset(offset)
{
    m_pipeline = std::make_unique<BlockPipeline>(
        std::vector<BlockPipeline::Consumer>{[this](const uint8_t* data, size_t count) { write_block(data, count); }},
        kBlockSize, kBlockCount);
}

DirectOutput::~DirectOutput()
{
    abandon();
}

void DirectOutput::write_block(const uint8_t* data, size_t count)
{
    if (m_failed.load() || m_abandoned.load())
        return;
    // Direct writes take whole aligned units at aligned offsets; the rest (the file's end) goes
    // through the page cache.
    const size_t unit = kPageAlignment;
    size_t direct = 0;
    if (m_direct && m_offset % unit == 0)
        direct = count - count % unit;
    bool ok = write_at_offset(data, direct);
    if (ok && direct < count)
        ok = (!m_direct || leave_direct_mode()) && write_at_offset(data + direct, count - direct);
    if (!ok)
        m_failed.store(true);
}

bool DirectOutput::write(const void* data, size_t count)
{
    if (m_failed.load() || !m_pipeline)
        return false;
    m_pipeline->feed(data, count);
    return !m_failed.load();
}

bool DirectOutput::finish()
{
    if (m_pipeline)
        m_pipeline->finish();
    return !m_failed.load() && !m_abandoned.load();
}

void DirectOutput::abandon()
{
    m_abandoned.store(true);
    m_pipeline.reset();
}

} // namespace kestrane
