#include "common/block_pipeline.h"

#include "common/platform_io.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <new>
#include <system_error>

namespace kestrane {
namespace {

// Starts a thread as std::thread does, failing as it does when the system has no thread to give
// once `io` refuses the start.
template <typename Function> std::thread start_thread(IoPolicy& io, Function function)
{
    if (!io.may_start_thread())
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(function));
}

size_t round_up(size_t size, size_t unit)
{
    return (size + unit - 1) / unit * unit;
}

AlignedBytes allocate_aligned(size_t size, size_t alignment)
{
    return AlignedBytes(static_cast<uint8_t*>(::operator new[](std::max<size_t>(size, 1), std::align_val_t{alignment},
                                                               std::nothrow)),
                        AlignedFree{alignment});
}

// The blocks lie in one stretch of memory, in huge pages where the system has them: the digests
// walk, and direct writes pin, a few large pages in place of hundreds of small ones per block.
AlignedBytes allocate_block_memory(size_t size)
{
    if (size < kHugePageSize)
        return allocate_page_aligned(size);
    size = round_up(size, kHugePageSize);
    AlignedBytes memory = allocate_aligned(size, kHugePageSize);
    if (memory)
        advise_huge_pages(memory.get(), size);
    return memory;
}

} // namespace

void AlignedFree::operator()(uint8_t* bytes) const
{
    ::operator delete[](bytes, std::align_val_t{alignment});
}

AlignedBytes allocate_page_aligned(size_t size)
{
    return allocate_aligned(size, kPageAlignment);
}

BlockPipeline::BlockPipeline(std::vector<Consumer> consumers, size_t block_size, size_t block_count, IoPolicy& io)
    : m_consumers(std::move(consumers)), m_block_size(std::max<size_t>(block_size, 1)),
      m_blocks(std::max<size_t>(block_count, 2)), m_consumed(m_consumers.size(), 0)
{
    // Every block starts on a page boundary.
    const size_t stride = round_up(m_block_size, kPageAlignment);
    m_memory = allocate_block_memory(stride * m_blocks.size());
    if (!m_memory)
        throw std::bad_alloc();
    for (size_t index = 0; index < m_blocks.size(); ++index)
        m_blocks[index].bytes = m_memory.get() + index * stride;
    m_threads.reserve(m_consumers.size());
    try {
        for (size_t index = 0; index < m_consumers.size(); ++index)
            m_threads.push_back(start_thread(io, [this, index] { run_consumer(index); }));
    } catch (...) {
        // No destructor runs for a half-made pipeline: the threads already started end here.
        stop_consumers();
        throw;
    }
}

BlockPipeline::~BlockPipeline()
{
    finish();
    stop_consumers();
}

void BlockPipeline::stop_consumers()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_block_ready.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
}

uint64_t BlockPipeline::least_consumed() const
{
    const auto least = std::min_element(m_consumed.begin(), m_consumed.end());
    return least == m_consumed.end() ? m_submitted : *least;
}

void BlockPipeline::wait_until_consumed(std::unique_lock<std::mutex>& lock, uint64_t blocks)
{
    m_producer_waits_for = blocks;
    m_block_consumed.wait(lock, [this, blocks] { return least_consumed() >= blocks; });
    m_producer_waits_for = 0;
}

BlockPipeline::Block& BlockPipeline::current_block()
{
    Block& block = m_blocks[m_submitted % m_blocks.size()];
    if (!m_filling) {
        // The block was last used m_blocks.size() submissions ago. While a consumer still reads it,
        // wait until half of the blocks are free, and fill them in one go rather than waking for
        // each block: both cores are busy, and each wake-up takes one from a consumer.
        std::unique_lock lock(m_mutex);
        if (least_consumed() + m_blocks.size() <= m_submitted)
            wait_until_consumed(lock, m_submitted - m_blocks.size() / 2);
        block.used = 0;
        m_filling = true;
    }
    return block;
}

void BlockPipeline::submit_current()
{
    bool consumer_waits = false;
    {
        std::lock_guard lock(m_mutex);
        ++m_submitted;
        m_filling = false;
        consumer_waits = m_consumers_waiting > 0;
    }
    if (consumer_waits)
        m_block_ready.notify_all();
}

void BlockPipeline::feed(const void* data, size_t count)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (count > 0) {
        Block& block = current_block();
        const size_t take = std::min(count, m_block_size - block.used);
        std::memcpy(block.bytes + block.used, bytes, take);
        block.used += take;
        bytes += take;
        count -= take;
        if (block.used == m_block_size)
            submit_current();
    }
}

std::span<uint8_t> BlockPipeline::acquire()
{
    Block& block = current_block();
    return {block.bytes + block.used, m_block_size - block.used};
}

void BlockPipeline::submit(size_t used)
{
    Block& block = current_block();
    block.used += std::min(used, m_block_size - block.used);
    if (block.used == m_block_size)
        submit_current();
}

void BlockPipeline::finish()
{
    if (m_filling && current_block().used > 0)
        submit_current();
    std::unique_lock lock(m_mutex);
    wait_until_consumed(lock, m_submitted);
}

void BlockPipeline::run_consumer(size_t index)
{
    const auto has_work = [this, index] { return m_stopping || m_consumed[index] < m_submitted; };
    std::unique_lock lock(m_mutex);
    while (true) {
        if (!has_work()) {
            ++m_consumers_waiting;
            m_block_ready.wait(lock, has_work);
            --m_consumers_waiting;
        }
        if (m_consumed[index] == m_submitted)
            return; // stopping, and nothing left
        const Block& block = m_blocks[m_consumed[index] % m_blocks.size()];
        lock.unlock();
        m_consumers[index](block.bytes, block.used);
        lock.lock();
        ++m_consumed[index];
        if (m_producer_waits_for > 0 && least_consumed() >= m_producer_waits_for)
            m_block_consumed.notify_one();
    }
}

void BlockWriter::operator()(const uint8_t* data, size_t count)
{
    if (m_failed.load())
        return;
    // An exception must not leave the pipeline's thread: it would end the program.
    bool written = false;
    try {
        written = m_write(data, count);
    } catch (const std::exception&) {
    }
    if (!written)
        m_failed.store(true);
}

} // namespace kestrane
