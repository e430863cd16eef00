#include "common/block_stream.h"

#include "common/input_file.h"
#include "common/progress.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace kestrane;
using namespace kestrane::test;

namespace {

constexpr StreamResults kResults{1, -1, -6};
constexpr int kRefused = -2;
constexpr size_t kBlock = 1000;

} // namespace

TEST(StreamBlocks, FeedsTheAnnouncedBytesInBlocksAndNoticesAChangedInput)
{
    struct Case {
        const char* name;
        size_t file_size;
        size_t read_before; // bytes the caller read itself before streaming the rest
        uint64_t announced;
        int refused_block; // the block the feed refuses, counted from 1 (0: none)
        int expected;
        size_t fed; // bytes the feed takes, from where streaming starts
    };
    const Case cases[] = {
        {"whole blocks", 3000, 0, 3000, 0, kResults.complete, 3000},
        {"short last block", 2500, 0, 2500, 0, kResults.complete, 2500},
        {"nothing to stream", 0, 0, 0, 0, kResults.complete, 0},
        {"the rest after a header", 2640, 140, 2500, 0, kResults.complete, 2500},
        {"input shrank", 2500, 0, 3000, 0, kResults.input_changed, 2000},
        {"input grew", 3001, 0, 3000, 0, kResults.input_changed, 3000},
        {"feed refuses the second block", 3000, 0, 3000, 2, kRefused, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const Bytes content = pattern_bytes(c.file_size);
        write_bytes(dir.file("input"), content);
        InputFile input;
        ASSERT_TRUE(input.open(dir.file("input")));
        Bytes head(c.read_before);
        ASSERT_TRUE(input.read_exact(head.data(), head.size()));

        std::vector<uint8_t> buffer(kBlock);
        Bytes fed;
        int blocks = 0;
        Progress progress("Streaming input", c.announced, nullptr);
        const int result = stream_blocks(
            input, c.announced, progress, kResults, [&] { return std::span(buffer); },
            [&](const uint8_t* data, size_t count) {
                EXPECT_LE(count, kBlock);
                if (++blocks == c.refused_block)
                    return kRefused;
                fed.insert(fed.end(), data, data + count);
                return kResults.complete;
            });
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(fed, Bytes(content.begin() + c.read_before, content.begin() + c.read_before + c.fed));
    }
}
