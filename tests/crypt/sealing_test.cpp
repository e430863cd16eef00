#include "crypt/sealing.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace kestrane;
using namespace kestrane::test;

namespace {

Bytes chunk_of(const Bytes& source, size_t offset, size_t count)
{
    return Bytes(source.begin() + static_cast<std::ptrdiff_t>(offset),
                 source.begin() + static_cast<std::ptrdiff_t>(offset + count));
}

// The HMAC-MD5 of data in one piece.
Tag tag_of(const uint8_t* key, size_t key_length, const Bytes& data)
{
    HmacMd5 hmac(key, key_length);
    hmac.update(data.data(), data.size());
    return hmac.finish();
}

} // namespace

TEST(SealData, SizesAndBlocksOpenWithThePrivateKey)
{
    struct Case {
        size_t n;
        size_t size;
        size_t sealed_blocks;
    };
    const Case cases[] = {{0, 128, 1}, {115, 128, 1}, {116, 256, 2}, {1043, 1152, 9},
                          {1044, 1152, 9}, {1045, 1153, 9}, {5000, 5108, 9}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        const Bytes source = pattern_bytes(c.n, static_cast<uint32_t>(c.n));
        ASSERT_EQ(seal_data_size(c.n), c.size);
        Bytes sealed(c.size + 16, 0xEE);
        ASSERT_EQ(seal_data(source.data(), sealed.data(), c.n), static_cast<int64_t>(c.size));
        EXPECT_EQ(sealed[c.size], 0xEE) << "wrote past its result";
        for (size_t b = 0; b < c.sealed_blocks; ++b) {
            const size_t offset = b * 116;
            const size_t count = std::min<size_t>(116, c.n - std::min(c.n, offset));
            EXPECT_TRUE(block_seals(sealed.data() + b * 128, chunk_of(source, offset, count))) << "block " << b;
        }
        if (c.n >= 1044) {
            EXPECT_TRUE(std::equal(source.begin() + 1044, source.end(), sealed.begin() + 1152));
        }
    }
}

TEST(SealData, SameChunkTwiceGivesDifferentBlocks)
{
    const Bytes chunk = bytes_of("firmware");
    Bytes first(128), second(128);
    ASSERT_EQ(seal_data(chunk.data(), first.data(), chunk.size()), 128);
    ASSERT_EQ(seal_data(chunk.data(), second.data(), chunk.size()), 128);
    EXPECT_NE(first, second);
    EXPECT_TRUE(block_seals(second.data(), chunk));
}

TEST(SealData, FreshProcessesDrawDifferentPadding)
{
    const std::string probe = KESTRANE_SEAL_PROBE;
    const ProcessResult a = run_process(probe, {});
    const ProcessResult b = run_process(probe, {});
    ASSERT_EQ(a.exit_code, 0);
    ASSERT_EQ(b.exit_code, 0);
    ASSERT_EQ(a.standard_output.find_first_of("\r\n"), 256u); // 128 bytes in hex, then the line end
    EXPECT_NE(a.standard_output, b.standard_output);
}

TEST(KeyBlock, OpensToTheCompanyKeyAndFiller)
{
    Bytes block(128);
    ASSERT_EQ(make_key_block(CompanyKey{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, block.data()), 128);
    Bytes expected = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    for (int i = 8; i < 116; ++i)
        expected.push_back(static_cast<uint8_t>(i));
    EXPECT_EQ(expected.back(), 0x73);
    EXPECT_TRUE(block_seals(block.data(), expected));
}

TEST(HmacMd5, MatchesOpensslForTheCompanyKey)
{
    const Bytes key = {0, 0, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    for (const size_t n : {size_t{0}, size_t{1}, size_t{63}, size_t{64}, size_t{65}, size_t{100000}}) {
        const Bytes data = pattern_bytes(n, 3);
        const std::string expected = openssl_hmac_md5_hex(key, data);
        EXPECT_EQ(to_hex(tag_of(key.data(), key.size(), data)), expected) << n;

        HmacMd5 streamed(key.data(), key.size());
        streamed.update(data.data(), n / 3);
        streamed.update(data.data() + n / 3, n - n / 3);
        EXPECT_EQ(to_hex(streamed.finish()), expected) << n;
    }
}

// Keys of other lengths: exactly a block, and longer than a block (hashed first). An empty key is
// zero-filled like any short one, so it gives the tag of a single zero byte.
TEST(HmacMd5, MatchesOpensslForKeysOfEveryLengthClass)
{
    const Bytes data = pattern_bytes(777, 5);
    EXPECT_EQ(to_hex(tag_of(nullptr, 0, data)), openssl_hmac_md5_hex(Bytes{0}, data));
    for (const size_t key_length : {size_t{1}, size_t{64}, size_t{65}, size_t{200}}) {
        const Bytes key = pattern_bytes(key_length, 9);
        EXPECT_EQ(to_hex(tag_of(key.data(), key.size(), data)), openssl_hmac_md5_hex(key, data))
            << key_length << "-byte key";
    }
}
