#include "format/md5.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace kestrane;
using namespace kestrane::test;

namespace {

std::string hex_of(const Md5Digest& digest)
{
    return to_hex(digest.data(), digest.size());
}

} // namespace

// Updates of uneven sizes (inside a block, across blocks, empty) give the digest of the whole.
TEST(Md5, UnevenUpdatesGiveTheDigestOfTheWhole)
{
    const Bytes data = pattern_bytes(5000, 11);
    const std::string whole = openssl_md5_hex(data);
    for (const size_t step : {1, 7, 63, 64, 65, 130, 4999}) {
        Md5 md5;
        for (size_t at = 0; at < data.size(); at += step) {
            md5.update(data.data() + at, std::min(step, data.size() - at));
            md5.update(data.data(), 0);
        }
        EXPECT_EQ(hex_of(md5.finish()), whole) << "steps of " << step;
    }
}
