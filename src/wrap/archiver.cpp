#include "wrap/archiver.h"

#include "common/paths.h"
#include "common/program_directory.h"
#include "common/progress.h"
#include "common/path_rules.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/prctl.h>
#endif
#ifdef _WIN32
#include <windows.h>
#endif

namespace kestrane {
namespace {

#ifdef _WIN32
constexpr const char* kArchiverName = "tar.exe";

// The tar.exe Windows ships (%SystemRoot%\System32), not the first one on PATH: a POSIX tar there
// would take the drive letter of "C:\..." for a remote host.
std::string system_archiver()
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    const std::string archiver = join_path(QString::fromWCharArray(folder, length).toStdString(), kArchiverName);
    return is_regular_file(archiver) ? archiver : std::string();
}
#else
constexpr const char* kArchiverName = "tar";

std::string system_archiver()
{
    return QStandardPaths::findExecutable(QString::fromLatin1(kArchiverName)).toStdString();
}
#endif

// How often a wait for the archiver looks at Cancel and keeps a progress display alive.
constexpr int kWaitStepMs = 50;

// The options that make two archives of equal trees equal (GNU tar; Windows' tar.exe knows
// neither sorting nor a time limit, so nothing is added there). Modes keep the owner's bits and
// every execute bit: only the write bits for group and others, which follow the umask of
// whoever copied the tree, are dropped. The GNU format carries no access or change times.
QStringList reproducible_options()
{
#ifdef _WIN32
    return {};
#else
    bool number = false; // SOURCE_DATE_EPOCH counts only as a number of seconds
    const qulonglong epoch = qEnvironmentVariable("SOURCE_DATE_EPOCH").toULongLong(&number);
    if (!number)
        return {};
    return {QStringLiteral("--format=gnu"),    QStringLiteral("--sort=name"), QStringLiteral("--mtime=@%1").arg(epoch),
            QStringLiteral("--clamp-mtime"),   QStringLiteral("--owner=0"),   QStringLiteral("--group=0"),
            QStringLiteral("--numeric-owner"), QStringLiteral("--mode=go-w")};
#endif
}

// The archiver set up to run in `directory` on `archive`, with its input and output away from ours.
// It does not outlive the program: on Linux the system kills it when the program ends, however.
bool prepare_archiver(QProcess& archiver, const std::string& directory, const QString& archive,
                      const QStringList& extra_options = {}, bool keep_errors = false)
{
    const std::string program = archiver_program();
    // An empty working directory would make the archiver pack our current directory instead.
    if (program.empty() || to_qpath(directory).isEmpty())
        return false;
    archiver.setProgram(to_qpath(program));
    archiver.setArguments(QStringList{QStringLiteral("cvf"), archive} + reproducible_options() + extra_options
                          + QStringList{QStringLiteral(".")});
    archiver.setWorkingDirectory(to_qpath(directory));
    archiver.setStandardInputFile(QProcess::nullDevice());
    archiver.setStandardOutputFile(QProcess::nullDevice());
    if (!keep_errors)
        archiver.setStandardErrorFile(QProcess::nullDevice());
#ifdef __linux__
    const pid_t parent = getpid();
    archiver.setChildProcessModifier([parent] {
        // Only async-signal-safe calls here: this runs between fork and exec.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127); // the program ended before the line above took effect
    });
#endif
    return true;
}

// Waits for the archiver to end in short steps, so that a progress display stays alive meanwhile.
// The display handles events, and the archiver's end may be noticed there: waitForFinished() then
// returns false at once, so the state says when the archiver has ended. False when cancelled (the
// archiver is ended and waited for then).
bool wait_for_archiver(QProcess& archiver, Progress& progress)
{
    while (archiver.state() != QProcess::NotRunning && !archiver.waitForFinished(kWaitStepMs)) {
        progress.tick();
        if (progress.cancelled()) {
            archiver.kill();
            archiver.waitForFinished(-1);
            return false;
        }
    }
    return true;
}

bool exited_well(const QProcess& archiver)
{
    return archiver.exitStatus() == QProcess::NormalExit && archiver.exitCode() == 0;
}

// Starts the prepared archiver and waits for it, shown as the archiving of `directory`: kWrapOk
// when it ended (exited_well tells how), `not_started` when it did not start, kOperationCancelled.
int run_archiver(QProcess& archiver, const std::string& directory, int not_started, ProgressPresenter* presenter)
{
    archiver.start();
    if (!archiver.waitForStarted(-1))
        return not_started;
    Progress progress("Archiving " + last_path_component(directory), 0, presenter);
    return wait_for_archiver(archiver, progress) ? kWrapOk : kOperationCancelled;
}

} // namespace

TemporaryArchive::TemporaryArchive(const std::string& destination)
{
    const QString name = to_qpath(destination);
    if (name.isEmpty())
        return;
    m_file.setFileTemplate(QFileInfo(name).absoluteFilePath() + QStringLiteral(".XXXXXX.tmp"));
    // Closed again at once: the archiver writes it by its name.
    if (!m_file.open())
        return;
    m_file.close();
    m_path = m_file.fileName().toStdString();
}

std::string archiver_program()
{
    const std::string directory = program_directory();
    if (!directory.empty()) {
        const std::string beside_program = join_path(directory, kArchiverName);
        if (is_regular_file(beside_program))
            return beside_program;
    }
    return system_archiver();
}

int archive_directory(const std::string& directory, const std::string& archive_path, ProgressPresenter* progress)
{
    // The archiver runs elsewhere: a relative path would name a file inside the source directory.
    const QString archive = QDir::toNativeSeparators(QFileInfo(to_qpath(archive_path)).absoluteFilePath());
    QProcess archiver;
    if (!prepare_archiver(archiver, directory, archive))
        return kWrapSourceUnreadable;
    if (const int ran = run_archiver(archiver, directory, kWrapSourceUnreadable, progress); ran != kWrapOk)
        return ran;
    const QFileInfo written(archive);
    return exited_well(archiver) && written.isFile() && written.size() > 0 ? kWrapOk : kWrapSourceUnreadable;
}

ArchiveStream::ArchiveStream(std::string directory, ProgressPresenter* progress)
    : m_directory(std::move(directory)), m_progress(progress),
      m_folder(QDir::tempPath() + QStringLiteral("/kestrane-XXXXXX"))
{}

ArchiveStream::~ArchiveStream()
{
    stop_archiver(kWrapOk);
#ifndef _WIN32
    if (m_fifo >= 0)
        ::close(m_fifo);
#endif
}

#ifdef _WIN32

int ArchiveStream::start()
{
    return kArchiveNotStreamable;
}

int64_t ArchiveStream::read_some(void*, size_t, Progress&)
{
    return kWrapSourceUnreadable;
}

int ArchiveStream::end(Progress&)
{
    return kWrapSourceUnreadable;
}

bool ArchiveStream::wait_for_data(Progress&)
{
    return false;
}

#else

int ArchiveStream::start()
{
    if (!m_folder.isValid())
        return kArchiveNotStreamable;
    // The size: GNU tar reads no file's contents when its archive is the null device (here through
    // a link of our own, so that no archiver is ever handed the system's device by name).
    const QString counting = m_folder.filePath(QStringLiteral("size"));
    QProcess measure;
    if (!QFile::link(QStringLiteral("/dev/null"), counting)
        || !prepare_archiver(measure, m_directory, counting, {QStringLiteral("--totals")}, true))
        return kArchiveNotStreamable;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C")); // the totals line in English
    measure.setProcessEnvironment(environment);
    if (const int ran = run_archiver(measure, m_directory, kArchiveNotStreamable, m_progress); ran != kWrapOk)
        return ran;
    static const QRegularExpression totals(QStringLiteral("^Total bytes written: (\\d+)"),
                                           QRegularExpression::MultilineOption);
    const QRegularExpressionMatch found = totals.match(QString::fromLocal8Bit(measure.readAllStandardError()));
    bool number = false;
    m_size = found.hasMatch() ? found.captured(1).toULongLong(&number) : 0;
    if (!exited_well(measure) || !number || m_size == 0)
        return kArchiveNotStreamable;

    const QString archive = m_folder.filePath(QStringLiteral("archive"));
    if (mkfifo(QFile::encodeName(archive).constData(), 0600) != 0)
        return kArchiveNotStreamable;
    // Opened before the archiver starts, without waiting for it: the archiver's open then finds a
    // reader, and one that never opens does not hold us up.
    m_fifo = ::open(QFile::encodeName(archive).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fifo < 0)
        return kArchiveNotStreamable;
#ifdef F_SETPIPE_SZ
    fcntl(m_fifo, F_SETPIPE_SZ, 1 << 20); // fewer, larger handovers; the system may refuse
#endif
    if (!prepare_archiver(m_archiver, m_directory, archive))
        return kWrapSourceUnreadable;
    m_archiver.setProcessEnvironment(environment);
    m_archiver.start();
    return m_archiver.waitForStarted(-1) ? kWrapOk : kWrapSourceUnreadable;
}

// Until bytes or the end of the stream are there. Before the archiver opens the FIFO, poll() tells
// nothing (no end either): its end then shows that it never will.
bool ArchiveStream::wait_for_data(Progress& progress)
{
    for (;;) {
        pollfd wanted{m_fifo, POLLIN, 0};
        const int ready = poll(&wanted, 1, kWaitStepMs);
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
        progress.tick();
        if (progress.cancelled())
            return false;
        if (m_archiver.state() == QProcess::NotRunning || m_archiver.waitForFinished(0))
            return poll(&wanted, 1, 0) > 0; // what it wrote before it ended, or nothing
    }
}

int64_t ArchiveStream::read_some(void* destination, size_t count, Progress& progress)
{
    for (;;) {
        const ssize_t got = ::read(m_fifo, destination, count);
        if (got > 0)
            return got;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno != EAGAIN)
            return stop_archiver(kWrapSourceUnreadable);
        // Nothing yet; with no writer (0) that is the end only once the archiver opened and closed it.
        pollfd hung_up{m_fifo, POLLIN, 0};
        if (got == 0 && poll(&hung_up, 1, 0) > 0 && (hung_up.revents & POLLHUP))
            return 0;
        if (!wait_for_data(progress))
            return progress.cancelled() ? stop_archiver(kOperationCancelled) : 0;
    }
}

int ArchiveStream::end(Progress& progress)
{
    uint8_t beyond = 0;
    const int64_t more = read_some(&beyond, 1, progress);
    if (more < 0)
        return static_cast<int>(more);
    if (more > 0)
        return stop_archiver(kWrapSourceChanged);
    if (!wait_for_archiver(m_archiver, progress))
        return kOperationCancelled;
    return exited_well(m_archiver) ? kWrapOk : kWrapSourceUnreadable;
}

#endif

// Ends an archiver that still runs and waits for it; answers `result`.
int ArchiveStream::stop_archiver(int result)
{
    if (m_archiver.state() != QProcess::NotRunning) {
        m_archiver.kill();
        m_archiver.waitForFinished(-1);
    }
    return result;
}

} // namespace kestrane
