#pragma once

#include "common/block_pipeline.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace kestrane {

// Writes a file's bytes past the page cache, on a thread of its own, in whole aligned blocks.
//
// Outputs here are large and written once: copying them into the page cache costs as much CPU as a
// digest when the system has to find fresh memory for it, and the operation hashes on both cores
// meanwhile. Direct writes leave the copying to the disk. Where the file system refuses direct
// writes the bytes go through the page cache as usual; the last, partial block always does.
// The file still has to be flushed to be durable.
class DirectOutput {
public:
    // Writes on from `offset` (a multiple of the page alignment). Nothing when the descriptor cannot
    // write past the page cache (platform or file system).
    static std::unique_ptr<DirectOutput> attach(int descriptor, uint64_t offset);
    ~DirectOutput();
    DirectOutput(const DirectOutput&) = delete;
    DirectOutput& operator=(const DirectOutput&) = delete;

    // Queues bytes; false once a write failed (the failure sticks).
    bool write(const void* data, size_t count);
    // Writes everything queued; false when any write failed.
    bool finish();
    // Stops without writing what is still queued.
    void abandon();

private:
    DirectOutput(int descriptor, uint64_t offset);
    void write_block(const uint8_t* data, size_t count);
    bool write_at_offset(const uint8_t* data, size_t count);
    bool leave_direct_mode();

    int m_descriptor;
    bool m_direct = true;          // only the writing thread touches these two
    uint64_t m_offset = 0;
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_abandoned{false};
    std::unique_ptr<BlockPipeline> m_pipeline; // last: its thread stops before the rest goes
};

} // namespace kestrane
