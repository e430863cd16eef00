#include "pack/package_file.h"

#include "common/file_io.h"
#include "format/little_endian.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace kestrane;
using namespace kestrane::test;

namespace {

uint32_t u32_at(const Bytes& bytes, size_t offset)
{
    return load_u32_le(bytes.data() + offset);
}

// The trailer must be the MD5 of everything before it, as openssl computes it.
void expect_md5_trailer(const Bytes& file)
{
    ASSERT_GE(file.size(), 156u);
    const Bytes covered(file.begin(), file.end() - 16);
    EXPECT_EQ(to_hex(file.data() + covered.size(), 16), openssl_md5_hex(covered));
}


} // namespace

TEST(PackFiles, EmptyListGivesA160ByteFile)
{
    TempDir dir;
    const std::string package = dir.file("pkg-K1.0.wrp");
    ASSERT_EQ(pack_files("1.0", dir.path(), {}, package), 1);
    const Bytes file = read_bytes(package);
    ASSERT_EQ(file.size(), 160u);
    EXPECT_EQ(text_at(file, 0, 8), "PKG0PLAN");
    EXPECT_EQ(u32_at(file, 136), 4u);
    EXPECT_EQ(u32_at(file, 140), 0u);
    expect_md5_trailer(file);
}

TEST(PackFiles, EntriesFollowTheListWithTheirSizes)
{
    TempDir dir;
    const Bytes first = pattern_bytes(1000, 1);
    const Bytes second = pattern_bytes(2000, 2);
    write_bytes(dir.file("b.enc"), first);
    write_bytes(dir.file("a.enc"), second);
    const std::string package = dir.file("out.wrp");
    ASSERT_EQ(pack_files("1.5.2", dir.path(), {"b.enc", "a.enc"}, package), 1);

    const Bytes file = read_bytes(package);
    ASSERT_EQ(file.size(), 156u + 3012u);
    EXPECT_EQ(u32_at(file, 136), 3012u);
    const size_t payload = 140;
    EXPECT_EQ(u32_at(file, payload), 2u);
    EXPECT_EQ(u32_at(file, payload + 4), 1000u);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), file.begin() + payload + 8));
    EXPECT_EQ(u32_at(file, payload + 1008), 2000u);
    EXPECT_TRUE(std::equal(second.begin(), second.end(), file.begin() + payload + 1012));
    EXPECT_EQ(text_at(file, 12, 8), std::string("1.5.2\0\0\0", 8));
    EXPECT_TRUE(all_zero(file, 8, 4));   // model tag
    EXPECT_TRUE(all_zero(file, 20, 16)); // company name
    expect_md5_trailer(file);
}

TEST(PackFiles, EmptyFileTrailingSeparatorAndRepacking)
{
    TempDir dir;
    write_bytes(dir.file("empty.enc"), {});
    write_bytes(dir.file("x.enc"), pattern_bytes(10));
    ASSERT_EQ(pack_files("123456789", dir.path(), {"empty.enc", "x.enc"}, dir.file("one.wrp")), 1);
    ASSERT_EQ(pack_files("123456789", dir.path() + "/", {"empty.enc", "x.enc"}, dir.file("two.wrp")), 1);

    const Bytes file = read_bytes(dir.file("one.wrp"));
    EXPECT_EQ(u32_at(file, 136), 4u + 4u + 14u);
    EXPECT_EQ(u32_at(file, 144), 0u);  // the empty file is only its size field
    EXPECT_EQ(u32_at(file, 148), 10u);
    EXPECT_EQ(file.at(52), '9');       // ninth version character in the second slot
    EXPECT_EQ(read_bytes(dir.file("two.wrp")), file);
}

TEST(PackFiles, VersionChecksComeBeforeAnyFileWork)
{
    TempDir dir;
    EXPECT_EQ(pack_files("", dir.path(), {"missing.enc"}, dir.file("out.wrp")), -1);
    EXPECT_EQ(pack_files(std::string(21, '1'), dir.path(), {}, dir.file("out.wrp")), -3);
    EXPECT_FALSE(path_exists(dir.file("out.wrp")));
    ASSERT_EQ(pack_files(std::string(20, '1'), dir.path(), {}, dir.file("out.wrp")), 1);
}

TEST(PackFiles, FileLargerThanThirtyMebibytesIsStreamedWhole)
{
    TempDir dir;
    const Bytes big = pattern_bytes(30 * 1024 * 1024 + 12345, 7);
    write_bytes(dir.file("big.enc"), big);
    ASSERT_EQ(pack_files("2.0", dir.path(), {"big.enc"}, dir.file("out.wrp")), 1);
    const Bytes file = read_bytes(dir.file("out.wrp"));
    ASSERT_EQ(file.size(), 156u + 8u + big.size());
    EXPECT_EQ(u32_at(file, 144), big.size());
    EXPECT_TRUE(std::equal(big.begin(), big.end(), file.begin() + 148));
    expect_md5_trailer(file);
}

TEST(PackFiles, UnreadableListedFileWritesNothing)
{
    TempDir dir;
    write_bytes(dir.file("a.enc"), pattern_bytes(100));
    QDir(QString::fromStdString(dir.path())).mkdir("sub.enc");
    const Bytes previous = bytes_of("an older package");
    write_bytes(dir.file("old.wrp"), previous);
    const std::vector<std::string> before = dir.entries();

    EXPECT_EQ(pack_files("1.0", dir.path(), {"a.enc", "gone.enc"}, dir.file("new.wrp")), -4);
    EXPECT_EQ(pack_files("1.0", dir.path(), {"a.enc", "gone.enc"}, dir.file("old.wrp")), -4);
    EXPECT_EQ(pack_files("1.0", dir.path(), {"sub.enc"}, dir.file("old.wrp")), -4);
    EXPECT_EQ(read_bytes(dir.file("old.wrp")), previous);
    EXPECT_EQ(dir.entries(), before); // no package, no temporary file
}

TEST(PackFiles, FileWhoseContentOutgrowsItsSizeFails)
{
    // Files under /proc report size 0 but yield bytes: the packed entry would not match its size.
    if (!QFile::exists("/proc/self/status"))
        GTEST_SKIP() << "no /proc";
    TempDir dir;
    EXPECT_EQ(pack_files("1.0", "/proc/self", {"status"}, dir.file("out.wrp")), -4);
    EXPECT_FALSE(path_exists(dir.file("out.wrp")));
}

TEST(PackFiles, PayloadBeyondFourGibibytesIsRefused)
{
    TempDir dir;
    // Sparse: 4 + 4 + S is one byte more than the 32-bit length field holds.
    QFile huge(QString::fromStdString(dir.file("huge.enc")));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(qint64{0xFFFFFFFF} - 7));
    huge.close();
    EXPECT_EQ(pack_files("1.0", dir.path(), {"huge.enc"}, dir.file("out.wrp")), -5);
    EXPECT_FALSE(path_exists(dir.file("out.wrp")));
}

TEST(PackFiles, FailedWriteKeepsTheExistingDestination)
{
    TempDir dir;
    write_bytes(dir.file("a.enc"), pattern_bytes(5000));
    const Bytes previous = bytes_of("an older package");
    write_bytes(dir.file("old.wrp"), previous);
    FaultyIo full_disk(1000);
    const int result = pack_files("1.0", dir.path(), {"a.enc"}, dir.file("old.wrp"), full_disk);
    EXPECT_EQ(result, -2);
    EXPECT_EQ(read_bytes(dir.file("old.wrp")), previous);
    EXPECT_EQ(pack_files("1.0", dir.path(), {"a.enc"}, dir.file("missing-dir/out.wrp")), -2);
}
