#include "wrap/wrapping.h"

#include "common/file_io.h"
#include "format/little_endian.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace kestrane;
using namespace kestrane::test;

namespace {

// The trailer must be the MD5 of everything before it, as openssl computes it.
void expect_md5_trailer(const Bytes& file)
{
    ASSERT_GE(file.size(), 156u);
    EXPECT_EQ(to_hex(file.data() + file.size() - 16, 16), openssl_md5_hex(Bytes(file.begin(), file.end() - 16)));
}

void make_sparse_file(const std::string& path, uint64_t size)
{
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("[", 1) == 1 && file.resize(static_cast<qint64>(size)));
}

} // namespace

TEST(WrapFile, EveryFileTypeWritesItsTagsAndTheSourceUnchanged)
{
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"OCX0", ""}, {"FRM0", ""}, {"BOT0", ""}, {"DOM0", "7720"}, {"DOM0", "7760"}, {"EMG0", ""}, {"RAW0", ""}};
    TempDir dir;
    const Bytes source = pattern_bytes(3000, 7);
    write_bytes(dir.file("image.bin"), source);
    for (unsigned type = 3; type <= 9; ++type) {
        SCOPED_TRACE(type);
        const auto& [type_tag, model_tag] = expected[type - 3];
        const std::string destination = dir.file("image" + std::to_string(type) + ".wrp");
        const Outcome outcome = wrap_file(type, "1.5.2", dir.file("image.bin"), destination);
        ASSERT_EQ(outcome.code, 1);
        EXPECT_EQ(outcome.message, "wrapping file success. [path:" + destination + "]");

        const Bytes file = read_bytes(destination);
        ASSERT_EQ(file.size(), 156u + source.size());
        EXPECT_EQ(text_at(file, 0, 12), type_tag + "PLAN" + model_tag + std::string(4 - model_tag.size(), '\0'));
        EXPECT_EQ(text_at(file, 12, 8), std::string("1.5.2\0\0\0", 8));
        EXPECT_TRUE(all_zero(file, 20, 116));
        EXPECT_EQ(load_u32_le(file.data() + 136), source.size());
        EXPECT_TRUE(std::equal(source.begin(), source.end(), file.begin() + 140));
        expect_md5_trailer(file);
    }
}

TEST(WrapFile, VersionOf8And9And20CharactersAndThe21CharacterRefusal)
{
    TempDir dir;
    write_bytes(dir.file("fw"), pattern_bytes(100));
    const std::string longest = "1.2.3.4.5.6.7.8.9.10";
    for (const std::string& version : {std::string("12345678"), std::string("123456789"), longest}) {
        ASSERT_EQ(wrap_file(kWrapOcx, version, dir.file("fw"), dir.file("fw.wrp")).code, 1);
        const Bytes file = read_bytes(dir.file("fw.wrp"));
        const std::string second = version.size() > 8 ? version.substr(8) : "";
        EXPECT_EQ(text_at(file, 12, 8), version.substr(0, 8));
        EXPECT_EQ(text_at(file, 52, 12), second + std::string(12 - second.size(), '\0'));
    }
    const Outcome outcome = wrap_file(kWrapOcx, longest + "1", dir.file("fw"), dir.file("other.wrp"));
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(outcome.message, "Version error");
    EXPECT_FALSE(path_exists(dir.file("other.wrp")));
}

TEST(WrapFile, RefusalsComeInTheOrderOfTheChecks)
{
    TempDir dir;
    QDir(QString::fromStdString(dir.path())).mkdir("web");
    write_bytes(dir.file("brand.txt"), bytes_of("[brand]"));
    const std::string missing = dir.file("missing");
    struct Case {
        unsigned type;
        std::string version;
        std::string source;
        int result;
        std::string message;
    };
    const Case cases[] = {
        {10, "", "", 0, "Select src file"},
        {10, "", missing, 0, "Input version"},
        {10, std::string(21, '1'), missing, 0, "Version error"},
        {10, "1.0", missing, -1, "Invalid file type"},
        {kWrapWebPage, "1.0", missing, 0, "Entered path is invalid\n[" + missing + "]"},
        {kWrapAddOn, "1.0", dir.file("brand.txt"), 0, "Entered path is not directory\n[" + dir.file("brand.txt") + "]"},
        {kWrapBrand, "1.0", dir.file("web"), -1, "Fail with error code[-1]"},
        {kWrapRaw, "1.0", missing, -1, "Fail with error code[-1]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const Outcome outcome = wrap_file(c.type, c.version, c.source, dir.file("out.wrp"));
        EXPECT_EQ(outcome.code, c.result);
        EXPECT_EQ(outcome.message, c.message);
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"brand.txt", "web"}));
}

TEST(WrapBrand, PayloadOpensBlockByBlockToTheFile)
{
    TempDir dir;
    // 1048724 bytes run past the first 1 MiB read block: the chunks on both sides of it are checked.
    for (const size_t size : {size_t{1}, size_t{232}, size_t{300}, size_t{1044}, size_t{2000}, size_t{1048724}}) {
        SCOPED_TRACE(size);
        Bytes brand = pattern_bytes(size, static_cast<uint32_t>(size));
        brand[0] = size == 300 ? ' ' : '[';
        write_bytes(dir.file("brand.ini"), brand);
        ASSERT_EQ(wrap_file(kWrapBrand, "2.0", dir.file("brand.ini"), dir.file("brand.wrp")).code, 1);

        const Bytes file = read_bytes(dir.file("brand.wrp"));
        const size_t blocks = size / 116 + 1;   // the last one seals the remainder, possibly empty
        ASSERT_EQ(file.size(), 156 + blocks * 128);
        EXPECT_EQ(text_at(file, 0, 8), "BRD0PLAN");
        EXPECT_EQ(load_u32_le(file.data() + 136), blocks * 128);
        for (size_t b = 0; b < blocks; ++b) {
            if (b > 3 && b + 2 < blocks && (b < 9036 || b > 9041))
                continue;
            const size_t end = std::min(size, (b + 1) * 116);
            const Bytes chunk(brand.begin() + static_cast<std::ptrdiff_t>(b * 116),
                              brand.begin() + static_cast<std::ptrdiff_t>(end));
            EXPECT_TRUE(block_seals(file.data() + 140 + b * 128, chunk)) << "block " << b;
        }
        expect_md5_trailer(file);
    }
}

TEST(WrapBrand, EmptyFileOrOtherFirstByteIsRefused)
{
    TempDir dir;
    write_bytes(dir.file("old.wrp"), bytes_of("previous"));
    write_bytes(dir.file("empty.ini"), {});
    write_bytes(dir.file("text.ini"), bytes_of("brand=1\n[x]"));
    for (const char* name : {"empty.ini", "text.ini"}) {
        const Outcome outcome = wrap_file(kWrapBrand, "1.0", dir.file(name), dir.file("old.wrp"));
        EXPECT_EQ(outcome.code, -4);
        EXPECT_EQ(outcome.message, "Fail with error code[-4]");
        EXPECT_EQ(read_bytes(dir.file("old.wrp")), bytes_of("previous"));
    }
    EXPECT_EQ(dir.entry_count(), 3u);
}

TEST(WriteWrappedFile, FieldChecksInOrder)
{
    TempDir dir;
    write_bytes(dir.file("src"), pattern_bytes(10));
    EXPECT_EQ(write_wrapped_file(dir.file("missing"), dir.file("a.wrp"), "RAW00", "", "1"), -3);
    EXPECT_EQ(write_wrapped_file(dir.file("missing"), dir.file("a.wrp"), "RAW0", "77200", "1"), -1);
    EXPECT_EQ(write_wrapped_file(dir.file("src"), dir.file("a.wrp"), "RAW0", "77200", "1"), -3);
    EXPECT_EQ(write_wrapped_file(dir.file("src"), dir.file("a.wrp"), "RAW0", "", std::string(21, '1')), -3);
    EXPECT_EQ(write_wrapped_file(dir.file("src"), dir.path() + "/no/such/dir/a.wrp", "RAW0", "", "1"), -2);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"src"});
}

TEST(WriteWrappedFile, FailedWriteLeavesNothingAndKeepsTheOldFile)
{
    TempDir dir;
    write_bytes(dir.file("src"), bytes_of("[" + std::string(4999, 'b')));
    write_bytes(dir.file("out.wrp"), bytes_of("previous"));
    for (const char* type_tag : {"RAW0", "BRD0"}) {
        FaultyIo full_disk(3000);
        const int result = write_wrapped_file(dir.file("src"), dir.file("out.wrp"), type_tag, "", "1", {}, full_disk);
        EXPECT_EQ(result, -2) << type_tag;
        EXPECT_EQ(read_bytes(dir.file("out.wrp")), bytes_of("previous"));
        EXPECT_EQ(dir.entry_count(), 2u);
    }
}

TEST(WriteWrappedFile, SourceThatChangesSizeOrIsTooLargeIsRefused)
{
    TempDir dir;
    // Files under /proc announce a size of 0 and then deliver bytes: the source grows under us.
    if (QFile::exists("/proc/self/status")) {
        EXPECT_EQ(write_wrapped_file("/proc/self/status", dir.file("a.wrp"), "RAW0", "", "1"), kWrapSourceChanged);
    }

    // Sparse files: a 4 GiB source, and a brand file of 116 x 2^25 bytes that seals into
    // 2^32 + 128 bytes. Both are refused before a byte is read.
    make_sparse_file(dir.file("huge.bin"), uint64_t{1} << 32);
    make_sparse_file(dir.file("brand.ini"), uint64_t{116} << 25);
    EXPECT_EQ(write_wrapped_file(dir.file("brand.ini"), dir.file("b.wrp"), "BRD0", "", "1"), kWrapSourceTooLarge);
    const Outcome outcome = wrap_file(kWrapRaw, "1", dir.file("huge.bin"), dir.file("a.wrp"));
    EXPECT_EQ(outcome.code, kWrapSourceTooLarge);
    EXPECT_EQ(outcome.message, "Fail with error code[-7]");
    EXPECT_EQ(dir.entry_count(), 2u);
}
