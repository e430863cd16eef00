#include "common/file_io.h"

#include "common/block_pipeline.h"
#include "common/direct_output.h"

#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef __linux__
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

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

// Reading past the page cache: aligned blocks into a buffer of our own, handed out from there.
struct InputFile::DirectReading {
    AlignedBytes buffer;
    uint64_t position = 0;      // the next byte the caller reads
    uint64_t buffer_offset = 0; // the file offset of buffer[0]
    size_t buffer_count = 0;    // bytes held in the buffer
    bool streaming = false;     // read on from where the last read ended
};

InputFile::InputFile() = default;

InputFile::~InputFile() = default;

bool InputFile::open(const std::string& path)
{
    close();
    // Regular files only: opening a FIFO for reading waits for a writer that may never come, and a
    // device may never end.
    if (path.empty() || !QFileInfo(to_qpath(path)).isFile())
        return false;
    m_file.setFileName(to_qpath(path));
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    start_direct_reading_if_uncached();
    return true;
}

int64_t InputFile::read_some(void* destination, size_t count)
{
    if (m_direct)
        return read_some_directly(destination, count);
    return m_file.read(static_cast<char*>(destination), static_cast<qint64>(count));
}

bool InputFile::seek(uint64_t offset)
{
    if (m_direct) {
        m_direct->position = offset;
        m_direct->streaming = false;
        return true;
    }
    return m_file.seek(static_cast<qint64>(offset));
}

#ifdef __linux__

namespace {

// Smaller files are read from the page cache whatever their state: too little to matter.
constexpr uint64_t kDirectReadMinimum = uint64_t{8} << 20;
constexpr size_t kDirectReadBlock = size_t{1} << 20;

// Whether less than half of the file's pages are in the page cache.
bool mostly_uncached(int descriptor, uint64_t size)
{
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_SHARED, descriptor, 0);
    if (mapped == MAP_FAILED)
        return false;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident((size + page - 1) / page);
    size_t cached = resident.size();
    if (mincore(mapped, size, resident.data()) == 0)
        cached = static_cast<size_t>(std::count_if(resident.begin(), resident.end(),
                                                   [](unsigned char flag) { return flag & 1; }));
    munmap(mapped, size);
    return cached * 2 < resident.size();
}

} // namespace

void InputFile::start_direct_reading_if_uncached()
{
    const int descriptor = m_file.handle();
    const uint64_t file_size = size();
    if (file_size < kDirectReadMinimum || !mostly_uncached(descriptor, file_size))
        return;
    AlignedBytes buffer = allocate_page_aligned(kDirectReadBlock);
    if (buffer && set_direct_io(descriptor, true)) {
        m_direct = std::make_unique<DirectReading>();
        m_direct->buffer = std::move(buffer);
    }
}

bool InputFile::leave_direct_mode()
{
    const uint64_t position = m_direct->position;
    m_direct.reset();
    return set_direct_io(m_file.handle(), false) && m_file.seek(static_cast<qint64>(position));
}

int64_t InputFile::read_some_directly(void* destination, size_t count)
{
    DirectReading& direct = *m_direct;
    if (direct.position < direct.buffer_offset || direct.position >= direct.buffer_offset + direct.buffer_count) {
        const uint64_t aligned = direct.position / kPageAlignment * kPageAlignment;
        // A first read takes only what is asked (a header, say); reading on takes whole blocks.
        size_t want = kDirectReadBlock;
        if (!direct.streaming) {
            const uint64_t asked = direct.position - aligned + count;
            want = static_cast<size_t>(
                std::min<uint64_t>((asked + kPageAlignment - 1) / kPageAlignment * kPageAlignment, kDirectReadBlock));
            direct.streaming = true;
        }
        ssize_t got;
        do {
            got = pread(m_file.handle(), direct.buffer.get(), want, static_cast<off_t>(aligned));
        } while (got < 0 && errno == EINTR);
        // Some file systems take the flag and then refuse the reads: go through the page cache.
        if (got < 0 && errno == EINVAL)
            return leave_direct_mode() ? read_some(destination, count) : -1;
        if (got < 0)
            return -1;
        direct.buffer_offset = aligned;
        direct.buffer_count = static_cast<size_t>(got);
        if (direct.position >= aligned + direct.buffer_count)
            return 0; // the end of the file
    }
    const size_t available = static_cast<size_t>(direct.buffer_offset + direct.buffer_count - direct.position);
    const size_t taken = std::min(count, available);
    std::memcpy(destination, direct.buffer.get() + (direct.position - direct.buffer_offset), taken);
    direct.position += taken;
    return static_cast<int64_t>(taken);
}

#else

// Elsewhere every file is read through the cache.
void InputFile::start_direct_reading_if_uncached() {}

bool InputFile::leave_direct_mode()
{
    return true;
}

int64_t InputFile::read_some_directly(void*, size_t)
{
    return -1;
}

#endif

void InputFile::close()
{
    m_direct.reset();
    m_file.close();
}

uint64_t InputFile::size() const
{
    return static_cast<uint64_t>(m_file.size());
}

int64_t InputFile::read_up_to(void* destination, size_t count)
{
    auto* bytes = static_cast<char*>(destination);
    size_t done = 0;
    while (done < count) {
        const int64_t got = read_some(bytes + done, count - done);
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
