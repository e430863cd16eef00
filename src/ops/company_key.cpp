#include "ops/company_key.h"

#include "common/paths.h"
#include "crypt/company_key_file.h"
#include "common/path_rules.h"

#include <QDir>

namespace kestrane {

CompanyKeyFile load_company_key_file(const std::string& key_file)
{
    CompanyKeyFile loaded;
    loaded.path = key_file;
    loaded.result = read_company_key_file(key_file, loaded.key, loaded.company_name);
    return loaded;
}

std::optional<std::string> company_of_key_file(const std::string& key_file)
{
    CompanyKeyFile loaded = load_company_key_file(key_file);
    if (!loaded.read())
        return std::nullopt;
    return std::move(loaded.company_name);
}

std::optional<FolderKeyFiles> company_key_files_in(const std::string& folder)
{
    const QDir directory(QString::fromStdString(folder));
    if (!is_directory(folder) || !directory.isReadable())
        return std::nullopt;
    FolderKeyFiles found;
    const QStringList names = directory.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        CompanyKeyFile key_file = load_company_key_file(join_path(folder, name.toStdString()));
        if (key_file.read())
            found.key_files.push_back(std::move(key_file));
        else
            found.others.push_back(key_file.path);
    }
    return found;
}

} // namespace kestrane
