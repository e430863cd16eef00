#include "common/file_io.h"

#include "common/direct_output.h"

#include <QFileInfo>

#include <atomic>

#ifdef __linux__
#include <fcntl.h>
#endif

namespace kestrane {
namespace {

std::atomic<int64_t> g_write_budget{-1};

// How much is written before the disk is asked to start on it, so that the flush when the file is
// committed has little left to wait for.
constexpr uint64_t kWritebackStep = uint64_t{8} << 20;

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

QString to_qpath(const std::string& path)
{
    QString converted = QString::fromStdString(path);
    if (converted.toStdString() != path)
        return {};
    return converted;
}

bool is_representable_path(const std::string& path)
{
    return path.empty() || !to_qpath(path).isEmpty();
}

bool path_exists(const std::string& path)
{
    return !path.empty() && QFileInfo::exists(to_qpath(path));
}

bool is_directory(const std::string& path)
{
    return !path.empty() && QFileInfo(to_qpath(path)).isDir();
}

bool is_regular_file(const std::string& path)
{
    if (path.empty())
        return false;
    const QFileInfo info(to_qpath(path));
    return info.exists() && !info.isDir();
}

bool remove_file(const std::string& path)
{
    return QFile::remove(to_qpath(path));
}

bool InputFile::open(const std::string& path)
{
    m_file.close();
    // Regular files only: opening a FIFO for reading waits for a writer that may never come, and a
    // device may never end.
    if (path.empty() || !QFileInfo(to_qpath(path)).isFile())
        return false;
    m_file.setFileName(to_qpath(path));
    return m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

uint64_t InputFile::size() const
{
    return static_cast<uint64_t>(m_file.size());
}

bool InputFile::seek(uint64_t offset)
{
    return m_file.seek(static_cast<qint64>(offset));
}

int64_t InputFile::read_some(void* destination, size_t count)
{
    return m_file.read(static_cast<char*>(destination), static_cast<qint64>(count));
}

int64_t InputFile::read_up_to(void* destination, size_t count)
{
    auto* bytes = static_cast<char*>(destination);
    size_t done = 0;
    while (done < count) {
        const qint64 got = m_file.read(bytes + done, static_cast<qint64>(count - done));
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

bool InputFile::read_exact(void* destination, size_t count)
{
    return read_up_to(destination, count) == static_cast<int64_t>(count);
}

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
    m_direct = DirectOutput::attach(m_file.handle());
    return true;
}

bool AtomicOutputFile::write(const void* data, size_t count)
{
    if (m_failed || !m_file.isOpen())
        return false;
    const auto* bytes = static_cast<const char*>(data);
    if (!take_write_budget(count)) {
        m_failed = true;
        return false;
    }
    if (m_direct) {
        m_failed = !m_direct->write(data, count);
        return !m_failed;
    }
    size_t done = 0;
    while (done < count) {
        const qint64 written = m_file.write(bytes + done, static_cast<qint64>(count - done));
        if (written <= 0) {
            m_failed = true;
            return false;
        }
        done += static_cast<size_t>(written);
    }
    m_written += count;
    if (m_written - m_written_back >= kWritebackStep)
        start_writeback();
    return true;
}

void AtomicOutputFile::start_writeback()
{
#ifdef __linux__
    // Only a hint: the commit's flush still makes the file durable.
    sync_file_range(m_file.handle(), static_cast<off64_t>(m_written_back),
                    static_cast<off64_t>(m_written - m_written_back), SYNC_FILE_RANGE_WRITE);
#endif
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
