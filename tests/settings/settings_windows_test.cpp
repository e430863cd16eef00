// Windows: the per-user profile is the registry (HKCU\Software\Tev\kestrane), read back with
// reg.exe; Kestrane.ini lives beside the program, else in the per-user folder (%APPDATA%\Tev).

#include "common/paths.h"
#include "common/program_directory.h"
#include "settings/settings_store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace kestrane;
using namespace kestrane::test;

namespace {

using WindowsSettings = IsolatedSettings;

std::string registry_value(const std::string& key, const std::string& name)
{
    return run_process("reg", {"query", "HKCU\\Software\\Tev\\kestrane\\" + key, "/v", name}).standard_output;
}

} // namespace

TEST_F(WindowsSettings, ProfileValuesLandInTheRegistry)
{
    EXPECT_TRUE(write_source_path_setting("C:\\fw\\web"));
    EXPECT_TRUE(write_encrypt_mode_setting(1));
    EXPECT_EQ(read_source_path_setting(), "C:\\fw\\web");
    EXPECT_EQ(read_encrypt_mode_setting(), 1);
    const std::string basic = registry_value("PATH", "basic");
    EXPECT_NE(basic.find("C:\\fw\\web"), std::string::npos) << basic;
    EXPECT_NE(registry_value("MODE", "new_encrypt").find("new_encrypt"), std::string::npos);
    EXPECT_FALSE(path_exists(m_profile.file("Tev/kestrane.ini"))) << "the profile is no file here";
}

TEST_F(WindowsSettings, KestraneIniBesideTheProgramElseInTheUserFolder)
{
    const struct {
        std::string program_directory;
        std::string ini;
    } cases[] = {{m_program.path(), m_program.file("Kestrane.ini")},
                 {m_program.file("no-such-folder"), m_profile.file("Tev/Kestrane.ini")}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program_directory);
        set_program_directory(c.program_directory);
        ASSERT_TRUE(write_key_file_path_setting("C:\\keys\\acme.wrp"));
        EXPECT_EQ(read_key_file_path_setting("C:\\fallback"), "C:\\keys\\acme.wrp");
        const Bytes ini = read_bytes(c.ini);
        EXPECT_NE(std::string(ini.begin(), ini.end()).find("vid=C:\\\\keys\\\\acme.wrp"), std::string::npos);
        remove_file(c.ini);
    }
}
