#include "settings/settings_store.h"

#include "common/paths.h"
#include "common/program_directory.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QSettings>

#include <functional>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrane;
using namespace kestrane::test;

namespace {

class SettingsTest : public IsolatedSettings {
protected:
    std::string profile_file() const { return m_profile.file("Tev/kestrane.conf"); }
    std::string ini_file() const { return m_program.file("Kestrane.ini"); }
};

// Permissions do not bind root: as root the check runs in a child process as the user nobody. The
// child's exit status says whether the check held.
void expect_as_nobody(const std::function<bool()>& check)
{
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
                std::exit(2);
            std::exit(check() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

std::string text_of(const std::string& path)
{
    if (!path_exists(path))
        return "(none)";
    const Bytes bytes = read_bytes(path);
    return std::string(bytes.begin(), bytes.end());
}

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

// An installed program cannot write beside itself: Kestrane.ini goes beside the profile, unless the
// file is already beside the program (put there by whoever installed it), which is then used and,
// where the file itself may be written, updated in place.
TEST_F(SettingsTest, KeyFilePathWhenTheProgramFolderIsReadOnly)
{
    const struct {
        mode_t ini_mode; // 0: no Kestrane.ini beside the program
        bool beside_program;
        bool written;
    } cases[] = {{0, false, true}, {0666, true, true}, {0444, true, false}};
    const std::string beside_profile = m_profile.file("Tev/Kestrane.ini");
    ASSERT_EQ(chmod(m_profile.path().c_str(), 0777), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini_mode);
        chmod(m_program.path().c_str(), 0755);
        remove_file(ini_file());
        remove_file(beside_profile);
        if (c.ini_mode != 0) {
            write_text(ini_file(), "[PATH]\nvid=/keys/old.wrp\n");
            ASSERT_EQ(chmod(ini_file().c_str(), c.ini_mode), 0);
        }
        ASSERT_EQ(chmod(m_program.path().c_str(), 0555), 0);
        expect_as_nobody([&] {
            const std::string before = read_key_file_path_setting("/fallback");
            const bool written = write_key_file_path_setting("/keys/acme.wrp");
            const std::string value = c.written ? "/keys/acme.wrp" : "/keys/old.wrp";
            const std::string& kept = c.beside_program ? ini_file() : beside_profile;
            const std::string& untouched = c.beside_program ? beside_profile : ini_file();
            return before == (c.ini_mode != 0 ? "/keys/old.wrp" : "/fallback") && written == c.written
                && text_of(kept) == "[PATH]\nvid=" + value + "\n" && !path_exists(untouched);
        });
    }
    chmod(m_program.path().c_str(), 0755);
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

// Kestrane.ini as a FIFO would block the reading for ever: it is not read, nor written.
TEST_F(SettingsTest, ProfileFileThatIsNoRegularFileIsLeftAlone)
{
    ASSERT_EQ(mkfifo(ini_file().c_str(), 0600), 0);
    CProfileFile file(ini_file());
    EXPECT_EQ(file.read("PATH", "vid", "default"), "default");
    EXPECT_EQ(file.write("PATH", "vid", "x"), CProfileFile::kNotWritten);
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
