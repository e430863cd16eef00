#include "crypt/hmac_md5.h"

#include <openssl/crypto.h>

#include <cstring>

namespace kestrane {

HmacMd5::HmacMd5(const uint8_t* key, size_t key_length)
{
    // A key longer than a block is replaced by its digest; a shorter one is zero-filled.
    std::array<uint8_t, Md5::kBlockSize> block{};
    if (key_length > block.size()) {
        const Md5Digest digest = md5_of(key, key_length);
        std::memcpy(block.data(), digest.data(), digest.size());
    } else if (key_length > 0) {
        std::memcpy(block.data(), key, key_length);
    }
    std::array<uint8_t, Md5::kBlockSize> inner_pad;
    for (size_t i = 0; i < block.size(); ++i) {
        inner_pad[i] = block[i] ^ 0x36;
        m_outer_pad[i] = block[i] ^ 0x5c;
    }
    m_inner.update(inner_pad.data(), inner_pad.size());
    OPENSSL_cleanse(block.data(), block.size());
    OPENSSL_cleanse(inner_pad.data(), inner_pad.size());
}

HmacMd5::~HmacMd5()
{
    OPENSSL_cleanse(m_outer_pad.data(), m_outer_pad.size());
}

void HmacMd5::update(const void* data, size_t count)
{
    m_inner.update(data, count);
}

Tag HmacMd5::finish()
{
    const Md5Digest inner = m_inner.finish();
    Md5 outer;
    outer.update(m_outer_pad.data(), m_outer_pad.size());
    outer.update(inner.data(), inner.size());
    const Md5Digest digest = outer.finish();
    Tag tag;
    std::memcpy(tag.data(), digest.data(), tag.size());
    return tag;
}

void hmac_md5(const uint8_t* key, size_t key_length, const uint8_t* data, size_t length, uint8_t* tag)
{
    HmacMd5 hmac(key, key_length);
    hmac.update(data, length);
    const Tag result = hmac.finish();
    std::memcpy(tag, result.data(), result.size());
}

} // namespace kestrane
