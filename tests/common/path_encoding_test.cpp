// Paths whose bytes are not UTF-8: Qt cannot name them (it would replace the bytes and name another
// file), so every file operation refuses them and never touches the file Qt's name would mean.

#include "common/file_io.h"
#include "pack/package_scan.h"
#include "wrap/archiver.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace kestrane;
using namespace kestrane::test;

namespace {

// "\xff.wrp" as Qt decodes it: U+FFFD REPLACEMENT CHARACTER, ".wrp".
const std::string kInvalid = "\xff.wrp";
const std::string kReplaced = "\xef\xbf\xbd.wrp";

} // namespace

TEST(PathEncoding, InvalidUtf8IsNotRepresentable)
{
    EXPECT_FALSE(is_representable_path("/tmp/" + kInvalid));
    EXPECT_FALSE(is_representable_path("\xc3("));       // a lead byte without its continuation
    EXPECT_FALSE(is_representable_path("\xc0\xaf"));    // an overlong "/"
    EXPECT_TRUE(is_representable_path("/tmp/" + kReplaced));
    EXPECT_TRUE(is_representable_path("/fw/펌웨어 이미지.bin"));
    EXPECT_TRUE(is_representable_path(""));
    EXPECT_TRUE(to_qpath("/tmp/" + kInvalid).isEmpty());
}

TEST(PathEncoding, OutputToAnInvalidNameLeavesTheReplacedNameAlone)
{
    TempDir dir;
    write_text(dir.file(kReplaced), "precious");
    AtomicOutputFile output(dir.file(kInvalid));
    EXPECT_FALSE(output.open());
    EXPECT_FALSE(output.write("new", 3));
    EXPECT_FALSE(output.commit());
    EXPECT_EQ(read_bytes(dir.file(kReplaced)), bytes_of("precious"));
    EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(PathEncoding, InputFromAnInvalidNameIsNotTheReplacedName)
{
    TempDir dir;
    write_text(dir.file(kReplaced), "other file");
    InputFile input;
    EXPECT_FALSE(input.open(dir.file(kInvalid)));
    EXPECT_FALSE(path_exists(dir.file(kInvalid)));
    EXPECT_FALSE(is_regular_file(dir.file(kInvalid)));
    EXPECT_FALSE(remove_file(dir.file(kInvalid)));
    EXPECT_TRUE(path_exists(dir.file(kReplaced)));
}

// An empty Qt path means the current directory to QDir and QProcess: an invalid name must not.
TEST(PathEncoding, InvalidFolderIsNeitherListedNorArchivedAsTheCurrentOne)
{
    TempDir dir;
    write_text(dir.file("inside"), "x");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.path())));
    EXPECT_TRUE(list_directory_names(dir.file("\xff")).empty());
    EXPECT_EQ(archive_directory(dir.file("\xff"), dir.file("archive.tar")), kWrapSourceUnreadable);
    QDir::setCurrent(previous);
    EXPECT_FALSE(path_exists(dir.file("archive.tar")));
}
