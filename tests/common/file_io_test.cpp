#include "common/file_io.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

using namespace kestrane;
using namespace kestrane::test;

namespace {


} // namespace

TEST(AtomicOutputFile, DestinationAppearsOnlyOnCommit)
{
    TempDir dir;
    const std::string path = dir.file("out");
    write_text(path, "old");
    {
        AtomicOutputFile output(path);
        ASSERT_TRUE(output.open());
        ASSERT_TRUE(output.write("new content", 11));
        EXPECT_EQ(read_bytes(path), bytes_of("old"));
        ASSERT_TRUE(output.commit());
    }
    EXPECT_EQ(read_bytes(path), bytes_of("new content"));
    EXPECT_EQ(dir.entry_count(), 1u);
}

TEST(AtomicOutputFile, UncommittedOutputLeavesNothing)
{
    TempDir dir;
    {
        AtomicOutputFile output(dir.file("never"));
        ASSERT_TRUE(output.open());
        output.write("x", 1);
    }
    EXPECT_EQ(dir.entry_count(), 0u);
}

TEST(AtomicOutputFile, WriteFailureSticksAndCommitRefuses)
{
    TempDir dir;
    const std::string path = dir.file("out");
    write_text(path, "old");
    FaultyIo full_disk(10);
    AtomicOutputFile output(path, full_disk);
    ASSERT_TRUE(output.open());
    EXPECT_TRUE(output.write("12345", 5));
    EXPECT_FALSE(output.write("123456", 6));
    full_disk.lift_write_limit();
    EXPECT_FALSE(output.write("1", 1)); // the first failure sticks
    EXPECT_FALSE(output.commit());
    EXPECT_EQ(read_bytes(path), bytes_of("old"));
    EXPECT_EQ(dir.entry_count(), 1u);
}

TEST(AtomicOutputFile, ReadOnlyFolderCannotBeWritten)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    AtomicOutputFile output(dir.file("out"));
    EXPECT_FALSE(output.open());
    chmod(dir.path().c_str(), 0755);
}

TEST(AtomicOutputFile, OwnerOnlyAccess)
{
    TempDir dir;
    const std::string path = dir.file("secret");
    AtomicOutputFile output(path);
    ASSERT_TRUE(output.open(FileAccess::OwnerOnly));
    output.write("k", 1);
    ASSERT_TRUE(output.commit());
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(InputFile, ReadsAndRefusesDirectories)
{
    TempDir dir;
    write_bytes(dir.file("in"), pattern_bytes(3000));
    InputFile input;
    ASSERT_TRUE(input.open(dir.file("in")));
    EXPECT_EQ(input.size(), 3000u);
    std::vector<uint8_t> buffer(4000);
    EXPECT_EQ(input.read_up_to(buffer.data(), buffer.size()), 3000);
    EXPECT_EQ(input.read_up_to(buffer.data(), buffer.size()), 0);
    EXPECT_FALSE(InputFile().open(dir.path()));
    EXPECT_FALSE(InputFile().open(dir.file("absent")));
    EXPECT_FALSE(InputFile().open(""));
}
