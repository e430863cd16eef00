#include "crypt/company_key_file.h"

#include "common/file_io.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace kestrane;
using namespace kestrane::test;

namespace {

// A company key file laid out by hand: "VID0", attribute, zero field, L, then the payload bytes.
Bytes key_file_bytes(const std::string& type, const std::string& attribute, uint32_t length, const Bytes& payload)
{
    Bytes file = bytes_of(type + attribute);
    file.resize(136, 0);
    for (int i = 0; i < 4; ++i)
        file.push_back(static_cast<uint8_t>(length >> (8 * i)));
    file.insert(file.end(), payload.begin(), payload.end());
    file.resize(file.size() + 16, 0xAA); // a trailer that is not the MD5: it is never checked
    return file;
}

Bytes payload_of(const Bytes& key, const std::string& name)
{
    Bytes payload = key;
    payload.insert(payload.end(), name.begin(), name.end());
    return payload;
}

bool exists(const std::string& path)
{
    return QFile::exists(QString::fromStdString(path));
}

} // namespace

TEST(CompanyKeyFile, WrittenLayoutIsCheckedByOpenssl)
{
    TempDir dir;
    const std::string path = dir.file("acme.wrp");
    ASSERT_EQ(write_company_key_file("0000A1b2C3d4E5f6", "ACME Cameras 16b", path), 1);
    const Bytes file = read_bytes(path);
    ASSERT_EQ(file.size(), 180u); // 16-byte name: L = 24
    EXPECT_EQ(text_at(file, 0, 8), "VID0PLAN");
    EXPECT_TRUE(all_zero(file, 8, 128));
    EXPECT_EQ(to_hex(file.data() + 136, 4), "18000000");
    EXPECT_EQ(to_hex(file.data() + 140, 8), "0000a1b2c3d4e5f6");
    EXPECT_EQ(text_at(file, 148, 16), "ACME Cameras 16b");
    EXPECT_EQ(to_hex(file.data() + 164, 16), openssl_md5_hex(Bytes(file.begin(), file.begin() + 164)));

#ifndef _WIN32
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "a company key file holds a secret";
#endif

    CompanyKey key{};
    std::string name;
    ASSERT_EQ(read_company_key_file(path, key, name), 1);
    EXPECT_EQ(key, (CompanyKey{0x00, 0x00, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}));
    EXPECT_EQ(name, "ACME Cameras 16b");
}

TEST(CompanyKeyFile, BadKeyTextWritesNothingAndSaysWhy)
{
    TempDir dir;
    const std::string path = dir.file("bad.wrp");
    const std::pair<std::string, std::string> cases[] = {
        {"0000112233445566AA", "data incorrect2\n"},
        {"000011223344556", "data incorrect\n"},
        {"00000G1122334455", "convert error - 0G"},
        {"0000112233 44556", "convert error -  4"},
    };
    for (const auto& [text, complaint] : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(write_company_key_file(text, "Acme", path), -1) << text;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), complaint);
        EXPECT_FALSE(exists(path));
    }
}

TEST(CompanyKeyFile, ShortKeyTextAndCase)
{
    TempDir dir;
    CompanyKey upper{}, lower{};
    std::string name;
    ASSERT_EQ(write_company_key_file("0000ABCDEF012345", "Acme", dir.file("u")), 1);
    ASSERT_EQ(write_company_key_file("0000abcdef012345", "Acme", dir.file("l")), 1);
    ASSERT_EQ(read_company_key_file(dir.file("u"), upper, name), 1);
    ASSERT_EQ(read_company_key_file(dir.file("l"), lower, name), 1);
    EXPECT_EQ(upper, lower);

    ASSERT_EQ(write_company_key_file("", "Acme", dir.file("e")), 1);
    CompanyKey empty{1, 1, 1, 1, 1, 1, 1, 1};
    ASSERT_EQ(read_company_key_file(dir.file("e"), empty, name), 1);
    EXPECT_EQ(empty, CompanyKey{}); // key bytes that were not given are zero
}

TEST(CompanyKeyFile, UncreatableDestinationKeepsTheOldFile)
{
    TempDir dir;
    EXPECT_EQ(write_company_key_file("0000010203040506", "Acme", dir.file("no/such/dir.wrp")), -2);
    const std::string path = dir.file("old.wrp");
    write_text(path, "old");
    FaultyIo full_disk(50);
    EXPECT_EQ(write_company_key_file("0000010203040506", "Acme", path, full_disk), -2);
    EXPECT_EQ(read_bytes(path), bytes_of("old"));
}

TEST(CompanyKeyFile, ReaderChecksInOrderAndLeavesOutputsOnFailure)
{
    TempDir dir;
    const Bytes key = {1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes declares_40 = key_file_bytes("VID0", "PLAN", 40, payload_of(key, "Acme"));
    struct Case {
        const char* what;
        Bytes file;
        int result;
    };
    const Case cases[] = {
        {"lower-case type", key_file_bytes("vid0", "PLAN", 12, payload_of(key, "Acme")), -3},
        {"encrypted", key_file_bytes("VID0", "ENCR", 12, payload_of(key, "Acme")), -4},
        {"type before length", key_file_bytes("FRM0", "PLAN", 500, {}), -3},
        {"empty name", key_file_bytes("VID0", "PLAN", 8, key), -2},
        {"L = 101", key_file_bytes("VID0", "PLAN", 101, payload_of(key, std::string(93, 'n'))), -2},
        {"negative L", key_file_bytes("VID0", "PLAN", 0xFFFFFFF0u, payload_of(key, "Acme")), -2},
        {"ends before its name", Bytes(declares_40.begin(), declares_40.begin() + 150), -2},
        {"ends inside the header", bytes_of("VID0PLAN"), -2},
        {"empty file", {}, -3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write_bytes(dir.file("k"), c.file);
        CompanyKey out{9, 9, 9, 9, 9, 9, 9, 9};
        std::string name = "unchanged";
        EXPECT_EQ(read_company_key_file(dir.file("k"), out, name), c.result);
        EXPECT_EQ(out, (CompanyKey{9, 9, 9, 9, 9, 9, 9, 9}));
        EXPECT_EQ(name, "unchanged");
    }
    CompanyKey out{};
    std::string name;
    EXPECT_EQ(read_company_key_file(dir.file("absent"), out, name), -1);
    EXPECT_EQ(read_company_key_file(dir.path(), out, name), -1);
}

TEST(CompanyKeyFile, ReaderLimitsAndEmbeddedZero)
{
    TempDir dir;
    const Bytes key = {1, 2, 3, 4, 5, 6, 7, 8};
    CompanyKey out{};
    std::string name;

    const std::string longest(92, 'N');
    write_bytes(dir.file("k"), key_file_bytes("VID0", "PLAN", 100, payload_of(key, longest)));
    ASSERT_EQ(read_company_key_file(dir.file("k"), out, name), 1);
    EXPECT_EQ(name, longest);
    EXPECT_EQ(out, (CompanyKey{1, 2, 3, 4, 5, 6, 7, 8}));

    write_bytes(dir.file("k"), key_file_bytes("VID0", "PLAN", 13, payload_of(key, std::string("Ac\0me", 5))));
    ASSERT_EQ(read_company_key_file(dir.file("k"), out, name), 1);
    EXPECT_EQ(name, "Ac");
}

TEST(HexDigit, Values)
{
    EXPECT_EQ(hex_digit_value('0'), 0);
    EXPECT_EQ(hex_digit_value('9'), 9);
    EXPECT_EQ(hex_digit_value('A'), 10);
    EXPECT_EQ(hex_digit_value('f'), 15);
    EXPECT_EQ(hex_digit_value('g'), -1);
    EXPECT_EQ(hex_digit_value('G'), -1);
    EXPECT_EQ(hex_digit_value(' '), -1);
    EXPECT_EQ(hex_digit_value('\0'), -1);
}
