#include "common/direct_output.h"

#include "common/platform_io.h"

#include <algorithm>
#include <cstring>

namespace kestrane {
namespace {

constexpr size_t kGatherSize = size_t{1} << 20;

bool is_page_aligned(const void* data)
{
    return reinterpret_cast<uintptr_t>(data) % kPageAlignment == 0;
}

} // namespace

std::unique_ptr<DirectOutput> DirectOutput::attach(int descriptor, uint64_t offset)
{
    AlignedBytes gathered = allocate_page_aligned(kGatherSize);
    if (!gathered || !set_direct_io(descriptor, true))
        return nullptr;
    return std::unique_ptr<DirectOutput>(new DirectOutput(descriptor, offset, std::move(gathered)));
}

DirectOutput::DirectOutput(int descriptor, uint64_t offset, AlignedBytes gathered)
    : m_descriptor(descriptor), m_offset(offset), m_gathered(std::move(gathered))
{
}

DirectOutput::~DirectOutput() = default;

bool DirectOutput::write(const void* data, size_t count)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (count > 0 && !m_failed) {
        if (m_gathered_count == 0 && is_page_aligned(bytes) && count >= kPageAlignment) {
            const size_t pages = count - count % kPageAlignment;
            m_failed = !write_at_offset(bytes, pages);
            bytes += pages;
            count -= pages;
            continue;
        }
        const size_t take = std::min(count, kGatherSize - m_gathered_count);
        std::memcpy(m_gathered.get() + m_gathered_count, bytes, take);
        m_gathered_count += take;
        bytes += take;
        count -= take;
        if (m_gathered_count == kGatherSize) {
            m_failed = !write_at_offset(m_gathered.get(), m_gathered_count);
            m_gathered_count = 0;
        }
    }
    return !m_failed;
}

bool DirectOutput::finish()
{
    // Direct writes take whole aligned pages; the file's end goes through the page cache.
    if (!m_failed && m_gathered_count > 0) {
        const size_t pages = m_gathered_count - m_gathered_count % kPageAlignment;
        bool ok = write_at_offset(m_gathered.get(), pages);
        if (ok && pages < m_gathered_count)
            ok = (!m_direct || leave_direct_mode())
                && write_at_offset(m_gathered.get() + pages, m_gathered_count - pages);
        m_failed = !ok;
    }
    m_gathered_count = 0;
    return !m_failed;
}

void DirectOutput::abandon()
{
    m_gathered_count = 0;
}

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

bool DirectOutput::leave_direct_mode()
{
    if (!set_direct_io(m_descriptor, false))
        return false;
    m_direct = false;
    return true;
}

} // namespace kestrane
