#include "crypt/package_checks.h"

#include "common/file_io.h"
#include "crypt/package_encoder.h"
#include "format/little_endian.h"
#include "format/tagged_layout.h"

#include <algorithm>
#include <vector>

namespace kestrane {

std::optional<uint32_t> package_body_length(const std::string& path)
{
    InputFile file;
    uint8_t header[layout::kHeaderSize];
    if (!file.open(path) || !file.read_exact(header, sizeof header))
        return std::nullopt;
    const uint32_t body = load_u32_le(header + layout::kLengthOffset);
    if (file.size() != uint64_t{body} + package::kOverhead)
        return std::nullopt;
    return body;
}

IntegrityCheck check_package_tag(const std::string& path, const CompanyKey& key)
{
    InputFile file;
    if (!file.open(path))
        return IntegrityCheck::Unreadable;
    if (file.size() < package::kOverhead)
        return IntegrityCheck::Truncated;
    HmacMd5 tag(key.data(), key.size());
    std::vector<uint8_t> block(package::kStreamBlock);
    for (uint64_t left = file.size() - sealing::kTagSize; left > 0;) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
        if (!file.read_exact(block.data(), count))
            return IntegrityCheck::Unreadable;
        tag.update(block.data(), count);
        left -= count;
    }
    Tag stored{};
    if (!file.read_exact(stored.data(), stored.size()))
        return IntegrityCheck::Unreadable;
    return tag.finish() == stored ? IntegrityCheck::Passes : IntegrityCheck::Fails;
}

} // namespace kestrane
