// The Windows program writes what the Linux program writes: kestrane-cli.exe, run under Wine, and
// the Linux kestrane-cli are given the same inputs; wrapped files, package files and key files
// must be equal byte for byte, the encrypted packages (random padding) must open with the test
// private key, and -info -json must say the same. Run by `make test-windows`, not by CTest:
// KESTRANE_WINDOWS_BUILD names the Windows build folder (its wine-run and kestrane-cli.exe), whose
// Wine prefix has a tar.exe in System32.

#include "support/test_support.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace kestrane::test;

namespace {

// A Linux path as the Windows program names it under Wine: drive Z: is the root.
std::string windows_path(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

// The lines of a program's output, without the carriage returns Windows ends them with.
std::string without_carriage_returns(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

class SameBytes : public testing::Test {
protected:
    // Runs the program of one side with its outputs in {out}: its own folder. On Windows every
    // absolute path is given as a Windows path.
    ProcessResult run(bool windows, std::vector<std::string> arguments) const
    {
        const std::string out = m_work.file(windows ? "windows" : "linux");
        QDir().mkpath(QString::fromStdString(out));
        for (std::string& argument : arguments) {
            if (const size_t at = argument.find("{out}"); at != std::string::npos)
                argument.replace(at, 5, out);
            if (windows && argument.starts_with('/'))
                argument = windows_path(argument);
        }
        ProcessOptions options;
        options.set = {{"XDG_CONFIG_HOME", m_config.path()}};
        if (!windows)
            return run_program(KESTRANE_LINUX_CLI, arguments, options);
        arguments.insert(arguments.begin(), m_windows_build + "/kestrane-cli.exe");
        ProcessResult result = run_program(m_windows_build + "/wine-run", arguments, options);
        result.standard_output = without_carriage_returns(result.standard_output);
        return result;
    }

    // Runs both sides; both must succeed.
    void run_both(const std::vector<std::string>& arguments) const
    {
        for (const bool windows : {false, true}) {
            const ProcessResult result = run(windows, arguments);
            EXPECT_EQ(result.exit_code, 0)
                << (windows ? "Windows: " : "Linux: ") << result.standard_output << result.standard_error;
        }
    }

    // The file `name` of both sides' outputs, equal byte for byte.
    void same_file(const std::string& name) const
    {
        EXPECT_EQ(read_bytes(m_work.file("linux/" + name)), read_bytes(m_work.file("windows/" + name))) << name;
    }

    // A brand file's payload is sealed (random padding): the same header on both sides, and a
    // payload that opens to the brand file.
    void same_sealed_brand(const std::string& name, const Bytes& brand) const
    {
        const Bytes linux_bytes = read_bytes(m_work.file("linux/" + name));
        const Bytes windows_bytes = read_bytes(m_work.file("windows/" + name));
        EXPECT_EQ(Bytes(linux_bytes.begin(), linux_bytes.begin() + 140),
                  Bytes(windows_bytes.begin(), windows_bytes.begin() + 140));
        EXPECT_EQ(windows_bytes.size(), 140u + 128u + 16u);
        EXPECT_TRUE(block_seals(linux_bytes.data() + 140, brand));
        EXPECT_TRUE(block_seals(windows_bytes.data() + 140, brand));
    }

    // Each side's encrypted package `name` opens with the test private key to that side's `input`.
    void expect_package_opens(const std::string& name, const std::string& input, const std::string& mode) const
    {
        for (const char* side : {"linux/", "windows/"})
            EXPECT_TRUE(package_matches(read_bytes(m_work.file(side + name)), read_bytes(m_work.file(side + input)),
                                        mode, "Acme", m_key))
                << side << name;
    }

    TempDir m_work;
    TempDir m_config;
    const std::string m_windows_build =
        std::getenv("KESTRANE_WINDOWS_BUILD") ? std::getenv("KESTRANE_WINDOWS_BUILD") : "";
    const Bytes m_key = {0, 0, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
};

} // namespace

TEST_F(SameBytes, EveryWrappingTypeKeysAndPackages)
{
    ASSERT_FALSE(m_windows_build.empty()) << "KESTRANE_WINDOWS_BUILD names the Windows build folder";
    const std::string in = m_work.file("in");
    QDir().mkpath(QString::fromStdString(in + "/web/css"));
    write_text(in + "/web/index.html", "<html></html>");
    write_text(in + "/web/css/site.css", "body{}");
    QDir().mkpath(QString::fromStdString(in + "/addon"));
    write_bytes(in + "/addon/plugin.bin", pattern_bytes(1500, 4));
    write_text(in + "/brand.conf", "[brand]\nname=acme\n");
    write_bytes(in + "/viewer.cab", pattern_bytes(5000, 3));
    make_uimage(in + "/image.krn", "Linux image HW 0000 1r2r3", pattern_bytes(3000, 11));
    make_uimage(in + "/boot.img", "ub2m.15.bin", pattern_bytes(2000, 5));
    make_uimage(in + "/rescue.krn", "EMERGENCY IMAGE KR7r1", pattern_bytes(2000, 6));

    run_both({"-genkey", "0A1B2C3D4E5F", "-company", "Acme", "{out}/acme.wrp"});
    same_file("acme.wrp");
    const std::string key = m_work.file("linux/acme.wrp");

    const struct {
        std::string word, source, mode;
    } cases[] = {
        {"kernel", "image.krn", "ENCR"},    {"addon", "addon", "ENCR"},         {"webpage", "web", "ENCR"},
        {"brand", "brand.conf", "ENCR"},    {"ocx", "viewer.cab", "ENCR"},      {"bootloader", "boot.img", "ENCR"},
        {"dome7720", "viewer.cab", "ENCR"}, {"dome7760", "viewer.cab", "ENCR"}, {"emergency", "rescue.krn", "ENCR"},
        {"raw", "viewer.cab", "ENC1"},
    };
    QDir().mkpath(QString::fromStdString(m_work.file("packages")));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        const std::string wrapped = c.word + ".wrp";
        run_both(
            {"-wrapping", c.word, "-version", "1.5.2", "-key", key, "-dest", "{out}/" + wrapped, in + "/" + c.source});
        if (c.word == "brand")
            same_sealed_brand(wrapped, read_bytes(in + "/" + c.source));
        else
            same_file(wrapped);
        expect_package_opens(wrapped + "-Acme.enc", wrapped, c.mode);
        QFile::copy(QString::fromStdString(m_work.file("linux/" + wrapped + "-Acme.enc")),
                    QString::fromStdString(m_work.file("packages/" + wrapped + "-Acme.enc")));
        const ProcessResult linux_info = run(false, {"-info", m_work.file("linux/" + wrapped), "-json"});
        const ProcessResult windows_info = run(true, {"-info", m_work.file("linux/" + wrapped), "-json"});
        EXPECT_NE(linux_info.standard_output.find("\"md5_trailer\":\"matches\""), std::string::npos);
        EXPECT_EQ(windows_info.standard_output, linux_info.standard_output);
    }

    run_both({"-pack", m_work.file("packages"), "-version", "1.5.2", "-key", key, "-dest", "{out}/Acme-K1.5.2.wrp"});
    same_file("Acme-K1.5.2.wrp");
    expect_package_opens("Acme-K1.5.2.wrp-Acme.pkg", "Acme-K1.5.2.wrp", "ENCR");
}
