#include "format/integrity.h"

#include "common/input_file.h"
#include "format/md5.h"
#include "format/tagged_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kestrane {

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

    Md5 md5;
    md5.update(header, sizeof header);
    std::vector<uint8_t> block(1 << 20);
    for (uint64_t left = covered - sizeof header; left > 0;) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
        if (!file.read_exact(block.data(), count))
            return IntegrityCheck::Unreadable;
        md5.update(block.data(), count);
        left -= count;
    }
    uint8_t trailer[layout::kTrailerSize];
    if (!file.read_exact(trailer, sizeof trailer))
        return IntegrityCheck::Unreadable;
    const Md5Digest digest = md5.finish();
    return std::memcmp(digest.data(), trailer, sizeof trailer) == 0 ? IntegrityCheck::Passes : IntegrityCheck::Fails;
}

} // namespace kestrane
