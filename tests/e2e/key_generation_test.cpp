// Company key files made on the command line and by the release script.

#include "e2e/faults_support.h"

#include <QFile>

#include <sys/stat.h>

#include <regex>

using namespace kestrane::test;

namespace {

TEST_P(BuildServer, GenerateKeyLikeTheDialog)
{
    const ProcessResult made = run({"-genkey", "0a1B2c3D4e5F", "-company", "Acme", "keys.wrp"});
    EXPECT_EQ(made.exit_code, 0);
    EXPECT_EQ(lines_of(made.standard_output), Lines{"Success"});
    const Bytes file = read_bytes(work().file("keys.wrp"));
    EXPECT_EQ(to_hex(file.data() + 140, 8), "00000a1b2c3d4e5f");
    EXPECT_EQ(text_at(file, 148, 4), "Acme");
    EXPECT_EQ(to_hex(file.data() + 152, 16), openssl_md5_hex(Bytes(file.begin(), file.begin() + 152)));
    struct stat info {};
    ASSERT_EQ(stat(work().file("keys.wrp").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case refusals[] = {
        {{"-genkey", "0A1B2C3D4E5", "-company", "Acme", "x.wrp"}, "Invalid vid"},
        {{"-genkey", "0A1B2C3D4E5F", "-company", "Seventeen-chars!!", "x.wrp"}, "Company name error"},
        {{"-genkey", "0A1B2C3D4E5G", "-company", "Acme", "x.wrp"}, "Fail with Error code[-1]"},
    };
    for (const Case& c : refusals) {
        const ProcessResult result = run(c.arguments);
        EXPECT_EQ(result.exit_code, 1) << c.message;
        EXPECT_EQ(lines_of(result.standard_output), Lines{c.message});
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(work().file("x.wrp"))));

    // Drawn digits are printed on a terminal only; elsewhere the output says where they are.
    const ProcessResult on_terminal = run_on_terminal({"-genkey", "random", "-company", "Acme", "r1.wrp"});
    ASSERT_EQ(on_terminal.exit_code, 0);
    std::smatch digits;
    ASSERT_TRUE(std::regex_search(on_terminal.standard_output, digits,
                                  std::regex("Company key digits: ([0-9A-F]{12})\r?\nSuccess")));
    EXPECT_EQ(to_hex(read_bytes(work().file("r1.wrp")).data() + 140, 8),
              "0000" + QString::fromStdString(digits[1]).toLower().toStdString());
    const ProcessResult logged = run({"-genkey", "random", "-company", "Acme", "r2.wrp"});
    EXPECT_EQ(lines_of(logged.standard_output),
              (Lines{"Success",
                     "Company key digits: not printed, they are in the key file[path:" + work().file("r2.wrp") + "]"}));
    const Bytes drawn = read_bytes(work().file("r2.wrp"));
    EXPECT_NE(drawn, read_bytes(work().file("r1.wrp")));

    // An existing key file is replaced only with -force.
    const ProcessResult kept = run({"-genkey", "0A1B2C3D4E5F", "-company", "Acme", "r2.wrp"});
    EXPECT_EQ(kept.exit_code, 1);
    EXPECT_EQ(lines_of(kept.standard_output),
              (Lines{"Company key file exists[path:" + work().file("r2.wrp") + "]", "-force replaces it"}));
    EXPECT_EQ(read_bytes(work().file("r2.wrp")), drawn);
    EXPECT_EQ(run({"-genkey", "0A1B2C3D4E5F", "-company", "Acme", "r2.wrp", "-force"}).exit_code, 0);
    EXPECT_EQ(to_hex(read_bytes(work().file("r2.wrp")).data() + 140, 8), "00000a1b2c3d4e5f");
}

// The key file lives longer than a release: the script makes one only when asked, never over an
// existing one, and no log shows its digits.
TEST_P(BuildServer, ReleaseScriptMakesAKeyFileOnlyWhenAsked)
{
    const std::string kernel = make_kernel("image.krn");
    const std::string web = make_web(work());
    const std::string key_file = work().file("acme.wrp");
    EXPECT_EQ(release({key_file, kernel, web, "1.5.2", work().file("r0")}).exit_code, 1);

    const ProcessResult made = release({"--new-key", "Acme", key_file, kernel, web, "1.5.2", work().file("r1")});
    ASSERT_EQ(made.exit_code, 0) << made.standard_output << made.standard_error;
    const Bytes key = read_bytes(key_file);
    const std::string digits = QString::fromStdString(to_hex(key.data() + 142, 6)).toUpper().toStdString();
    EXPECT_EQ(made.standard_output.find(digits), std::string::npos);
    EXPECT_NE(made.standard_output.find("they are in the key file[path:" + key_file + "]"), std::string::npos);

    const ProcessResult again = release({"--new-key", "Acme", key_file, kernel, web, "1.5.2", work().file("r2")});
    EXPECT_EQ(again.exit_code, 1);
    EXPECT_EQ(lines_of(again.standard_output),
              (Lines{"Company key file exists[path:" + key_file + "]", "-force replaces it"}));
    EXPECT_EQ(read_bytes(key_file), key);
}

TEST_P(ReadOnlyFolder, GenerateKeyKeepsTheOldKeyFile)
{
    const std::string locked = locked_folder([](const std::string& dir) { write_text(dir + "/acme.wrp", "old key"); });
    expect_clean_failure({"-genkey", "0A1B2C3D4E5F", "-company", "Acme", locked + "/acme.wrp", "-force"},
                         {"Fail with Error code[-2]"}, unprivileged());
}

} // namespace
