// Packing on the command line: scan rules, keys, FIFOs among the packages, and the faults a pack meets.

#include "e2e/faults_support.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

using namespace kestrane::test;

namespace {

TEST_P(BuildServer, PackWithScanRulesAndKey)
{
    const std::string acme = make_key_file("acme.wrp", "Acme", "010203040506");
    const std::string other = make_key_file("other.wrp", "Other", "010203040507");
    const std::string dir = work().file("packages");
    QDir().mkpath(QString::fromStdString(dir));
    make_package(dir, "a.cab", "ocx", acme);
    make_kernel("packages/image.krn");
    ASSERT_EQ(run({"-wrapping", "kernel", "-key", acme, dir + "/image.krn"}).exit_code, 0);
    QFile::remove(QString::fromStdString(dir + "/image.krn"));
    QFile::remove(QString::fromStdString(dir + "/image.krn.wrp"));
    make_package(dir, "z.bin", "dome7720", other);
    const std::string a = dir + "/a.cab.wrp-Acme.enc", image = dir + "/image.krn.wrp-Acme.enc",
                      z = dir + "/z.bin.wrp-Other.enc";
    const std::string mismatch = "Company name not match file[" + z + "(Other), " + a + "(Acme)]";

    // A key of another company: nothing is written.
    const ProcessResult refused = run({"-pack", dir, "-key", other});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(lines_of(refused.standard_output), (Lines{mismatch, "Doesn't match brand name with [Acme]"}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(work().file("packages-K1.5.2.wrp"))));

    // The kernel gives the version, the destination lies beside the directory.
    const std::string destination = work().file("packages-K1.5.2.wrp");
    const ProcessResult packed = run({"-pack", "packages", "-key", acme});
    EXPECT_EQ(packed.exit_code, 0);
    EXPECT_EQ(lines_of(packed.standard_output),
              (Lines{mismatch, "Success", "Success to encrypt file. [path:" + destination + "-Acme.pkg]"}));
    EXPECT_TRUE(wrapped_as(destination, "PKG0", "", "1.5.2", nullptr));
    const Bytes package = read_bytes(destination);
    const Bytes first = read_bytes(a);
    EXPECT_EQ(package[140], 2);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), package.begin() + 148));
    EXPECT_TRUE(package_matches(read_bytes(destination + "-Acme.pkg"), package, "ENCR", "Acme",
                                key_bytes("010203040506")));

    const ProcessResult chosen = run({"-pack", dir, "-version", "9", "-dest", "custom.wrp"});
    EXPECT_EQ(chosen.exit_code, 0);
    EXPECT_TRUE(wrapped_as(work().file("custom.wrp"), "PKG0", "", "9", nullptr));

    QDir().mkpath(QString::fromStdString(work().file("empty")));
    const ProcessResult empty = run({"-pack", "empty"});
    EXPECT_EQ(empty.exit_code, 1);
    EXPECT_EQ(lines_of(empty.standard_output), Lines{"Nothing target enc file"});
    const ProcessResult not_directory = run({"-pack", "acme.wrp"});
    EXPECT_EQ(not_directory.exit_code, 1);
    EXPECT_EQ(lines_of(not_directory.standard_output), Lines{"Path[" + work().file("acme.wrp") + "] is invalid"});
}

// A FIFO among the packages, or given to -info: left out or refused, not waited on for ever.
TEST_P(Faults, FifoIsNotWaitedOn)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    const std::string release = work().file("release");
    QDir().mkpath(QString::fromStdString(release));
    write_bytes(release + "/viewer.cab", pattern_bytes(3000, 14));
    ASSERT_EQ(run({"-wrapping", "ocx", "-version", "1.0", "-key", key, release + "/viewer.cab"}).exit_code, 0);
    QFile::remove(QString::fromStdString(release + "/viewer.cab"));
    QFile::remove(QString::fromStdString(release + "/viewer.cab.wrp"));
    ASSERT_EQ(mkfifo((release + "/a.enc").c_str(), 0600), 0);

    ProcessOptions quick = options();
    quick.timeout_ms = 10000;
    const ProcessResult packed = run_program(program(), {"-pack", "release", "-version", "1.0", "-dest", "out.wrp"}, quick);
    EXPECT_EQ(packed.exit_code, 0) << packed.standard_output;
    EXPECT_EQ(lines_of(packed.standard_output), Lines{"Success"});
    const Bytes package = read_bytes(work().file("out.wrp"));
    ASSERT_GT(package.size(), 144u);
    EXPECT_EQ(package[140], 1); // the one package, not the FIFO

    expect_clean_failure({"-info", release + "/a.enc"}, {"Path[" + release + "/a.enc] is invalid"},
                         [&](const std::vector<std::string>& arguments) { return run_program(program(), arguments, quick); });
}

TEST_P(ReadOnlyFolder, PackKeepsTheOldPackageFile)
{
    const std::string key = make_key_file("acme.wrp", "Acme", "0A0B0C0D0E0F");
    const std::string release = work().file("release");
    QDir().mkpath(QString::fromStdString(release));
    write_bytes(release + "/viewer.cab", pattern_bytes(3000, 6));
    ASSERT_EQ(run({"-wrapping", "ocx", "-version", "1.0", "-key", key, release + "/viewer.cab"}).exit_code, 0);
    QFile::remove(QString::fromStdString(release + "/viewer.cab"));
    QFile::remove(QString::fromStdString(release + "/viewer.cab.wrp"));
    const std::string locked = locked_folder([](const std::string& dir) { write_text(dir + "/out.wrp", "old"); });
    expect_clean_failure({"-pack", release, "-version", "1.0", "-dest", locked + "/out.wrp"},
                         {"Fail with error[-2]"}, unprivileged());
}

TEST_P(ChangingSource, PackageThatShrinksWhilePackedLeavesNothing)
{
    const std::string release = work().file("release");
    QDir().mkpath(QString::fromStdString(release));
    // An encrypted package by its header and size: the scan reads no further.
    Bytes package = bytes_of("OCX0ENCR");
    package.resize(140, 0);
    std::copy_n("Acme", 4, package.begin() + 20);
    const uint32_t body_length = kBig - 144; // the rest of the bytes: the key block and the tag
    for (int i = 0; i < 4; ++i)
        package[136 + i] = static_cast<uint8_t>(body_length >> (8 * i));
    const Bytes body = pattern_bytes(kBig, 13);
    package.insert(package.end(), body.begin(), body.end());
    const std::string big = release + "/viewer.enc";
    const Interrupted run = run_changing({"-pack", "release", "-version", "1.0", "-dest", "out.wrp"}, big,
                                         [&] {
                                             write_bytes(big, package);
                                             write_text(work().file("out.wrp"), "old package file");
                                         },
                                         [&] { shrink(big); });
    ASSERT_TRUE(run.mid_read);
    EXPECT_EQ(run.result.exit_code, 1);
    EXPECT_EQ(lines_of(run.result.standard_output), Lines{"Fail with error[-4]"});
    EXPECT_EQ(read_bytes(work().file("out.wrp")), bytes_of("old package file"));
    EXPECT_EQ(QDir(QString::fromStdString(work().path())).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

} // namespace
