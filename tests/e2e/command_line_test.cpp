#include "e2e/e2e_support.h"

#include <QDir>
#include <QSettings>

using namespace kestrane::test;

namespace {

using Lines = std::vector<std::string>;

std::string success_line(const std::string& wrapped)
{
    return "wrapping file success. [path:" + wrapped + "]";
}

class CommandLineMode : public CommandLineProgramTest {
protected:
    // A kernel image whose name carries version 1.2.3 (characters 20 on: "1r2r3").
    std::string make_kernel(const std::string& name = "image.krn") const
    {
        const std::string path = work().file(name);
        make_uimage(path, "Linux image HW 0000 1r2r3", pattern_bytes(3000, 11));
        return path;
    }
    std::string make_web_directory() const
    {
        const std::string root = work().file("web");
        QDir().mkpath(QString::fromStdString(root + "/css"));
        write_text(root + "/index.html", "<html></html>");
        write_text(root + "/css/site.css", "body{}");
        return root;
    }
};

TEST_P(CommandLineMode, EveryWrappingWord)
{
    const std::string web = make_web_directory();
    const std::string addon = work().file("addon");
    QDir().mkpath(QString::fromStdString(addon));
    write_text(addon + "/plugin.bin", "plugin");
    const Bytes brand = bytes_of("[brand]\nname=acme\n");
    write_bytes(work().file("brand.conf"), brand);
    const Bytes cabinet = pattern_bytes(5000, 3);
    write_bytes(work().file("viewer.cab"), cabinet);
    write_bytes(work().file("dome.bin"), cabinet);
    make_uimage(work().file("boot.img"), "ub2m.15.bin", pattern_bytes(2000, 5));
    make_uimage(work().file("rescue.krn"), "EMERGENCY IMAGE KR7r1", pattern_bytes(2000, 6));
    const std::string kernel = make_kernel();

    struct Case {
        std::string word, source, type, model, version;
        const Bytes* payload;
    };
    const Case cases[] = {
        {"kernel", kernel, "FRM0", "", "1.2.3", nullptr},
        {"addon", addon, "AON0", "", "0.9", nullptr},
        {"webpage", web, "WEB0", "", "2.0.1", nullptr},
        {"brand", work().file("brand.conf"), "BRD0", "", "3", nullptr},
        {"ocx", work().file("viewer.cab"), "OCX0", "", "4.4", &cabinet},
        {"bootloader", work().file("boot.img"), "BOT0", "", "15", nullptr},
        {"dome7720", work().file("dome.bin"), "DOM0", "7720", "5", &cabinet},
        {"dome7760", work().file("dome.bin"), "DOM0", "7760", "5", &cabinet},
        {"emergency", work().file("rescue.krn"), "EMG0", "", "6.0", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        const ProcessResult result = run({"-wrapping", c.word, "-version", c.version, c.source});
        EXPECT_EQ(result.exit_code, 0) << result.standard_error;
        EXPECT_EQ(lines_of(result.standard_output), (Lines{success_line(c.source + ".wrp"), "Wrapping success"}));
        EXPECT_TRUE(wrapped_as(c.source + ".wrp", c.type, c.model, c.version, c.payload));
    }
    // The kernel image's own version wins over the option.
    const Bytes image = read_bytes(kernel);
    EXPECT_TRUE(wrapped_as(kernel + ".wrp", "FRM0", "", "1.2.3", &image));

    const ProcessResult listing = run_process("tar", {"-tf", "-"}, [&] {
        const Bytes file = read_bytes(web + ".wrp");
        return Bytes(file.begin() + 140, file.end() - 16);
    }());
    EXPECT_NE(listing.standard_output.find("./css/site.css"), std::string::npos) << listing.standard_output;
    EXPECT_NE(listing.standard_output.find("./index.html"), std::string::npos);
}

TEST_P(CommandLineMode, WrapWithKeyShowsFourMessagesAndWritesBothFiles)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    const std::string kernel = make_kernel();
    const ProcessResult result = run({"-wrapping", "kernel", "-key", key, kernel});
    EXPECT_EQ(result.exit_code, 0) << result.standard_error;
    const std::string wrapped = kernel + ".wrp";
    const std::string package = wrapped + "-Acme.enc";
    EXPECT_EQ(lines_of(result.standard_output),
              (Lines{success_line(wrapped), "Wrapping success", "Success to encrypt file. [path:" + package + "]",
                     "Encrypt success"}));
    EXPECT_TRUE(package_matches(read_bytes(package), read_bytes(wrapped), "ENCR", "Acme", key_bytes("0A0B0C0D0E0F")));
}

TEST_P(CommandLineMode, EncryptAlone)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "112233445566");
    Bytes wrapped = plain_tagged_bytes("FRM0", pattern_bytes(4000, 2));
    std::fill(wrapped.begin() + 20, wrapped.begin() + 36, 0xEE); // a company field made elsewhere
    renew_md5_trailer(wrapped);
    write_bytes(work().file("fw.wrp"), wrapped);
    const ProcessResult result = run({"--key", key, work().file("fw.wrp")});
    EXPECT_EQ(result.exit_code, 0);
    const std::string package = work().file("fw.wrp-Acme.enc");
    EXPECT_EQ(lines_of(result.standard_output), (Lines{"Success to encrypt file. [path:" + package + "]", "Success encrypt"}));
    EXPECT_TRUE(package_matches(read_bytes(package), wrapped, "ENCR", "Acme", key_bytes("112233445566")));
}

TEST_P(CommandLineMode, MissingKeyFile)
{
    const std::string missing = work().file("missing.wrp");
    write_bytes(work().file("fw.wrp"), plain_tagged_bytes("FRM0", pattern_bytes(100, 2)));
    const ProcessResult encrypt = run({"-key", missing, work().file("fw.wrp")});
    EXPECT_EQ(encrypt.exit_code, 1);
    EXPECT_EQ(lines_of(encrypt.standard_output), Lines{"invalid company key file[file:" + missing + "]"});

    const std::string kernel = make_kernel();
    const ProcessResult wrap = run({"-wrapping", "kernel", "-key", missing, kernel});
    EXPECT_EQ(wrap.exit_code, 1);
    EXPECT_EQ(lines_of(wrap.standard_output),
              (Lines{success_line(kernel + ".wrp"), "Wrapping success",
                     "invalid company key file[file:" + missing + "][error:-1]"}));
    EXPECT_TRUE(wrapped_as(kernel + ".wrp", "FRM0", "", "1.2.3", nullptr)); // the wrapped file stays
}

TEST_P(CommandLineMode, RefusalsBeforeAnyWork)
{
    struct Case {
        std::vector<std::string> arguments;
        Lines lines;
    };
    const Case cases[] = {
        {{"-key", "/keys/a b.wrp"}, {"invalid argument [-key \"/keys/a b.wrp\"]"}},
        {{"-wrapping", "kernel"}, {"Specify file path for wrapping"}},
        {{"-wrapping", "nonsense"}, {"Specify file path for wrapping"}},
        {{"-wrapping", "Kernel", "x.krn"}, {"Unknown wrapping type[Kernel]"}},
        {{"-wrapping", "kernel", "absent.krn"}, {"Failed to get firmware information with error[-1]"}},
        {{"-wrapping", "bootloader", "absent.img"}, {"Failed to get bootloader information with error[-1]"}},
    };
    for (const Case& c : cases) {
        const ProcessResult result = run(c.arguments);
        EXPECT_EQ(result.exit_code, 1) << c.arguments[0];
        EXPECT_EQ(lines_of(result.standard_output), c.lines);
    }
}

TEST_P(CommandLineMode, ImageNameRules)
{
    make_uimage(work().file("other.krn"), "Some other image", pattern_bytes(500, 1));
    make_uimage(work().file("uboot.img"), "uboot.bin", pattern_bytes(500, 1));
    make_uimage(work().file("b7.img"), "ub2m.007.bin", pattern_bytes(500, 1));
    make_uimage(work().file("lower.krn"), "linux image hw xxxx 9r9", pattern_bytes(500, 1));
    make_uimage(work().file("huge.img"), "ub2m.99999999999999999999.bin", pattern_bytes(500, 1));
    make_uimage(work().file("model.img"), "ub99999999999m.1.bin", pattern_bytes(500, 1));

    EXPECT_EQ(lines_of(run({"-wrapping", "kernel", "other.krn"}).standard_output), Lines{"Invalid firmware file"});
    for (const char* image : {"uboot.img", "huge.img", "model.img"}) {
        const ProcessResult refused = run({"-wrapping", "bootloader", image});
        EXPECT_EQ(refused.exit_code, 1) << image;
        EXPECT_EQ(lines_of(refused.standard_output), Lines{"Invalid bootloader file"}) << image;
    }
    EXPECT_EQ(run({"-wrapping", "bootloader", "b7.img"}).exit_code, 0);
    EXPECT_TRUE(wrapped_as(work().file("b7.img.wrp"), "BOT0", "", "7", nullptr));
    EXPECT_EQ(run({"-wrapping", "kernel", "lower.krn"}).exit_code, 0);
    EXPECT_TRUE(wrapped_as(work().file("lower.krn.wrp"), "FRM0", "", "9.9", nullptr));
}

TEST_P(CommandLineMode, VersionRules)
{
    const std::string addon = work().file("addon");
    QDir().mkpath(QString::fromStdString(addon));
    write_text(work().file("brand.conf"), "[x]");

    const ProcessResult too_long = run({"-wrapping", "addon", "-version", std::string(21, '1'), addon});
    EXPECT_EQ(lines_of(too_long.standard_output), (Lines{"Version error", "addon wrapping failed with error[0]"}));
    EXPECT_EQ(too_long.exit_code, 1);

    const ProcessResult empty = run({"-wrapping", "brand", "-version:", "brand.conf"});
    EXPECT_EQ(lines_of(empty.standard_output), (Lines{"Input version", "brand wrapping failed with error[0]"}));

    const ProcessResult twenty = run({"-wrapping", "brand", "-version", std::string(20, '2'), "brand.conf"});
    EXPECT_EQ(twenty.exit_code, 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(addon + ".wrp")));
}

TEST_P(CommandLineMode, VersionAskedOnStandardInput)
{
    write_text(work().file("brand.conf"), "[x]");
    const ProcessResult asked = run({"-wrapping", "brand", "brand.conf"}, "\n2.5\n");
    EXPECT_EQ(asked.exit_code, 0);
    EXPECT_EQ(lines_of(asked.standard_output),
              (Lines{"Input version", success_line(work().file("brand.conf.wrp")), "Wrapping success"}));
    EXPECT_TRUE(wrapped_as(work().file("brand.conf.wrp"), "BRD0", "", "2.5", nullptr));

    const ProcessResult cancelled = run({"-wrapping", "ocx", "brand.conf"}, "");
    EXPECT_EQ(cancelled.exit_code, 1);
    EXPECT_EQ(cancelled.standard_output, ""); // Cancel ends the operation without a message
}

TEST_P(CommandLineMode, RelativeFileArgumentAndEveryOptionSyntax)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "010203040506");
    const Bytes wrapped = plain_tagged_bytes("OCX0", pattern_bytes(300, 2));
    QDir().mkpath(QString::fromStdString(work().file("sub")));
    write_bytes(work().file("sub/fw.wrp"), wrapped);

    const std::vector<std::vector<std::string>> syntaxes = {
        {"-key", key, "sub/fw.wrp"},
        {"--key", key, "./sub/../sub/fw.wrp"},
        {"-key:" + key, "sub/fw.wrp"},
        {"--key:" + key, work().file("sub/fw.wrp")},
        {"sub/fw.wrp", "-key", "acme.wrp"}, // relative key path, options after the file
    };
    for (const auto& arguments : syntaxes) {
        QFile::remove(QString::fromStdString(work().file("sub/fw.wrp-Acme.enc")));
        const ProcessResult result = run(arguments);
        EXPECT_EQ(result.exit_code, 0) << arguments[0] << " " << result.standard_output;
        EXPECT_TRUE(package_matches(read_bytes(work().file("sub/fw.wrp-Acme.enc")), wrapped, "ENCR", "Acme",
                                    key_bytes("010203040506")));
    }
}

TEST_P(CommandLineMode, NewEncryptSettingSelectsEnc1)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "010203040506");
    const Bytes wrapped = plain_tagged_bytes("FRM0", pattern_bytes(300, 2));
    write_bytes(work().file("fw.wrp"), wrapped);
    {
        QSettings profile(QString::fromStdString(config().file("Tev/kestrane.conf")), QSettings::IniFormat);
        profile.setValue("MODE/new_encrypt", 1);
    }
    ASSERT_EQ(run({"-key", key, "fw.wrp"}).exit_code, 0);
    EXPECT_TRUE(package_matches(read_bytes(work().file("fw.wrp-Acme.enc")), wrapped, "ENC1", "Acme",
                                key_bytes("010203040506")));
}

TEST_P(CommandLineMode, WithoutKeyOrWrappingTheDialogsNeedADisplay)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, {"file.wrp"}, {"-version", "1.0"}, {"-KEY", "x.wrp", "f"}, {"-key"}}) {
        const ProcessResult result = run(arguments);
        EXPECT_EQ(result.exit_code, 2);
        EXPECT_EQ(result.standard_output, "");
        EXPECT_NE(result.standard_error.find("usage: kestrane"), std::string::npos);
    }
}

TEST_P(CommandLineMode, FailedEncryptionExitsOne)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "010203040506");
    Bytes encrypted = plain_tagged_bytes("FRM0", pattern_bytes(300, 2));
    std::copy_n("ENCR", 4, encrypted.begin() + 4);
    write_bytes(work().file("fw.enc"), encrypted);
    const ProcessResult result = run({"-key", key, "fw.enc"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(lines_of(result.standard_output),
              (Lines{"encrypt_package() Failed with error [-1]", "Encrypt file failed with error[-1]"}));
}

KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(CommandLineMode);

} // namespace
