#include "settings/settings_store.h"

#include "common/program_directory.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QSettings>

using namespace kestrane;
using namespace kestrane::test;

namespace {

class SettingsTest : public IsolatedSettings {
protected:
    std::string profile_file() const { return m_profile.file("Tev/kestrane.conf"); }
    std::string ini_file() const { return m_program.file("Kestrane.ini"); }
};

} // namespace

TEST_F(SettingsTest, DefaultsWithNothingStored)
{
    EXPECT_EQ(read_source_path_setting(), "");
    EXPECT_EQ(read_encrypt_mode_setting(), 0);
    EXPECT_EQ(read_key_file_path_setting("/opt/kestrane/vid_tev.wrp"), "/opt/kestrane/vid_tev.wrp");
}

TEST_F(SettingsTest, ProfileValuesLandInTheTevProfile)
{
    EXPECT_TRUE(write_source_path_setting("/fw/web"));
    EXPECT_TRUE(write_encrypt_mode_setting(1));
    EXPECT_EQ(read_source_path_setting(), "/fw/web");
    EXPECT_EQ(read_encrypt_mode_setting(), 1);

    const std::string text = std::string(reinterpret_cast<const char*>(read_bytes(profile_file()).data()),
                                         read_bytes(profile_file()).size());
    EXPECT_NE(text.find("[PATH]\nbasic=/fw/web"), std::string::npos) << text;
    EXPECT_NE(text.find("[MODE]\nnew_encrypt=1"), std::string::npos) << text;
}

TEST_F(SettingsTest, KeyFilePathLivesInKestraneIni)
{
    write_key_file_path_setting("/keys/acme.wrp");
    EXPECT_EQ(read_key_file_path_setting("/fallback"), "/keys/acme.wrp");
    const Bytes ini = read_bytes(ini_file());
    EXPECT_EQ(std::string(ini.begin(), ini.end()), "[PATH]\nvid=/keys/acme.wrp\n");

    write_key_file_path_setting("");
    EXPECT_EQ(read_key_file_path_setting("/fallback"), "/fallback");

    const std::string long_path = "/" + std::string(700, 'k') + "/한글 key, file.wrp";
    write_key_file_path_setting(long_path);
    EXPECT_EQ(read_key_file_path_setting("/fallback"), long_path);
}

TEST_F(SettingsTest, ProfileFileReadsAndWrites)
{
    CProfileFile file(ini_file());
    EXPECT_EQ(file.write(std::nullopt, "vid", "x"), 0);
    EXPECT_EQ(file.write("PATH", std::nullopt, "x"), 0);
    EXPECT_EQ(file.write("PATH", "vid", std::nullopt), 1);
    EXPECT_EQ(file.read("PATH", "vid", "default"), "");
    EXPECT_EQ(file.read("PATH", "other", "default"), "default");
    EXPECT_EQ(file.read(std::nullopt, "vid", "default"), "default");
    EXPECT_EQ(file.read("PATH", "other"), "");

    file.set_path(std::nullopt);
    EXPECT_EQ(file.path(), "");
    EXPECT_EQ(file.write("PATH", "vid", "x"), 0);

    write_text(m_program.file("plain-file"), "");
    CProfileFile unwritable(m_program.file("plain-file/Kestrane.ini"));
    EXPECT_EQ(unwritable.write("PATH", "vid", "x"), 0);
}

// A store inside a plain file cannot be made, whoever runs the test: every writer says so.
TEST_F(SettingsTest, WritersReportAStoreThatCannotBeWritten)
{
    write_text(m_program.file("plain-file"), "");
    set_program_directory(m_program.file("plain-file"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(m_program.file("plain-file")));
    EXPECT_FALSE(write_key_file_path_setting("/keys/acme.wrp"));
    EXPECT_FALSE(write_source_path_setting("/fw/web"));
    EXPECT_FALSE(write_encrypt_mode_setting(1));

    set_program_directory(m_program.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(m_profile.path()));
    EXPECT_TRUE(write_key_file_path_setting("/keys/acme.wrp"));
    EXPECT_TRUE(write_encrypt_mode_setting(1));
}
