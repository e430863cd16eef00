#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace kestrane {

class InputFile;
class Progress;

// The caller's results for the ways a stream of blocks can end (a cancelled stream ends with
// kOperationCancelled).
struct StreamResults {
    // Every byte was read and fed, and the input ended right after them.
    int complete;
    // A read failed.
    int read_failed;
    // The input ended early or went on past its size: it changed while it was read.
    int input_changed;
};

// Where the next block is read to: its size is the most one read takes.
using BlockBuffer = std::function<std::span<uint8_t>()>;
// Takes a block read into the buffer: results.complete, or the result the stream ends with.
using BlockFeed = std::function<int(const uint8_t* data, size_t count)>;

// Reads the next `size` bytes of `input` block by block: each block into `next_buffer()`, then
// to `feed`, then `progress` advances by it and the stream stops when the user cancelled. After
// the last block the input must be at its end.
int stream_blocks(InputFile& input, uint64_t size, Progress& progress, const StreamResults& results,
                  const BlockBuffer& next_buffer, const BlockFeed& feed);

} // namespace kestrane
