#include "common/atomic_output_file.h"

#include "common/direct_output.h"
#include "common/paths.h"
#include "common/platform_io.h"
#include "common/termination.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <functional>
#include <mutex>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace kestrane {
namespace {

#ifndef _WIN32
// The signals that end a program by default and that a program can hold off: an interrupt from the
// terminal, a hang-up, a quit, a termination (as a build server's time limit sends).
constexpr std::array kTerminationSignals = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

constexpr size_t kSignalCount = kTerminationSignals.size();

volatile std::sig_atomic_t g_arrived[kSignalCount];
std::mutex g_hold_mutex;
int g_holding_commits = 0; // commits on several threads share one hold
std::array<struct sigaction, kSignalCount> g_previous_actions{};
std::array<bool, kSignalCount> g_held{};

extern "C" void note_termination(int signal)
{
    for (size_t i = 0; i < kSignalCount; ++i) {
        if (kTerminationSignals[i] == signal)
            g_arrived[i] = 1;
    }
}

// Whether a signal is at its default action, which ends the program.
bool at_default_action(const struct sigaction& action)
{
    return !(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_DFL;
}

// While a finished file is linked under a temporary name beside its destination and renamed over
// it, a termination waits: killed in between, the program would leave the complete file under that
// name. A signal that arrived meanwhile ends the program as soon as the rename is done. Only
// signals at their default action are held (a handler of the program's own stays in charge);
// SIGKILL cannot be held.
class TerminationHold {
public:
    TerminationHold()
    {
        const std::lock_guard lock(g_hold_mutex);
        if (g_holding_commits++ > 0)
            return;
        struct sigaction noting {};
        noting.sa_handler = note_termination;
        sigfillset(&noting.sa_mask);
        noting.sa_flags = SA_RESTART;
        for (size_t i = 0; i < kSignalCount; ++i) {
            g_arrived[i] = 0;
            g_held[i] = sigaction(kTerminationSignals[i], nullptr, &g_previous_actions[i]) == 0
                && at_default_action(g_previous_actions[i]) && sigaction(kTerminationSignals[i], &noting, nullptr) == 0;
        }
    }

    ~TerminationHold()
    {
        const std::lock_guard lock(g_hold_mutex);
        if (--g_holding_commits > 0)
            return;
        for (size_t i = 0; i < kSignalCount; ++i) {
            if (g_held[i])
                sigaction(kTerminationSignals[i], &g_previous_actions[i], nullptr);
        }
        for (size_t i = 0; i < kSignalCount; ++i) {
            if (g_held[i] && g_arrived[i])
                std::raise(kTerminationSignals[i]);
        }
    }

    TerminationHold(const TerminationHold&) = delete;
    TerminationHold& operator=(const TerminationHold&) = delete;
};

// The file's bytes on the disk before the termination signals are held: the flush may take long.
// False when the disk did not take them (an I/O error, a full thin volume).
bool flush_to_disk(int descriptor, IoPolicy& io)
{
    if (descriptor < 0)
        return false;
#if defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0
    const bool flushed = fdatasync(descriptor) == 0;
#else
    const bool flushed = fsync(descriptor) == 0;
#endif
    io.step_done(OutputStep::Synced);
    return flushed;
}
#else
// Windows replaces a file with one call: there is no moment in which a second name exists.
class TerminationHold {
public:
    TerminationHold() {}
};

bool flush_to_disk(int, IoPolicy& io)
{
    io.step_done(OutputStep::Synced);
    return true;
}
#endif

// How much is written before the disk is asked to start on it, so that the flush when the file is
// committed has little left to wait for.
constexpr uint64_t kWritebackStep = uint64_t{8} << 20;

// Where an output starts to bypass the page cache (see DirectOutput): an aligned offset.
constexpr uint64_t kDirectFrom = uint64_t{1} << 20;

} // namespace

IoPolicy& system_io()
{
    static IoPolicy system;
    return system;
}

AtomicOutputFile::AtomicOutputFile(const std::string& path, IoPolicy& io)
    : m_path(path), m_io(io), m_file(to_qpath(path))
{}

AtomicOutputFile::~AtomicOutputFile()
{
    discard();
}

bool AtomicOutputFile::open(FileAccess access)
{
    m_failed = false;
    m_written = m_written_back = 0;
    // The rename into place would replace a device or a FIFO by a file: such a path is no output.
    if (m_file.fileName().isEmpty() || !replaceable_by_file(m_path)
        || !m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        m_failed = true;
        return false;
    }
    if (access == FileAccess::OwnerOnly && !m_file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
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
    if (!m_io.may_write(count)) {
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
        const qint64 written =
            m_file.write(reinterpret_cast<const char*>(bytes) + done, static_cast<qint64>(count - done));
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

bool AtomicOutputFile::prepare_commit()
{
    if (!m_file.isOpen())
        return false;
    if (m_prepared)
        return true;
    if (m_direct && !m_direct->finish())
        m_failed = true;
    m_direct.reset();
    if (m_failed) {
        discard();
        return false;
    }
    if (!flush_to_disk(m_file.handle(), m_io)) {
        discard();
        m_failed = true;
        return false;
    }
    m_prepared = true;
    return true;
}

bool AtomicOutputFile::commit()
{
    if (!prepare_commit())
        return false;
    // A termination signal taken by the program waits for the rename too (common/termination.h).
    const TerminationAsCancel cancellable;
    const TerminationHold hold;
    m_io.before_rename();
    if (!m_file.commit()) {
        m_failed = true;
        return false;
    }
    m_io.step_done(OutputStep::Renamed);
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

bool commit_together(const std::vector<AtomicOutputFile*>& outputs)
{
    bool ready = true;
    for (AtomicOutputFile* output : outputs)
        ready = ready && output->prepare_commit();
    const TerminationHold hold; // one signal cannot split the renames
    for (AtomicOutputFile* output : outputs) {
        ready = ready && output->commit();
        if (!ready)
            output->discard();
    }
    return ready;
}

} // namespace kestrane
