#include "wrap/archiver.h"

#include "common/paths.h"
#include "common/progress.h"
#include "format/path_rules.h"
#include "common/program_directory.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#ifdef _WIN32
#ifndef NOMINMAX // MinGW defines it
#define NOMINMAX
#endif
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

int archive_directory(const std::string& directory, const std::string& archive_path)
{
    const std::string program = archiver_program();
    // An empty working directory would make the archiver pack our current directory instead.
    if (program.empty() || to_qpath(directory).isEmpty())
        return kWrapSourceUnreadable;
    // The archiver runs elsewhere: a relative path would name a file inside the source directory.
    const QString archive = QDir::toNativeSeparators(QFileInfo(to_qpath(archive_path)).absoluteFilePath());

    QProcess archiver;
    archiver.setProgram(to_qpath(program));
    archiver.setArguments({QStringLiteral("cvf"), archive, QStringLiteral(".")});
    archiver.setWorkingDirectory(to_qpath(directory));
    archiver.setStandardInputFile(QProcess::nullDevice());
    archiver.setStandardOutputFile(QProcess::nullDevice());
    archiver.setStandardErrorFile(QProcess::nullDevice());
    archiver.start();
    if (!archiver.waitForStarted(-1))
        return kWrapSourceUnreadable;
    // Waited for in short steps, so that a progress display stays alive meanwhile. The display
    // handles events, and the archiver's end may be noticed there: waitForFinished() then returns
    // false at once, so the state says when the archiver has ended.
    Progress progress("Archiving " + last_path_component(directory), 0);
    while (archiver.state() != QProcess::NotRunning && !archiver.waitForFinished(50)) {
        progress.tick();
        if (progress.cancelled()) {
            archiver.kill();
            archiver.waitForFinished(-1);
            return kOperationCancelled;
        }
    }
    const QFileInfo written(archive);
    const bool archived = archiver.exitStatus() == QProcess::NormalExit && archiver.exitCode() == 0 && written.isFile()
        && written.size() > 0;
    return archived ? kWrapOk : kWrapSourceUnreadable;
}

} // namespace kestrane
