#include "crypt/package_encoder.h"

#include "format/little_endian.h"
#include "format/tagged_layout.h"

#include <cstring>

namespace kestrane {

std::string_view encrypt_mode_tag(EncryptMode mode)
{
    return mode == EncryptMode::New ? tags::kEncryptNew : tags::kEncryptBasic;
}

bool is_plain_tagged_file(const uint8_t* header, uint64_t n)
{
    if (n < layout::kFramingSize)
        return false;
    if (std::memcmp(header + layout::kAttributeTagOffset, tags::kPlain.data(), layout::kTagSize) != 0)
        return false;
    return load_u32_le(header + layout::kLengthOffset) == n - layout::kFramingSize;
}

BodySource body_source(const uint8_t* header, uint64_t n, EncryptMode mode)
{
    if (mode == EncryptMode::New)
        return {0, n};
    return {layout::kLengthOffset, uint64_t{load_u32_le(header + layout::kLengthOffset)} + 4 + layout::kTrailerSize};
}

} // namespace kestrane
