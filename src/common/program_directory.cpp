#include "common/program_directory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <mutex>

namespace kestrane {
namespace {

std::mutex g_mutex;
std::string g_override;

std::string executable_path()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath().toStdString();
#ifdef __linux__
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget().toStdString();
#else
    return {};
#endif
}

} // namespace

std::string program_directory()
{
    {
        std::lock_guard lock(g_mutex);
        if (!g_override.empty())
            return g_override;
    }
    const std::string executable = executable_path();
    if (executable.empty())
        return {};
    // The executable's path is absolute: its folder is what the parent-directory rule would cut.
    return QDir::toNativeSeparators(QFileInfo(QString::fromStdString(executable)).path()).toStdString();
}

void set_program_directory(const std::string& directory)
{
    std::lock_guard lock(g_mutex);
    g_override = directory;
}

} // namespace kestrane
