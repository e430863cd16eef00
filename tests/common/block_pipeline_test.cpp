#include "common/block_pipeline.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

using namespace kestrane;
using namespace kestrane::test;

TEST(BlockPipeline, EveryConsumerSeesTheWholeStreamInOrder)
{
    const Bytes stream = pattern_bytes(1'000'003, 5);
    Bytes first, second;
    std::vector<size_t> handed_over;
    {
        BlockPipeline pipeline(
            {[&](const uint8_t* data, size_t count) {
                 first.insert(first.end(), data, data + count);
                 handed_over.push_back(count);
             },
             [&](const uint8_t* data, size_t count) {
                 std::this_thread::sleep_for(std::chrono::microseconds(50)); // a slower consumer
                 second.insert(second.end(), data, data + count);
             }},
            4096, 3);
        // Pieces of every size, copied and filled in place, across block boundaries.
        size_t offset = 0;
        for (size_t piece = 1; offset < stream.size(); piece = piece * 3 % 10007 + 1) {
            const size_t count = std::min(piece, stream.size() - offset);
            if (piece % 2) {
                pipeline.feed(stream.data() + offset, count);
            } else {
                const std::span<uint8_t> block = pipeline.acquire();
                const size_t fill = std::min(count, block.size());
                std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(offset), fill, block.begin());
                pipeline.submit(fill);
                offset += fill;
                continue;
            }
            offset += count;
        }
        pipeline.finish();
        EXPECT_EQ(first.size(), stream.size()); // finish() waits for every consumer
        EXPECT_EQ(second.size(), stream.size());
    }
    EXPECT_EQ(first, stream);
    EXPECT_EQ(second, stream);
    // Whole blocks but the last, so that each holds the same stretch of the stream however it came.
    ASSERT_EQ(handed_over.size(), stream.size() / 4096 + 1);
    EXPECT_EQ(std::count(handed_over.begin(), handed_over.end() - 1, size_t{4096}),
              static_cast<std::ptrdiff_t>(handed_over.size() - 1));
}

TEST(BlockPipeline, MemoryStaysAtItsBlocks)
{
    size_t largest = 0, total = 0;
    BlockPipeline pipeline({[&](const uint8_t*, size_t count) {
                               largest = std::max(largest, count);
                               total += count;
                           }},
                           1024, 2);
    const Bytes piece = pattern_bytes(10'000, 1);
    for (int i = 0; i < 100; ++i)
        pipeline.feed(piece.data(), piece.size());
    pipeline.finish();
    EXPECT_EQ(total, 1'000'000u);
    EXPECT_EQ(largest, 1024u);
}

// The second of three threads cannot start: the first one ends, nothing is left running, and the
// next pipeline starts as usual.
TEST(BlockPipeline, FailedThreadStartEndsTheThreadsAlreadyStarted)
{
    std::atomic<int> calls{0};
    const BlockPipeline::Consumer consumer = [&](const uint8_t*, size_t) { ++calls; };
    FaultyIo one_thread(-1, 1);
    EXPECT_THROW(BlockPipeline({consumer, consumer, consumer}, 64, 2, one_thread), std::system_error);

    BlockPipeline pipeline({consumer, consumer}, 64, 2);
    pipeline.feed("x", 1);
    pipeline.finish();
    EXPECT_EQ(calls.load(), 2);
}

// A writer stops at its first failure, a thrown one included (it must not end the program), and
// the pipeline goes on for the other consumers.
TEST(BlockWriter, StopsAtTheFirstFailedOrThrowingWrite)
{
    for (const bool throws : {false, true}) {
        int writes = 0;
        size_t digested = 0;
        BlockWriter writer([&](const uint8_t*, size_t) {
            if (++writes == 2 && throws)
                throw std::bad_alloc();
            return writes < 2;
        });
        BlockPipeline pipeline({[&](const uint8_t* data, size_t count) { writer(data, count); },
                                [&](const uint8_t*, size_t count) { digested += count; }},
                               64, 2);
        const Bytes stream = pattern_bytes(64 * 5, 1);
        pipeline.feed(stream.data(), stream.size());
        pipeline.finish();
        EXPECT_TRUE(writer.failed());
        EXPECT_EQ(writes, 2);
        EXPECT_EQ(digested, stream.size());
    }
}
