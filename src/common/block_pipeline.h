#pragma once

#include "common/io_policy.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace kestrane {

inline constexpr size_t kPageAlignment = 4096;

struct AlignedFree {
    size_t alignment = kPageAlignment;
    void operator()(uint8_t* bytes) const;
};
using AlignedBytes = std::unique_ptr<uint8_t[], AlignedFree>;

// At least `size` bytes starting on a page boundary (what reads and writes past the page cache
// need); empty when memory ran out.
AlignedBytes allocate_page_aligned(size_t size);

// Hands a byte stream, block by block and in order, to consumers that each run on a thread of
// their own (a digest, a file writer), so that the producer can read the next block meanwhile.
// Memory stays at block_count blocks whatever the stream's length. Every block but the last is
// handed over full, so that the n-th holds the stream's bytes from n * block_size on, however they
// were put in; blocks start on a page boundary, so that a writer may hand them to the disk without
// a copy.
class BlockPipeline {
public:
    using Consumer = std::function<void(const uint8_t* data, size_t count)>;

    static constexpr size_t kDefaultBlockSize = size_t{1} << 20;
    static constexpr size_t kDefaultBlockCount = 8;

    // Throws what allocation and thread start throw (std::bad_alloc, std::system_error, also when
    // `io` refuses a thread); threads started before such a failure have ended when it arrives.
    explicit BlockPipeline(std::vector<Consumer> consumers, size_t block_size = kDefaultBlockSize,
                           size_t block_count = kDefaultBlockCount, IoPolicy& io = system_io());
    ~BlockPipeline();
    BlockPipeline(const BlockPipeline&) = delete;
    BlockPipeline& operator=(const BlockPipeline&) = delete;

    // Copies bytes into the stream.
    void feed(const void* data, size_t count);
    // Without a copy: the free rest of the block being filled, then submit() with the bytes filled.
    // The bytes submitted may still be read (not changed) by the producer until the next acquire()
    // or feed().
    std::span<uint8_t> acquire();
    void submit(size_t used);
    // Hands over the last, partly filled block and waits until every consumer has seen everything
    // put in so far.
    void finish();

private:
    struct Block {
        uint8_t* bytes = nullptr; // in m_memory
        size_t used = 0;
    };

    Block& current_block();
    void submit_current();
    uint64_t least_consumed() const;
    void wait_until_consumed(std::unique_lock<std::mutex>& lock, uint64_t blocks);
    void run_consumer(size_t index);
    void stop_consumers();

    std::vector<Consumer> m_consumers;
    size_t m_block_size;
    AlignedBytes m_memory;
    std::vector<Block> m_blocks;

    // Each side is woken only when the other has something for it.
    std::mutex m_mutex;
    std::condition_variable m_block_ready;    // consumers wait here for a block
    std::condition_variable m_block_consumed; // the producer waits here for consumers to finish
    uint64_t m_submitted = 0;                 // blocks handed to the consumers so far
    std::vector<uint64_t> m_consumed;         // per consumer: blocks it has finished
    size_t m_consumers_waiting = 0;
    uint64_t m_producer_waits_for = 0;        // blocks every consumer must finish; 0 when not waiting
    bool m_stopping = false;
    bool m_filling = false;                   // the block at m_submitted is being filled by the producer

    std::vector<std::thread> m_threads;
};

// A consumer that writes the blocks out (to a file, a sink) until a write fails or it is stopped.
// It runs on the pipeline's thread; the producer reads failed().
class BlockWriter {
public:
    using Write = std::function<bool(const uint8_t* data, size_t count)>;

    explicit BlockWriter(Write write) : m_write(std::move(write)) {}
    void operator()(const uint8_t* data, size_t count);
    bool failed() const { return m_failed.load(); }
    // What is still queued is skipped.
    void stop() { m_failed.store(true); }

private:
    Write m_write;
    std::atomic<bool> m_failed{false};
};

} // namespace kestrane
