#include "common/input_file.h"

#include "common/block_pipeline.h"
#include "common/paths.h"
#include "common/platform_io.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace kestrane {
namespace {

// Smaller files are read from the page cache whatever their state: too little to matter.
constexpr uint64_t kDirectReadMinimum = uint64_t{8} << 20;
constexpr size_t kDirectReadBlock = size_t{1} << 20;

} // namespace

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
        const int64_t got = read_at(m_file.handle(), direct.buffer.get(), want, aligned);
        // Some file systems take the flag and then refuse the reads: go through the page cache.
        if (got == kIoDirectRefused)
            return leave_direct_mode() ? read_some(destination, count) : kReadError;
        if (got < 0)
            return kReadError;
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
            return kReadError;
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

} // namespace kestrane
