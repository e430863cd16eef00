#include "format/integrity.h"

#include "common/input_file.h"
#include "format/little_endian.h"
#include "format/tagged_layout.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kestrane {

void Md5TrailerCheck::update(const uint8_t* data, size_t count)
{
    const uint64_t end = m_seen + count;
    if (m_seen < layout::kHeaderSize) {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(count, layout::kHeaderSize - m_seen));
        std::memcpy(m_header.data() + m_seen, data, take);
        if (m_seen + take == layout::kHeaderSize)
            m_covered = layout::kHeaderSize + uint64_t{load_u32_le(m_header.data() + layout::kLengthOffset)};
    }
    // The header is always covered; what follows it is known once the header went by.
    const uint64_t covered = std::max<uint64_t>(m_covered, layout::kHeaderSize);
    if (m_seen < covered)
        m_md5.update(data, static_cast<size_t>(std::min(end, covered) - m_seen));
    if (m_covered != 0) {
        const uint64_t trailer_end = std::min(end, m_covered + layout::kTrailerSize);
        for (uint64_t at = std::max(m_seen, m_covered); at < trailer_end; ++at)
            m_trailer[static_cast<size_t>(at - m_covered)] = data[at - m_seen];
    }
    m_seen = end;
}

IntegrityCheck Md5TrailerCheck::result()
{
    if (m_covered == 0 || m_seen != m_covered + layout::kTrailerSize)
        return IntegrityCheck::Truncated;
    const Md5Digest digest = m_md5.finish();
    return std::memcmp(digest.data(), m_trailer.data(), m_trailer.size()) == 0 ? IntegrityCheck::Passes
                                                                               : IntegrityCheck::Fails;
}

IntegrityCheck check_md5_trailer(const std::string& path)
{
    InputFile file;
    if (!file.open(path))
        return IntegrityCheck::Unreadable;
    uint8_t header[layout::kHeaderSize];
    if (!file.read_exact(header, sizeof header))
        return IntegrityCheck::Truncated;
    const uint64_t covered = layout::kHeaderSize + uint64_t{load_u32_le(header + layout::kLengthOffset)};
    if (file.size() != covered + layout::kTrailerSize)
        return IntegrityCheck::Truncated;

    Md5TrailerCheck check;
    check.update(header, sizeof header);
    std::vector<uint8_t> block(1 << 20);
    for (uint64_t left = file.size() - sizeof header; left > 0;) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
        if (!file.read_exact(block.data(), count))
            return IntegrityCheck::Unreadable;
        check.update(block.data(), count);
        left -= count;
    }
    return check.result();
}

} // namespace kestrane
