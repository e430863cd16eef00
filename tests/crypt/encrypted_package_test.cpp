#include "crypt/encrypted_package.h"

#include "common/file_io.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace kestrane;
using namespace kestrane::test;

namespace {

const CompanyKey kCompanyKey = {0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
const Bytes kKey(kCompanyKey.begin(), kCompanyKey.end());

// A plain tagged file of exactly n bytes.
Bytes plain_file_of_size(size_t n, const std::string& type = "FRM0")
{
    return plain_tagged_bytes(type, pattern_bytes(n - 156, static_cast<uint32_t>(n)));
}

int entries_in(const TempDir& dir)
{
    return static_cast<int>(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden).size());
}

} // namespace

TEST(EncryptPackage, SizesForBothModes)
{
    TempDir dir;
    struct Case {
        size_t n;
        bool enc1;
        size_t size;
    };
    // ENCR seals L + 20 bytes from offset 136; ENC1 the whole file.
    const Case cases[] = {{156, false, 412}, {156, true, 540}, {928, true, 1436},
                          {5000, true, 5392}, {5000, false, 5256}, {1200, false, 1456}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.n) + (c.enc1 ? " ENC1" : " ENCR"));
        const Bytes input = plain_file_of_size(c.n);
        write_bytes(dir.file("in.wrp"), input);
        ASSERT_EQ(encrypt_package(dir.file("in.wrp"), dir.file("out.enc"), "Acme", kCompanyKey, c.enc1), 1);
        const Bytes package = read_bytes(dir.file("out.enc"));
        EXPECT_EQ(package.size(), c.size);
        EXPECT_TRUE(package_matches(package, input, c.enc1 ? "ENC1" : "ENCR", "Acme", kKey));
        if (c.n == 5000 && c.enc1) {
            // Body source bytes from 1044 on travel unsealed: package bytes 1292.. = input 1044..
            EXPECT_TRUE(std::equal(input.begin() + 1044, input.end(), package.begin() + 1292));
        }
    }
}

TEST(EncryptPackage, FullLengthCompanyNameInBothModes)
{
    TempDir dir;
    for (const size_t n : {size_t{156}, size_t{928}, size_t{1100}, size_t{3000}}) {
        SCOPED_TRACE(n);
        const Bytes input = plain_file_of_size(n, "DOM0");
        write_bytes(dir.file("in.wrp"), input);
        ASSERT_EQ(encrypt_package(dir.file("in.wrp"), dir.file("encr"), "Company16bytes!!", kCompanyKey, false), 1);
        EXPECT_TRUE(package_matches(read_bytes(dir.file("encr")), input, "ENCR", "Company16bytes!!", kKey));
        ASSERT_EQ(encrypt_package(dir.file("in.wrp"), dir.file("enc1"), "A", kCompanyKey, true), 1);
        const Bytes enc1 = read_bytes(dir.file("enc1"));
        EXPECT_TRUE(package_matches(enc1, input, "ENC1", "A", kKey));
        if (n == 928) {
            EXPECT_EQ(enc1.size(), 1436u); // the largest excess over the input size any input gives
        }
    }
}

TEST(EncryptPackage, PackageFileBodyIsCopiedUnsealed)
{
    TempDir dir;
    const Bytes input = plain_tagged_bytes("PKG0", pattern_bytes(3000, 5));
    write_bytes(dir.file("p.wrp"), input);
    for (const bool enc1 : {false, true}) {
        ASSERT_EQ(encrypt_package(dir.file("p.wrp"), dir.file("p.pkg"), "Acme", kCompanyKey, enc1), 1);
        const Bytes package = read_bytes(dir.file("p.pkg"));
        EXPECT_TRUE(package_matches(package, input, enc1 ? "ENC1" : "ENCR", "Acme", kKey));
        EXPECT_EQ(package.size(), (enc1 ? input.size() : input.size() - 136) + 284);
    }
}

TEST(EncryptPackage, CompanyKeyFileAsInput)
{
    TempDir dir;
    const Bytes input = plain_tagged_bytes("VID0", bytes_of("\x01\x02\x03\x04\x05\x06\x07\x08Other"), "");
    write_bytes(dir.file("k.wrp"), input);
    ASSERT_EQ(encrypt_package(dir.file("k.wrp"), dir.file("k.enc"), "Acme", kCompanyKey, false), 1);
    const Bytes package = read_bytes(dir.file("k.enc"));
    EXPECT_EQ(text_at(package, 0, 8), "VID0ENCR");
    EXPECT_TRUE(package_matches(package, input, "ENCR", "Acme", kKey));
}

TEST(EncryptPackage, TagChangesWithTheCompanyKey)
{
    TempDir dir;
    write_bytes(dir.file("in"), plain_file_of_size(300));
    ASSERT_EQ(encrypt_package(dir.file("in"), dir.file("a"), "Acme", {1, 2, 3, 4, 5, 6, 7, 8}, false), 1);
    ASSERT_EQ(encrypt_package(dir.file("in"), dir.file("b"), "Acme", {1, 2, 3, 4, 5, 6, 7, 9}, false), 1);
    const Bytes a = read_bytes(dir.file("a")), b = read_bytes(dir.file("b"));
    EXPECT_NE(Bytes(a.end() - 16, a.end()), Bytes(b.end() - 16, b.end()));
    EXPECT_TRUE(package_matches(b, read_bytes(dir.file("in")), "ENCR", "Acme", {1, 2, 3, 4, 5, 6, 7, 9}));
}

TEST(EncryptPackage, RefusedInputsWriteNothingAndKeepTheOldOutput)
{
    TempDir dir;
    const std::string output = dir.file("out.enc");
    write_text(output, "previous package");

    Bytes encrypted = plain_file_of_size(400);
    std::copy_n("ENC1", 4, encrypted.begin() + 4);
    Bytes too_long = plain_file_of_size(400);
    too_long[136] = 0xFF; // payload length beyond the file
    const Bytes smallest = plain_file_of_size(156);
    const Bytes whole = plain_file_of_size(5000); // past the sealed start: the copied tail is checked too
    Bytes junk_after_trailer = whole;
    junk_after_trailer.resize(whole.size() + 100, 0);
    Bytes flipped = whole;
    flipped[3000] ^= 0x01;
    const std::pair<const char*, Bytes> refused[] = {
        {"already encrypted", encrypted},
        {"payload length does not fit", too_long},
        {"one byte short of its length field", Bytes(whole.begin(), whole.end() - 1)},
        {"100 bytes after its MD5 trailer", junk_after_trailer},
        {"a flipped payload byte: the MD5 trailer does not match", flipped},
        {"shorter than a tagged file", Bytes(smallest.begin(), smallest.end() - 1)},
        {"empty", {}},
    };
    for (const auto& [what, input] : refused) {
        SCOPED_TRACE(what);
        write_bytes(dir.file("in"), input);
        EXPECT_EQ(encrypt_package(dir.file("in"), output, "Acme", kCompanyKey, false), -1);
        EXPECT_EQ(encrypt_package(dir.file("in"), output, "Acme", kCompanyKey, true), -1);
    }
    write_bytes(dir.file("in"), plain_file_of_size(400));
    EXPECT_EQ(encrypt_package(dir.file("in"), output, "Seventeen-chars!!", kCompanyKey, false), -1);
    EXPECT_EQ(encrypt_package(dir.file("missing"), output, "Acme", kCompanyKey, false), -2);
    EXPECT_EQ(encrypt_package(dir.file("in"), dir.file("no/dir/out.enc"), "Acme", kCompanyKey, false), -2);
    EXPECT_EQ(encrypt_package(dir.file("in"), "", "Acme", kCompanyKey, false), -2);

    FaultyIo full_disk(300);
    EXPECT_EQ(encrypt_package(dir.file("in"), output, "Acme", kCompanyKey, false, full_disk), -2);

    EXPECT_EQ(read_bytes(output), bytes_of("previous package"));
    EXPECT_EQ(entries_in(dir), 2); // the input and the untouched old output, no leftovers
}

TEST(EncryptPackage, LargeInputIsStreamed)
{
    TempDir dir;
    const Bytes input = plain_file_of_size(3 * 1024 * 1024 + 77);
    write_bytes(dir.file("big"), input);
    ASSERT_EQ(encrypt_package(dir.file("big"), dir.file("big.enc"), "Acme", kCompanyKey, true), 1);
    EXPECT_TRUE(package_matches(read_bytes(dir.file("big.enc")), input, "ENC1", "Acme", kKey));
}

// A follower sees the file in pieces of whatever size its writer hands over: one byte at a time, a
// header with more behind it, the whole file at once.
TEST(EncryptPackage, FollowerTakesPiecesOfAnySize)
{
    TempDir dir;
    const Bytes input = plain_file_of_size(5000);
    for (const size_t piece : {size_t{1}, size_t{141}, input.size()}) {
        SCOPED_TRACE(piece);
        PackageFollower follower({{"Acme", {0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}, dir.file("out.enc")}},
                                 [](std::string_view) { return EncryptMode::Basic; });
        for (size_t at = 0; at < input.size(); at += piece)
            follower.observe(input.data() + at, std::min(piece, input.size() - at));
        ASSERT_EQ(follower.finish().result, kEncryptOk);
        EXPECT_TRUE(package_matches(read_bytes(dir.file("out.enc")), input, "ENCR", "Acme", kKey));
    }
}
