#include "pack/package_listing.h"

#include "common/input_file.h"
#include "crypt/package_encoder.h"
#include "format/little_endian.h"
#include "format/tagged_layout.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

namespace kestrane {
namespace {

// Reads one region of a file in order through a buffer: many small entries cost few reads, and
// what lies between their headers is skipped by a seek.
class RegionReader {
public:
    RegionReader(InputFile& file, uint64_t offset, uint64_t length) : m_file(file), m_next(offset), m_left(length) {}

    // Bytes of the region not consumed yet.
    uint64_t left() const { return m_left; }
    bool failed() const { return m_failed; }

    // The next `count` bytes; the caller makes sure the region still holds them.
    bool read(uint8_t* destination, size_t count)
    {
        while (buffered() < count) {
            if (!fill())
                return false;
        }
        std::memcpy(destination, m_buffer.data() + m_begin, count);
        m_begin += count;
        m_left -= count;
        return true;
    }

    void skip(uint64_t count)
    {
        m_left -= count;
        if (count <= buffered()) {
            m_begin += static_cast<size_t>(count);
            return;
        }
        m_next += count - buffered();
        m_begin = m_end = 0;
        m_seek = true;
    }

private:
    static constexpr size_t kBlock = size_t{64} << 10;

    size_t buffered() const { return m_end - m_begin; }

    bool fill()
    {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, buffered());
        m_end = buffered();
        m_begin = 0;
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(m_buffer.size() - m_end, m_left - m_end));
        if (m_seek && !m_file.seek(m_next))
            return fail();
        m_seek = false;
        const int64_t got = m_file.read_up_to(m_buffer.data() + m_end, wanted);
        if (got <= 0)
            return fail();
        m_end += static_cast<size_t>(got);
        m_next += static_cast<uint64_t>(got);
        return true;
    }

    bool fail()
    {
        m_failed = true;
        return false;
    }

    InputFile& m_file;
    uint64_t m_next; // the file offset of the first byte not in the buffer
    uint64_t m_left; // region bytes not consumed, the buffered ones included
    std::vector<uint8_t> m_buffer = std::vector<uint8_t>(kBlock);
    size_t m_begin = 0;
    size_t m_end = 0;
    bool m_seek = true;
    bool m_failed = false;
};

bool length_fits(const HeaderSummary& summary, const uint8_t* header, uint64_t size)
{
    if (size < layout::kHeaderSize)
        return false;
    const uint64_t length = load_u32_le(header + layout::kLengthOffset);
    if (summary.attribute_tag == tags::kPlain)
        return size == length + layout::kFramingSize;
    if (summary.attribute_tag == tags::kEncryptBasic || summary.attribute_tag == tags::kEncryptNew)
        return size == length + package::kOverhead;
    return false;
}

// The next entry, or nothing when its size field or its bytes run past the payload.
std::optional<PackageEntry> read_entry(RegionReader& payload)
{
    uint8_t size_field[4];
    if (payload.left() < sizeof size_field || !payload.read(size_field, sizeof size_field))
        return std::nullopt;
    PackageEntry entry;
    entry.size = load_u32_le(size_field);
    if (entry.size > payload.left())
        return std::nullopt;
    uint8_t header[layout::kHeaderSize] = {};
    const size_t header_size = static_cast<size_t>(std::min<uint64_t>(entry.size, sizeof header));
    if (!payload.read(header, header_size))
        return std::nullopt;
    payload.skip(entry.size - header_size);
    entry.summary = summarize_header(std::span(header, header_size), {});
    entry.length_fits = length_fits(entry.summary, header, entry.size);
    return entry;
}

} // namespace

PackageListing list_package_entries(InputFile& file, uint64_t offset, uint64_t length)
{
    PackageListing listing;
    RegionReader payload(file, offset, length);
    uint8_t count_field[4];
    if (payload.left() < sizeof count_field || !payload.read(count_field, sizeof count_field)) {
        listing.layout = payload.failed() ? PackageLayout::Unreadable : PackageLayout::DoesNotFit;
        return listing;
    }
    listing.count = load_u32_le(count_field);
    for (uint32_t i = 0; i < listing.count; ++i) {
        std::optional<PackageEntry> entry = read_entry(payload);
        if (!entry) {
            listing.layout = payload.failed() ? PackageLayout::Unreadable : PackageLayout::DoesNotFit;
            return listing;
        }
        listing.lengths_fit = listing.lengths_fit && entry->length_fits;
        if (listing.entries.size() < kMaxListedEntries)
            listing.entries.push_back(std::move(*entry));
    }
    listing.layout = payload.left() == 0 ? PackageLayout::Fits : PackageLayout::DoesNotFit;
    return listing;
}

} // namespace kestrane
