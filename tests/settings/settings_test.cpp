#include "settings/encrypt_operation.h"
#include "settings/settings_store.h"

#include "common/file_io.h"
#include "common/messages.h"
#include "crypt/company_key_file.h"
#include "common/program_directory.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QSettings>

using namespace kestrane;
using namespace kestrane::test;

namespace {

// Points both stores at temporary folders, never at the user's own.
class SettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(m_profile.path()));
        set_program_directory(m_program.path());
    }
    void TearDown() override { set_program_directory(""); }

    std::string profile_file() const { return m_profile.file("Tev/kestrane.conf"); }
    std::string ini_file() const { return m_program.file("Kestrane.ini"); }

    TempDir m_profile;
    TempDir m_program;
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

TEST_F(SettingsTest, ModeSelection)
{
    EXPECT_FALSE(use_new_encrypt_mode("FRM0"));
    EXPECT_TRUE(use_new_encrypt_mode("RAW0"));
    EXPECT_TRUE(use_new_encrypt_mode("raw0"));
    write_encrypt_mode_setting(1);
    EXPECT_TRUE(use_new_encrypt_mode("FRM0"));
    write_encrypt_mode_setting(0);
    EXPECT_FALSE(use_new_encrypt_mode("PKG0"));
}

TEST_F(SettingsTest, EncryptWrappedFileMessagesAndModes)
{
    TempDir work;
    const std::string key_file = work.file("acme.wrp");
    ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Acme", key_file), 1);
    const Bytes key = {0, 0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    const Bytes firmware = plain_tagged_bytes("FRM0", pattern_bytes(2000, 4));
    const Bytes raw = plain_tagged_bytes("RAW0", pattern_bytes(200, 5));
    write_bytes(work.file("fw.wrp"), firmware);
    write_bytes(work.file("raw.wrp"), raw);

    MessageRecorder recorder;
    const std::string out = work.file("fw.wrp-Acme.enc");
    EXPECT_EQ(encrypt_wrapped_file(key_file, work.file("fw.wrp"), out), 1);
    EXPECT_TRUE(package_matches(read_bytes(out), firmware, "ENCR", "Acme", key));

    EXPECT_EQ(encrypt_wrapped_file(key_file, work.file("raw.wrp"), work.file("raw.enc")), 1);
    EXPECT_TRUE(package_matches(read_bytes(work.file("raw.enc")), raw, "ENC1", "Acme", key));

    write_encrypt_mode_setting(1); // seen by the next encryption at once
    EXPECT_EQ(encrypt_wrapped_file(key_file, work.file("fw.wrp"), out), 1);
    EXPECT_TRUE(package_matches(read_bytes(out), firmware, "ENC1", "Acme", key));

    EXPECT_EQ(recorder.messages(), (std::vector<std::string>{
                                       "Success to encrypt file. [path:" + out + "]",
                                       "Success to encrypt file. [path:" + work.file("raw.enc") + "]",
                                       "Success to encrypt file. [path:" + out + "]"}));
}

TEST_F(SettingsTest, EncryptWrappedFileFailures)
{
    TempDir work;
    ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Acme", work.file("acme.wrp")), 1);
    ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Seventeen-chars!!", work.file("long.wrp")), 1);
    write_bytes(work.file("fw.wrp"), plain_tagged_bytes("FRM0", pattern_bytes(100, 4)));
    Bytes encrypted = plain_tagged_bytes("FRM0", pattern_bytes(100, 4));
    std::copy_n("ENCR", 4, encrypted.begin() + 4);
    write_bytes(work.file("fw.enc"), encrypted);

    MessageRecorder recorder;
    EXPECT_EQ(encrypt_wrapped_file(work.file("none.wrp"), work.file("fw.wrp"), work.file("o1")), -1);
    EXPECT_EQ(encrypt_wrapped_file(work.file("long.wrp"), work.file("fw.wrp"), work.file("o2")), -1);
    EXPECT_EQ(encrypt_wrapped_file(work.file("acme.wrp"), work.file("fw.enc"), work.file("o3")), -1);
    EXPECT_EQ(encrypt_wrapped_file(work.file("acme.wrp"), work.file("missing"), work.file("o4")), -1);
    EXPECT_EQ(recorder.messages(), (std::vector<std::string>{
                                       "Could not load vid from vid.wrp",
                                       "Company name error",
                                       "encrypt_package() Failed with error [-1]",
                                       "encrypt_package() Failed with error [-2]"}));
    for (const char* name : {"o1", "o2", "o3", "o4"})
        EXPECT_FALSE(path_exists(work.file(name))) << name;
}
