// Encryption on the command line, for one company and for several in one run, and the faults it
// meets (a missing key file, a read-only folder, a full file system, an input that changes).

#include "e2e/faults_support.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <sys/mount.h>

#include <fstream>
#include <functional>
#include <map>

using namespace kestrane::test;

namespace {

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

// Two companies in one release: each wrapped file is encrypted for both in one run.
TEST_P(BuildServer, WholeReleaseByScript)
{
    const std::string kernel = make_kernel("image.krn");
    const std::string web = make_web(work());
    const std::map<std::string, std::string> digits = {{"Acme", "0A1B2C3D4E5F"}, {"Other", "0A1B2C3D4E60"}};
    const std::string out = work().file("release");
    const std::string private_key = work().file("sealing.pem");
    write_bytes(private_key, read_bytes(test_data_path("development-sealing-key.private.pem")));
    QFile::setPermissions(QString::fromStdString(private_key), QFile::ReadOwner | QFile::WriteOwner);
    const ProcessResult result = release({"--verify-with", private_key,
                                          make_key_file("acme.wrp", "Acme", digits.at("Acme")),
                                          make_key_file("other.wrp", "Other", digits.at("Other")), kernel, web,
                                          "1.5.2", out});
    ASSERT_EQ(result.exit_code, 0) << result.standard_output << result.standard_error;
    const std::string& printed = result.standard_output;

    // Every output checked by the oracles; nothing is written beside the sources.
    EXPECT_FALSE(QFile::exists(QString::fromStdString(kernel + ".wrp")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(web + ".wrp")));
    const Bytes kernel_wrapped = read_bytes(out + "/image.krn.wrp");
    EXPECT_TRUE(wrapped_as(out + "/image.krn.wrp", "FRM0", "", "1.5.2", nullptr));
    EXPECT_TRUE(wrapped_as(out + "/web.wrp", "WEB0", "", "1.5.2", nullptr));
    size_t kernel_package_size = 0;
    for (const auto& [company, key_digits] : digits) {
        SCOPED_TRACE(company);
        const Bytes key = key_bytes(key_digits);
        const std::string packages = out + "/" + company + "-1.5.2";
        const Bytes kernel_package = read_bytes(packages + "/image.krn.wrp-" + company + ".enc");
        const Bytes web_package = read_bytes(packages + "/web.wrp-" + company + ".enc");
        EXPECT_TRUE(package_matches(kernel_package, kernel_wrapped, "ENCR", company, key));
        EXPECT_TRUE(package_matches(web_package, read_bytes(out + "/web.wrp"), "ENCR", company, key));
        kernel_package_size = kernel_package.size();

        // The package file holds both encrypted packages, in name order, and is itself encrypted.
        const std::string package_file = out + "/" + company + "-K1.5.2.wrp";
        EXPECT_TRUE(wrapped_as(package_file, "PKG0", "", "1.5.2", nullptr));
        const Bytes package = read_bytes(package_file);
        Bytes expected_payload = {2, 0, 0, 0};
        for (const Bytes* entry : {&kernel_package, &web_package}) {
            const auto size = static_cast<uint32_t>(entry->size());
            for (int i = 0; i < 4; ++i)
                expected_payload.push_back(static_cast<uint8_t>(size >> (8 * i)));
            expected_payload.insert(expected_payload.end(), entry->begin(), entry->end());
        }
        EXPECT_EQ(Bytes(package.begin() + 140, package.end() - 16), expected_payload);
        EXPECT_TRUE(package_matches(read_bytes(package_file + "-" + company + ".pkg"), package, "ENCR", company, key));
    }

    // -info of every output, each with its checks passing; every package file lists both packages.
    // -verify of every encrypted output: per company both packages, and the package file with both again.
    size_t matches = 0, verifies = 0, listed = 0, opened = 0;
    for (const std::string& line : lines_of(printed)) {
        matches += line == "MD5 trailer: matches";
        verifies += line == "Tag: verifies";
        listed += line == "  Size: " + std::to_string(kernel_package_size);
        opened += line == "Verification: passed";
    }
    EXPECT_EQ(opened, 6u) << printed;
    EXPECT_EQ(matches, 6u) << printed;
    EXPECT_EQ(verifies, 6u) << printed;
    EXPECT_EQ(listed, 4u) << printed;
}

// Spaces, quotes, a leading dash and non-ASCII letters in file names, checked by the oracles.
TEST_P(Faults, AwkwardNamesAreWrappedAndEncrypted)
{
    const Bytes cabinet = pattern_bytes(6000, 9);
    struct Case {
        std::string argument; // as typed
        std::string file;     // below the work folder
        std::string key;      // key file name, as typed after -key:
    };
    const Case cases[] = {
        {"fw image \"v2\" it's.cab", "fw image \"v2\" it's.cab", "my key's \"acme\".wrp"},
        {"./-viewer.cab", "-viewer.cab", "-acme.wrp"},
        {"펌웨어 이미지.cab", "펌웨어 이미지.cab", "회사 키.wrp"},
    };
    for (const Case& c : cases) {
        write_bytes(work().file(c.file), cabinet);
        make_key_file(c.key, "Acme", "0A0B0C0D0E0F");
        const ProcessResult result = run({"-wrapping", "ocx", "-version", "4.4", "-key:" + c.key, c.argument});
        ASSERT_EQ(result.exit_code, 0) << c.file << "\n" << result.standard_output;
        const std::string wrapped = work().file(c.file) + ".wrp";
        EXPECT_EQ(lines_of(result.standard_output),
                  (Lines{"wrapping file success. [path:" + wrapped + "]", "Wrapping success",
                         "Success to encrypt file. [path:" + wrapped + "-Acme.enc]", "Encrypt success"}));
        EXPECT_TRUE(wrapped_as(wrapped, "OCX0", "", "4.4", &cabinet));
        EXPECT_TRUE(package_matches(read_bytes(wrapped + "-Acme.enc"), read_bytes(wrapped), "ENCR", "Acme",
                                    key_bytes("0A0B0C0D0E0F")));
    }

    // A directory with a non-ASCII name and a space.
    const std::string web = make_web(work(), "웹 페이지");
    const ProcessResult directory = run({"-wrapping", "webpage", "-version", "2.0", "웹 페이지"});
    EXPECT_EQ(directory.exit_code, 0) << directory.standard_output;
    EXPECT_TRUE(wrapped_as(web + ".wrp", "WEB0", "", "2.0", nullptr));

    // A bare leading dash makes an option: the usage text, nothing written.
    const Snapshot before = snapshot_of(work().path());
    const ProcessResult dash = run({"-wrapping", "ocx", "-version", "4.4", "-viewer.cab"});
    EXPECT_EQ(dash.exit_code, 2);
    EXPECT_NE(dash.standard_error.find("usage: kestrane"), std::string::npos);
    EXPECT_TRUE(before == snapshot_of(work().path()));
}

TEST_P(ReadOnlyFolder, EncryptKeepsTheOldPackage)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    hand_over(key);
    const std::string locked = locked_folder([this](const std::string& dir) {
        write_bytes(dir + "/image.cab", pattern_bytes(4000, 5));
        ASSERT_EQ(run({"-wrapping", "ocx", "-version", "1.0", dir + "/image.cab"}).exit_code, 0);
        write_text(dir + "/image.cab.wrp-Acme.enc", "old package");
    });
    expect_clean_failure({"-key", key, locked + "/image.cab.wrp"},
                         {"encrypt_package() Failed with error [-2]", "Encrypt file failed with error[-1]"},
                         unprivileged());
}

TEST_P(FullFileSystem, EncryptionThatDoesNotFitKeepsTheOldPackage)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    write_bytes(work().file("big.cab"), pattern_bytes(150 * 1024, 8));
    ASSERT_EQ(run({"-wrapping", "ocx", "-version", "1.0", "big.cab"}).exit_code, 0);
    ASSERT_TRUE(QFile::copy(QString::fromStdString(work().file("big.cab.wrp")),
                            QString::fromStdString(m_mount + "/big.cab.wrp")));
    write_text(m_mount + "/big.cab.wrp-Acme.enc", "old package");
    expect_clean_failure({"-key", key, m_mount + "/big.cab.wrp"},
                         {"encrypt_package() Failed with error [-2]", "Encrypt file failed with error[-1]"});
}

// The package written alongside the wrapped file takes room of its own: when the wrapped file alone
// fits, it is made, and the encryption fails as after any wrap.
TEST_P(FullFileSystem, RoomForTheWrappedFileButNotForThePackageAlongside)
{
    ASSERT_EQ(mount("tmpfs", m_mount.c_str(), "tmpfs", MS_REMOUNT, "size=4m,mode=0755"), 0);
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    const Bytes cabinet = pattern_bytes(3u << 19, 9); // 1.5 MiB: twice fits, three times does not
    write_bytes(m_mount + "/viewer.cab", cabinet);
    const ProcessResult result = run({"-wrapping", "ocx", "-version", "4.4", "-key", key, m_mount + "/viewer.cab"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(lines_of(result.standard_output),
              (Lines{"wrapping file success. [path:" + m_mount + "/viewer.cab.wrp]", "Wrapping success",
                     "encrypt_package() Failed with error [-2]",
                     "error occurs while encrypting after wrapping with error[-1]"}));
    EXPECT_TRUE(wrapped_as(m_mount + "/viewer.cab.wrp", "OCX0", "", "4.4", &cabinet));
    EXPECT_EQ(QDir(QString::fromStdString(m_mount)).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

// "ENCR" reads the input's payload, "ENC1" (a "RAW0" input) the whole file: either must notice.
TEST_P(ChangingSource, WrappedFileThatChangesWhileEncryptedLeavesNothing)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    const std::string wrapped = work().file("big.wrp");
    const auto grow = [](const std::string& path) {
        std::ofstream(path, std::ios::binary | std::ios::app) << std::string(kStarted, 'g');
    };
    struct Case {
        const char* type;
        std::function<void(const std::string&)> change;
    };
    for (const Case& c : {Case{"OCX0", shrink}, Case{"RAW0", shrink}, Case{"RAW0", grow}}) {
        SCOPED_TRACE(c.type);
        const Bytes content = plain_tagged_bytes(c.type, pattern_bytes(kBig, 12));
        const Interrupted run = run_changing({"-key", key, wrapped}, wrapped,
                                             [&] {
                                                 write_bytes(wrapped, content);
                                                 write_text(wrapped + "-Acme.enc", "old package");
                                             },
                                             [&] { c.change(wrapped); });
        ASSERT_TRUE(run.mid_read);
        EXPECT_EQ(run.result.exit_code, 1);
        EXPECT_EQ(lines_of(run.result.standard_output),
                  (Lines{"encrypt_package() Failed with error [-2]", "Encrypt file failed with error[-1]"}));
        EXPECT_EQ(read_bytes(wrapped + "-Acme.enc"), bytes_of("old package"));
        EXPECT_EQ(QDir(QString::fromStdString(work().path())).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }
}

} // namespace
