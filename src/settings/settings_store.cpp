#include "settings/settings_store.h"

#include "common/path_rules.h"
#include "common/paths.h"
#include "common/program_directory.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <filesystem>

namespace kestrane {
namespace {

const char* const kOrganisation = "Tev";
const char* const kSourcePathKey = "PATH/basic";
const char* const kEncryptModeKey = "MODE/new_encrypt";
const char* const kIniFileName = "Kestrane.ini";
const char* const kIniSection = "PATH";
const char* const kIniKeyFileKey = "vid";

QSettings profile(QSettings::Format format = QSettings::NativeFormat)
{
    return QSettings(format, QSettings::UserScope, kOrganisation, QString::fromStdString(settings_application_name()));
}

// A settings file that is there but is not a regular file (a FIFO would block the reading for
// ever) is not read: its settings are missing, and writing them fails.
bool readable_or_absent(const QString& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path.toStdString(), error);
    return !std::filesystem::exists(status) || std::filesystem::is_regular_file(status);
}

// The files the per-user profile is read from where it is a file ($XDG_CONFIG_HOME/Tev): the
// program's own and the organisation's. QSettings reads them as soon as it is made.
QStringList profile_files()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + '/' + kOrganisation;
    return {folder + '/' + QString::fromStdString(settings_application_name()) + ".conf", folder + ".conf"};
#else
    return {};
#endif
}

bool profile_readable()
{
    const QStringList files = profile_files();
    return std::all_of(files.begin(), files.end(), readable_or_absent);
}

bool synced(QSettings& settings)
{
    settings.sync();
    return settings.status() == QSettings::NoError;
}

// The folder of the per-user profile ($XDG_CONFIG_HOME/Tev). Where the profile is not a file of
// its own (the registry, a property list), the folder an .ini profile would live in.
std::string user_configuration_directory()
{
    if (!profile_readable())
        return QFileInfo(profile_files().front()).absolutePath().toStdString();
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
    const QSettings settings = profile(QSettings::IniFormat);
#else
    const QSettings settings = profile();
#endif
    return QFileInfo(settings.fileName()).absolutePath().toStdString();
}

// Kestrane.ini lives beside the program, so that a copy of the program in a folder of its own keeps
// its settings with it: when the file is there already, or when that folder can take a new one. An
// installed program has neither (/usr/bin): then it lives beside the per-user profile instead.
CProfileFile private_profile()
{
    const std::string directory = program_directory();
    if (!directory.empty()) {
        const std::string beside_program = join_path(directory, kIniFileName);
        if (is_regular_file(beside_program) || QFileInfo(QString::fromStdString(directory)).isWritable())
            return CProfileFile(beside_program);
    }
    return CProfileFile(join_path(user_configuration_directory(), kIniFileName));
}

QString setting_key(const std::string& section, const std::string& key)
{
    return QString::fromStdString(section) + '/' + QString::fromStdString(key);
}

} // namespace

std::string settings_application_name()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationName().toStdString();
    return "kestrane";
}

std::string read_source_path_setting()
{
    if (!profile_readable())
        return {};
    return profile().value(kSourcePathKey, QString()).toString().toStdString();
}

bool write_source_path_setting(const std::string& path)
{
    if (!profile_readable())
        return false;
    QSettings settings = profile();
    settings.setValue(kSourcePathKey, QString::fromStdString(path));
    return synced(settings);
}

int read_encrypt_mode_setting()
{
    if (!profile_readable())
        return 0;
    return profile().value(kEncryptModeKey, 0).toInt();
}

bool write_encrypt_mode_setting(int mode)
{
    if (!profile_readable())
        return false;
    QSettings settings = profile();
    settings.setValue(kEncryptModeKey, mode);
    return synced(settings);
}

std::string read_key_file_path_setting(const std::string& fallback)
{
    const std::string stored = private_profile().read(kIniSection, kIniKeyFileKey);
    return stored.empty() ? fallback : stored;
}

bool write_key_file_path_setting(const std::string& path)
{
    return private_profile().write(kIniSection, kIniKeyFileKey, path) == CProfileFile::kWritten;
}

CProfileFile::~CProfileFile() = default;

void CProfileFile::set_path(std::optional<std::string> path)
{
    m_path = path.value_or(std::string());
}

std::string CProfileFile::read(const std::optional<std::string>& section, const std::optional<std::string>& key,
                               const std::optional<std::string>& default_value) const
{
    const std::string fallback = default_value.value_or(std::string());
    if (!section || !key || m_path.empty() || !readable_or_absent(QString::fromStdString(m_path)))
        return fallback;
    const QSettings file(QString::fromStdString(m_path), QSettings::IniFormat);
    return file.value(setting_key(*section, *key), QString::fromStdString(fallback)).toString().toStdString();
}

int CProfileFile::write(const std::optional<std::string>& section, const std::optional<std::string>& key,
                        const std::optional<std::string>& value)
{
    if (!section || !key || m_path.empty() || !readable_or_absent(QString::fromStdString(m_path)))
        return kNotWritten;
    QSettings file(QString::fromStdString(m_path), QSettings::IniFormat);
    // The file is replaced through a temporary file beside it where its folder allows; an existing
    // file in a read-only folder (a program's own folder) is written in place instead.
    file.setAtomicSyncRequired(false);
    file.setValue(setting_key(*section, *key), QString::fromStdString(value.value_or(std::string())));
    return synced(file) ? kWritten : kNotWritten;
}

} // namespace kestrane
