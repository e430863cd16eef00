#include "format/program_directory.h"

#include "format/path_rules.h"

#include <QCoreApplication>
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
    return parent_directory(executable_path());
}

void set_program_directory(const std::string& directory)
{
    std::lock_guard lock(g_mutex);
    g_override = directory;
}

} // namespace kestrane
