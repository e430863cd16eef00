#include "ui/file_version_reader.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace kestrane;
using namespace kestrane::test;

namespace {

// A version block laid out by hand: entries of key length (16 bits), key, value length (32 bits),
// value, all little-endian.
void put_le(Bytes& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void put_entry(Bytes& out, const std::string& key, const Bytes& value)
{
    put_le(out, static_cast<uint32_t>(key.size()), 2);
    out.insert(out.end(), key.begin(), key.end());
    put_le(out, static_cast<uint32_t>(value.size()), 4);
    out.insert(out.end(), value.begin(), value.end());
}

Bytes fixed_record(uint32_t signature, uint32_t ms, uint32_t ls)
{
    Bytes record;
    for (uint32_t value : {signature, 0x10000u, ms, ls, ms, ls, 0x3Fu, 0u, 0u, 1u, 0u, 0u, 0u})
        put_le(record, value, 4);
    return record;
}

Bytes block(const Bytes& fixed, std::optional<Bytes> translation = Bytes{0x12, 0x04, 0xB0, 0x04})
{
    Bytes out;
    put_entry(out, "\\", fixed);
    if (translation)
        put_entry(out, "\\VarFileInfo\\Translation", *translation);
    return out;
}

void expect_all_zero(const CFileVersionReader& reader)
{
    EXPECT_FALSE(reader.IsValid());
    EXPECT_EQ(reader.GetFileVersionMS(), 0u);
    EXPECT_EQ(reader.GetFileVersionLS(), 0u);
    EXPECT_EQ(reader.GetProductVersionMS(), 0u);
    EXPECT_EQ(reader.GetFixedRecord().signature, 0u);
    EXPECT_EQ(reader.GetTranslationCount(), 0u);
    EXPECT_EQ(version_title(reader), "Kestrane(v0.0.0)");
}

} // namespace

TEST(FileVersionReader, ProgramRecordIsTheProjectVersion)
{
    // The compiled block, read by hand: signature, structure version, file and product version
    // 1.2.3.0, then one translation entry 0x0412 / 1200.
    const auto own = program_version_block();
    bool found = false;
    const auto fixed = query_version_value(own, "\\", &found);
    ASSERT_TRUE(found);
    EXPECT_EQ(to_hex(fixed.data(), 24), "bd04effe000001000200010000000300" "0200010000000300");
    EXPECT_EQ(to_hex(query_version_value(own, "\\VarFileInfo\\Translation")), "1204b004");

    CFileVersionReader reader;
    expect_all_zero(reader);
    ASSERT_TRUE(reader.LoadFromModule());
    EXPECT_TRUE(reader.IsValid());
    EXPECT_EQ(reader.GetFileVersionMS(), (1u << 16) | 2u);
    EXPECT_EQ(reader.GetFileVersionLS(), 3u << 16);
    EXPECT_EQ(reader.GetProductVersionMS(), (1u << 16) | 2u);
    ASSERT_EQ(reader.GetTranslationCount(), 1u);
    EXPECT_EQ(reader.GetTranslationLanguage(0), 0x0412);
    EXPECT_EQ(reader.GetTranslationCodePage(0), 1200);
    EXPECT_EQ(reader.GetTranslationLanguage(1), 0);
    EXPECT_EQ(version_title(reader), "Kestrane(v1.2.3)");
    EXPECT_EQ(program_version_title(), "Kestrane(v1.2.3)");

    EXPECT_FALSE(reader.LoadFromModule({})); // no module
}

TEST(FileVersionReader, FileRecordsAndTheFourthPartIsNotShown)
{
    TempDir dir;
    write_bytes(dir.file("v.bin"), block(fixed_record(0xFEEF04BD, 2u << 16 | 10u, 0u << 16 | 7u)));
    CFileVersionReader reader;
    ASSERT_TRUE(reader.LoadFromFile(dir.file("v.bin")));
    EXPECT_EQ(version_title(reader), "Kestrane(v2.10.0)");

    // Large parts are unsigned 16-bit values, and a second translation entry is counted.
    write_bytes(dir.file("w.bin"), block(fixed_record(0xFEEF04BD, 65535u << 16 | 40000u, 9u << 16),
                                         Bytes{0x09, 0x04, 0xE4, 0x04, 0x12, 0x04, 0xB0, 0x04}));
    ASSERT_TRUE(reader.LoadFromFile(dir.file("w.bin")));
    EXPECT_EQ(version_title(reader), "Kestrane(v65535.40000.9)");
    EXPECT_EQ(reader.GetTranslationCount(), 2u);
    EXPECT_EQ(reader.GetTranslationCodePage(0), 1252);
}

TEST(FileVersionReader, UnreadableRecordsReadAsZero)
{
    TempDir dir;
    const Bytes good = block(fixed_record(0xFEEF04BD, 1u << 16 | 2u, 3u << 16));
    Bytes truncated(good.begin(), good.begin() + 40); // cut inside the fixed record
    Bytes short_fixed;
    put_entry(short_fixed, "\\", Bytes(48, 0xBD));
    Bytes only_translation;
    put_entry(only_translation, "\\VarFileInfo\\Translation", {0x12, 0x04, 0xB0, 0x04});
    Bytes lying_length = good;
    lying_length[3] = 0xFF; // the fixed record claims far more bytes than the block holds

    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"wrong signature", block(fixed_record(0xFEEF04BE, 1u << 16 | 2u, 3u << 16))},
        {"no translation table", block(fixed_record(0xFEEF04BD, 1u << 16 | 2u, 3u << 16), std::nullopt)},
        {"empty translation table", block(fixed_record(0xFEEF04BD, 1u << 16 | 2u, 3u << 16), Bytes{})},
        {"truncated", truncated},
        {"short fixed record", short_fixed},
        {"no fixed record", only_translation},
        {"length beyond the block", lying_length},
        {"empty file", Bytes{}},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        write_bytes(dir.file("v.bin"), bytes);
        CFileVersionReader reader;
        ASSERT_TRUE(reader.LoadFromModule()); // a failed load afterwards leaves nothing behind
        EXPECT_FALSE(reader.LoadFromFile(dir.file("v.bin")));
        expect_all_zero(reader);
    }

    CFileVersionReader reader;
    EXPECT_FALSE(reader.LoadFromFile(""));
    EXPECT_FALSE(reader.LoadFromFile(dir.file("missing.bin")));
    expect_all_zero(reader);
}
