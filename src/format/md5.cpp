#include "format/md5.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>

namespace kestrane {
namespace {

constexpr uint32_t rotate_left(uint32_t x, int count)
{
    return (x << count) | (x >> (32 - count));
}

// The four rounds' steps. Each adds the message word and constant to `a` first, since those do not
// wait for the previous step; G is written as a sum of disjoint terms for the same reason.
#define KESTRANE_MD5_F(a, b, c, d, k, s, t)                                                        \
    a += words[k] + (t);                                                                           \
    a += (d) ^ ((b) & ((c) ^ (d)));                                                                \
    a = (b) + rotate_left(a, s)
#define KESTRANE_MD5_G(a, b, c, d, k, s, t)                                                        \
    a += words[k] + (t);                                                                           \
    a += ~(d) & (c);                                                                               \
    a += (d) & (b);                                                                                \
    a = (b) + rotate_left(a, s)
#define KESTRANE_MD5_H(a, b, c, d, k, s, t)                                                        \
    a += words[k] + (t);                                                                           \
    a += (b) ^ (c) ^ (d);                                                                          \
    a = (b) + rotate_left(a, s)
#define KESTRANE_MD5_I(a, b, c, d, k, s, t)                                                        \
    a += words[k] + (t);                                                                           \
    a += (c) ^ ((b) | ~(d));                                                                       \
    a = (b) + rotate_left(a, s)

uint32_t load_word_le(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8
        | static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void store_word_le(uint8_t* bytes, uint32_t word)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(word >> (8 * i));
}

} // namespace

Md5::Md5() : m_state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

Md5::~Md5()
{
    OPENSSL_cleanse(m_state.data(), sizeof m_state);
    OPENSSL_cleanse(m_pending.data(), m_pending.size());
}

void Md5::compress(const uint8_t* blocks, size_t block_count)
{
    uint32_t a0 = m_state[0], b0 = m_state[1], c0 = m_state[2], d0 = m_state[3];
    for (; block_count > 0; --block_count, blocks += kBlockSize) {
        uint32_t words[16];
        for (int i = 0; i < 16; ++i)
            words[i] = load_word_le(blocks + 4 * i);
        uint32_t a = a0, b = b0, c = c0, d = d0;

        KESTRANE_MD5_F(a, b, c, d, 0, 7, 0xd76aa478);
        KESTRANE_MD5_F(d, a, b, c, 1, 12, 0xe8c7b756);
        KESTRANE_MD5_F(c, d, a, b, 2, 17, 0x242070db);
        KESTRANE_MD5_F(b, c, d, a, 3, 22, 0xc1bdceee);
        KESTRANE_MD5_F(a, b, c, d, 4, 7, 0xf57c0faf);
        KESTRANE_MD5_F(d, a, b, c, 5, 12, 0x4787c62a);
        KESTRANE_MD5_F(c, d, a, b, 6, 17, 0xa8304613);
        KESTRANE_MD5_F(b, c, d, a, 7, 22, 0xfd469501);
        KESTRANE_MD5_F(a, b, c, d, 8, 7, 0x698098d8);
        KESTRANE_MD5_F(d, a, b, c, 9, 12, 0x8b44f7af);
        KESTRANE_MD5_F(c, d, a, b, 10, 17, 0xffff5bb1);
        KESTRANE_MD5_F(b, c, d, a, 11, 22, 0x895cd7be);
        KESTRANE_MD5_F(a, b, c, d, 12, 7, 0x6b901122);
        KESTRANE_MD5_F(d, a, b, c, 13, 12, 0xfd987193);
        KESTRANE_MD5_F(c, d, a, b, 14, 17, 0xa679438e);
        KESTRANE_MD5_F(b, c, d, a, 15, 22, 0x49b40821);

        KESTRANE_MD5_G(a, b, c, d, 1, 5, 0xf61e2562);
        KESTRANE_MD5_G(d, a, b, c, 6, 9, 0xc040b340);
        KESTRANE_MD5_G(c, d, a, b, 11, 14, 0x265e5a51);
        KESTRANE_MD5_G(b, c, d, a, 0, 20, 0xe9b6c7aa);
        KESTRANE_MD5_G(a, b, c, d, 5, 5, 0xd62f105d);
        KESTRANE_MD5_G(d, a, b, c, 10, 9, 0x02441453);
        KESTRANE_MD5_G(c, d, a, b, 15, 14, 0xd8a1e681);
        KESTRANE_MD5_G(b, c, d, a, 4, 20, 0xe7d3fbc8);
        KESTRANE_MD5_G(a, b, c, d, 9, 5, 0x21e1cde6);
        KESTRANE_MD5_G(d, a, b, c, 14, 9, 0xc33707d6);
        KESTRANE_MD5_G(c, d, a, b, 3, 14, 0xf4d50d87);
        KESTRANE_MD5_G(b, c, d, a, 8, 20, 0x455a14ed);
        KESTRANE_MD5_G(a, b, c, d, 13, 5, 0xa9e3e905);
        KESTRANE_MD5_G(d, a, b, c, 2, 9, 0xfcefa3f8);
        KESTRANE_MD5_G(c, d, a, b, 7, 14, 0x676f02d9);
        KESTRANE_MD5_G(b, c, d, a, 12, 20, 0x8d2a4c8a);

        KESTRANE_MD5_H(a, b, c, d, 5, 4, 0xfffa3942);
        KESTRANE_MD5_H(d, a, b, c, 8, 11, 0x8771f681);
        KESTRANE_MD5_H(c, d, a, b, 11, 16, 0x6d9d6122);
        KESTRANE_MD5_H(b, c, d, a, 14, 23, 0xfde5380c);
        KESTRANE_MD5_H(a, b, c, d, 1, 4, 0xa4beea44);
        KESTRANE_MD5_H(d, a, b, c, 4, 11, 0x4bdecfa9);
        KESTRANE_MD5_H(c, d, a, b, 7, 16, 0xf6bb4b60);
        KESTRANE_MD5_H(b, c, d, a, 10, 23, 0xbebfbc70);
        KESTRANE_MD5_H(a, b, c, d, 13, 4, 0x289b7ec6);
        KESTRANE_MD5_H(d, a, b, c, 0, 11, 0xeaa127fa);
        KESTRANE_MD5_H(c, d, a, b, 3, 16, 0xd4ef3085);
        KESTRANE_MD5_H(b, c, d, a, 6, 23, 0x04881d05);
        KESTRANE_MD5_H(a, b, c, d, 9, 4, 0xd9d4d039);
        KESTRANE_MD5_H(d, a, b, c, 12, 11, 0xe6db99e5);
        KESTRANE_MD5_H(c, d, a, b, 15, 16, 0x1fa27cf8);
        KESTRANE_MD5_H(b, c, d, a, 2, 23, 0xc4ac5665);

        KESTRANE_MD5_I(a, b, c, d, 0, 6, 0xf4292244);
        KESTRANE_MD5_I(d, a, b, c, 7, 10, 0x432aff97);
        KESTRANE_MD5_I(c, d, a, b, 14, 15, 0xab9423a7);
        KESTRANE_MD5_I(b, c, d, a, 5, 21, 0xfc93a039);
        KESTRANE_MD5_I(a, b, c, d, 12, 6, 0x655b59c3);
        KESTRANE_MD5_I(d, a, b, c, 3, 10, 0x8f0ccc92);
        KESTRANE_MD5_I(c, d, a, b, 10, 15, 0xffeff47d);
        KESTRANE_MD5_I(b, c, d, a, 1, 21, 0x85845dd1);
        KESTRANE_MD5_I(a, b, c, d, 8, 6, 0x6fa87e4f);
        KESTRANE_MD5_I(d, a, b, c, 15, 10, 0xfe2ce6e0);
        KESTRANE_MD5_I(c, d, a, b, 6, 15, 0xa3014314);
        KESTRANE_MD5_I(b, c, d, a, 13, 21, 0x4e0811a1);
        KESTRANE_MD5_I(a, b, c, d, 4, 6, 0xf7537e82);
        KESTRANE_MD5_I(d, a, b, c, 11, 10, 0xbd3af235);
        KESTRANE_MD5_I(c, d, a, b, 2, 15, 0x2ad7d2bb);
        KESTRANE_MD5_I(b, c, d, a, 9, 21, 0xeb86d391);

        a0 += a;
        b0 += b;
        c0 += c;
        d0 += d;
    }
    m_state = {a0, b0, c0, d0};
}

#undef KESTRANE_MD5_F
#undef KESTRANE_MD5_G
#undef KESTRANE_MD5_H
#undef KESTRANE_MD5_I

void Md5::update(const void* data, size_t count)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    m_length += count;
    if (m_pending_count > 0) {
        const size_t taken = std::min(count, kBlockSize - m_pending_count);
        std::memcpy(m_pending.data() + m_pending_count, bytes, taken);
        m_pending_count += taken;
        bytes += taken;
        count -= taken;
        if (m_pending_count < kBlockSize)
            return;
        compress(m_pending.data(), 1);
        m_pending_count = 0;
    }
    const size_t whole_blocks = count / kBlockSize;
    compress(bytes, whole_blocks);
    bytes += whole_blocks * kBlockSize;
    count -= whole_blocks * kBlockSize;
    if (count > 0)
        std::memcpy(m_pending.data(), bytes, count);
    m_pending_count = count;
}

Md5Digest Md5::finish()
{
    // Padding: 0x80, zeros up to 56 bytes into a block, then the length in bits.
    uint8_t length_field[8];
    const uint64_t bits = m_length * 8;
    for (int i = 0; i < 8; ++i)
        length_field[i] = static_cast<uint8_t>(bits >> (8 * i));
    static constexpr uint8_t kPadding[kBlockSize] = {0x80};
    const size_t pad = m_pending_count < 56 ? 56 - m_pending_count : 120 - m_pending_count;
    update(kPadding, pad);
    update(length_field, sizeof length_field);

    Md5Digest digest;
    for (size_t i = 0; i < 4; ++i)
        store_word_le(digest.data() + 4 * i, m_state[i]);
    return digest;
}

Md5Digest md5_of(const void* data, size_t count)
{
    Md5 md5;
    md5.update(data, count);
    return md5.finish();
}

} // namespace kestrane
