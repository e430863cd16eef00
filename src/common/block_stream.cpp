#include "common/block_stream.h"

#include "common/input_file.h"
#include "common/progress.h"

#include <algorithm>

namespace kestrane {
namespace {

// Reads exactly `count` bytes; a short read means the input shrank while it was read.
int read_block(InputFile& input, uint8_t* block, size_t count, const StreamResults& results)
{
    const int64_t got = input.read_up_to(block, count);
    if (got < 0)
        return results.read_failed;
    return got == static_cast<int64_t>(count) ? results.complete : results.input_changed;
}

// After its announced size the input must be at its end; anything more means it grew.
int check_input_end(InputFile& input, const StreamResults& results)
{
    uint8_t beyond = 0;
    const int64_t got = input.read_some(&beyond, 1);
    if (got < 0)
        return results.read_failed;
    return got == 0 ? results.complete : results.input_changed;
}

} // namespace

int stream_blocks(InputFile& input, uint64_t size, Progress& progress, const StreamResults& results,
                  const BlockBuffer& next_buffer, const BlockFeed& feed)
{
    for (uint64_t left = size; left > 0;) {
        const std::span<uint8_t> buffer = next_buffer();
        const size_t count = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
        if (const int read = read_block(input, buffer.data(), count, results); read != results.complete)
            return read;
        if (const int fed = feed(buffer.data(), count); fed != results.complete)
            return fed;
        left -= count;
        progress.advance(count);
        if (progress.cancelled())
            return kOperationCancelled;
    }
    return check_input_end(input, results);
}

} // namespace kestrane
