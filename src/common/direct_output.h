#pragma once

#include "common/block_pipeline.h"
#include "common/non_copyable.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kestrane {

// Writes a file's bytes past the page cache, in whole aligned pages.
//
// Outputs here are large and written once: copying them into the page cache costs as much CPU as a
// digest when the system has to find fresh memory for it, and the operation hashes on both cores
// meanwhile. Direct writes leave the copying to the disk. Writes happen on the caller's thread,
// which is meant to be a thread of its own (a BlockPipeline's writer): whole pages that start on a
// page boundary in memory go to the disk as they are; other bytes are gathered first. Where the
// file system refuses direct writes the bytes go through the page cache as usual; the last, partial
// page always does. The file still has to be flushed to be durable.
class DirectOutput : NonCopyable {
public:
    // Writes on from `offset` (a multiple of the page alignment). Nothing when the descriptor cannot
    // write past the page cache (platform or file system) or memory ran out.
    static std::unique_ptr<DirectOutput> attach(int descriptor, uint64_t offset);
    ~DirectOutput();

    // False once a write failed (the failure sticks).
    bool write(const void* data, size_t count);
    // Writes what is still gathered; false when any write failed.
    bool finish();
    // Drops what is still gathered.
    void abandon();

private:
    DirectOutput(int descriptor, uint64_t offset, AlignedBytes gathered);
    bool write_at_offset(const uint8_t* data, size_t count);
    bool leave_direct_mode();

    int m_descriptor;
    bool m_direct = true;
    bool m_failed = false;
    uint64_t m_offset = 0;
    AlignedBytes m_gathered; // bytes that arrived unaligned, written once a block is full
    size_t m_gathered_count = 0;
};

} // namespace kestrane
