#include "common/atomic_output_file.h"

#include "common/direct_output.h"
#include "common/paths.h"
#include "common/platform_io.h"

#include <algorithm>
#include <atomic>

namespace kestrane {
namespace {

std::atomic<int64_t> g_write_budget{-1};

// How much is written before the disk is asked to start on it, so that the flush when the file is
// committed has little left to wait for.
constexpr uint64_t kWritebackStep = uint64_t{8} << 20;

// Where an output starts to bypass the page cache (see DirectOutput): an aligned offset.
constexpr uint64_t kDirectFrom = uint64_t{1} << 20;

// Takes `count` bytes from the test write budget; false when the budget runs out.
bool take_write_budget(size_t count)
{
    int64_t budget = g_write_budget.load();
    while (budget >= 0) {
        const int64_t left = budget - static_cast<int64_t>(count);
        if (left < 0) {
            g_write_budget.store(0);
            return false;
        }
        if (g_write_budget.compare_exchange_weak(budget, left))
            return true;
    }
    return true;
}

} // namespace

AtomicOutputFile::AtomicOutputFile(const std::string& path) : m_file(to_qpath(path)) {}

AtomicOutputFile::~AtomicOutputFile()
{
    discard();
}

bool AtomicOutputFile::open(FileAccess access)
{
    m_failed = false;
    m_written = m_written_back = 0;
    if (m_file.fileName().isEmpty() || !m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        m_failed = true;
        return false;
    }
    if (access == FileAccess::OwnerOnly
        && !m_file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        discard();
        m_failed = true;
        return false;
    }
    return true;
}

bool AtomicOutputFile::write(const void* data, size_t count)
{
    if (m_failed || !m_file.isOpen())
        return false;
    if (!take_write_budget(count)) {
        m_failed = true;
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (!m_direct && m_written < kDirectFrom) {
        // The head goes through the cache: small outputs never start a writer of their own.
        const size_t head = static_cast<size_t>(std::min<uint64_t>(count, kDirectFrom - m_written));
        if (!write_through_cache(bytes, head))
            return false;
        bytes += head;
        count -= head;
        if (m_written == kDirectFrom)
            m_direct = DirectOutput::attach(m_file.handle(), m_written);
    }
    if (count == 0)
        return true;
    if (m_direct) {
        m_failed = !m_direct->write(bytes, count);
        return !m_failed;
    }
    return write_through_cache(bytes, count);
}

bool AtomicOutputFile::write_through_cache(const uint8_t* bytes, size_t count)
{
    size_t done = 0;
    while (done < count) {
        const qint64 written = m_file.write(reinterpret_cast<const char*>(bytes) + done, static_cast<qint64>(count - done));
        if (written <= 0) {
            m_failed = true;
            return false;
        }
        done += static_cast<size_t>(written);
    }
    m_written += count;
    if (m_written - m_written_back >= kWritebackStep)
        hand_written_bytes_to_disk();
    return true;
}

void AtomicOutputFile::hand_written_bytes_to_disk()
{
    start_writeback(m_file.handle(), m_written_back, m_written - m_written_back);
    m_written_back = m_written;
}

bool AtomicOutputFile::commit()
{
    if (!m_file.isOpen())
        return false;
    if (m_direct && !m_direct->finish())
        m_failed = true;
    m_direct.reset();
    if (m_failed) {
        discard();
        return false;
    }
    if (!m_file.commit()) {
        m_failed = true;
        return false;
    }
    return true;
}

void AtomicOutputFile::discard()
{
    if (m_direct) {
        m_direct->abandon();
        m_direct.reset();
    }
    if (!m_file.isOpen())
        return;
    // A cancelled QSaveFile removes its temporary file on commit and leaves the destination be.
    m_file.cancelWriting();
    m_file.commit();
}

void set_output_write_limit_for_tests(int64_t bytes)
{
    g_write_budget.store(bytes);
}

} // namespace kestrane
