#include "common/paths.h"

#include <QFile>
#include <QFileInfo>

namespace kestrane {

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

bool replaceable_by_file(const std::string& path)
{
    const QString name = to_qpath(path);
    if (name.isEmpty())
        return true;
    const QFileInfo info(name);
    return !info.exists() || info.isFile();
}

bool remove_file(const std::string& path)
{
    return QFile::remove(to_qpath(path));
}

} // namespace kestrane
