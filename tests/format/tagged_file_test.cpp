#include "format/tagged_file_writer.h"
#include "format/tagged_header_reader.h"
#include "format/tagged_layout.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace kestrane;
using namespace kestrane::test;

namespace {

// File offsets of the information field's slots, written out by hand.
constexpr size_t kModelAt = 8;
constexpr size_t kVersionFirstAt = 12;
constexpr size_t kCompanyAt = 20;
constexpr size_t kVersionSecondAt = 52;

Bytes written_file(const TempDir& dir, std::string_view model, const std::string& version,
                   const Bytes& payload, std::string_view company = {})
{
    const std::string path = dir.file("out.wrp");
    EXPECT_EQ(write_tagged_file(path, "FRM0", "PLAN", build_information_field(model, version, company),
                                payload),
              1);
    return read_bytes(path);
}

} // namespace

TEST(InformationField, VersionSlotsForEveryLength)
{
    TempDir dir;
    struct Case {
        std::string version;
        std::string first_slot;  // bytes 12..19, zero-padded
        std::string second_slot; // bytes 52..63, zero-padded
    };
    const Case cases[] = {
        {"", "", ""},
        {"1.5.2", "1.5.2", ""},
        {"12345678", "12345678", ""},
        {"123456789", "12345678", "9"},
        {"12345678901234567890", "12345678", "901234567890"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("version \"" + c.version + "\"");
        const Bytes file = written_file(dir, "", c.version, {});
        ASSERT_EQ(file.size(), 156u);
        auto slot = [&](size_t offset, size_t size) {
            std::string text = text_at(file, offset, size);
            return text.substr(0, text.find('\0'));
        };
        EXPECT_EQ(slot(kVersionFirstAt, 8), c.first_slot);
        EXPECT_EQ(slot(kVersionSecondAt, 12), c.second_slot);
        // Nothing else of the information field is touched.
        EXPECT_TRUE(all_zero(file, kModelAt, 4));
        EXPECT_TRUE(all_zero(file, kCompanyAt, 32));
        EXPECT_TRUE(all_zero(file, 64, 72));
        if (c.version.size() < 8) {
            EXPECT_TRUE(all_zero(file, kVersionFirstAt + c.version.size(), 8 - c.version.size()));
        }

        HeaderSummary summary;
        ASSERT_EQ(read_header_summary(dir.file("out.wrp"), summary), 1);
        EXPECT_EQ(summary.version, c.version);
    }
}

TEST(InformationField, ModelTagAndCompanyName)
{
    TempDir dir;
    const Bytes file = written_file(dir, "7720", "1.0", {}, "ACME-0123456789Z");
    EXPECT_EQ(text_at(file, kModelAt, 4), "7720");
    EXPECT_EQ(text_at(file, kCompanyAt, 16), "ACME-0123456789Z"); // 16 bytes, no terminator
    EXPECT_EQ(file.at(36), 0);

    HeaderSummary summary;
    ASSERT_EQ(read_header_summary(dir.file("out.wrp"), summary), 1);
    EXPECT_EQ(summary.model_tag, "7720");
    EXPECT_EQ(summary.company_name, "ACME-0123456789Z");
}

TEST(TaggedFile, LayoutAndMd5TrailerMatchOpenssl)
{
    TempDir dir;
    for (const size_t length : {size_t{0}, size_t{1}, size_t{1000}, size_t{70000}}) {
        SCOPED_TRACE(length);
        const Bytes payload = pattern_bytes(length, static_cast<uint32_t>(length));
        const Bytes file = written_file(dir, "", "2.0", payload);
        ASSERT_EQ(file.size(), 156 + length);
        EXPECT_EQ(text_at(file, 0, 8), "FRM0PLAN");
        const size_t stored_length = file[136] | file[137] << 8 | file[138] << 16 | size_t{file[139]} << 24;
        EXPECT_EQ(stored_length, length);
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), file.begin() + 140));

        const Bytes covered(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(140 + length));
        const Bytes trailer(file.end() - 16, file.end());
        EXPECT_EQ(to_hex(trailer), openssl_md5_hex(covered));
    }
}

TEST(TaggedFile, UncreatableDestinationGivesMinusTwoAndLeavesNothing)
{
    TempDir dir;
    const InformationField field = build_information_field("", "1", {});
    EXPECT_EQ(write_tagged_file(dir.file("missing/out.wrp"), "RAW0", "PLAN", field, {}), -2);
    EXPECT_EQ(write_tagged_file("", "RAW0", "PLAN", field, {}), -2);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.file("missing/out.wrp"))));
}

TEST(TaggedFile, FailedWriteKeepsTheExistingDestination)
{
    TempDir dir;
    const std::string path = dir.file("keep.wrp");
    write_text(path, "previous content");
    FaultyIo full_disk(100); // fails inside the information field
    const int result = write_tagged_file(path, "RAW0", "PLAN", build_information_field("", "1"), pattern_bytes(5000),
                                         FileAccess::Default, full_disk);
    EXPECT_EQ(result, -2);
    EXPECT_EQ(read_bytes(path), bytes_of("previous content"));
    EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files).size(), 1);
}

TEST(TaggedFile, StreamedPayloadMustAddUpToTheAnnouncedLength)
{
    TempDir dir;
    TaggedFileWriter writer(dir.file("short.wrp"));
    ASSERT_TRUE(writer.begin("RAW0", "PLAN", build_information_field("", "1"), 10));
    writer.append("12345", 5);
    EXPECT_EQ(writer.finish(), -2);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.file("short.wrp"))));
}

TEST(HeaderSummary, CompanyKeyFileShowsOnlyItsTags)
{
    TempDir dir;
    const std::string path = dir.file("key.wrp");
    ASSERT_EQ(write_tagged_file(path, "VID0", "PLAN", build_information_field("", ""), bytes_of("01234567Acme")), 1);
    HeaderSummary summary;
    ASSERT_EQ(read_header_summary(path, summary), 1);
    EXPECT_EQ(summary.path, path);
    EXPECT_EQ(summary.type_tag, "VID0");
    EXPECT_EQ(summary.attribute_tag, "PLAN");
    EXPECT_EQ(summary.model_tag, "");
    EXPECT_EQ(summary.version, "");
    EXPECT_EQ(summary.company_name, "");
}

TEST(HeaderSummary, ShortFileReadsMissingBytesAsZero)
{
    TempDir dir;
    const std::string path = dir.file("short.enc");
    write_text(path, "WEB0EN"); // ends inside the attribute tag
    HeaderSummary summary;
    ASSERT_EQ(read_header_summary(path, summary), 1);
    EXPECT_EQ(summary.type_tag, "WEB0");
    EXPECT_EQ(summary.attribute_tag, "EN");
    EXPECT_EQ(summary.version, "");

    write_bytes(path, {});
    ASSERT_EQ(read_header_summary(path, summary), 1);
    EXPECT_EQ(summary.type_tag, "");
}

TEST(HeaderSummary, FullTwentyCharacterVersionWithoutTerminator)
{
    TempDir dir;
    Bytes header(64, 'x');
    std::copy_n("ABCDEFGH", 8, header.begin() + 12);
    std::copy_n("IJKLMNOPQRST", 12, header.begin() + 52);
    write_bytes(dir.file("h"), header);
    HeaderSummary summary;
    ASSERT_EQ(read_header_summary(dir.file("h"), summary), 1);
    EXPECT_EQ(summary.version, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(summary.type_tag, "xxxx");
    EXPECT_EQ(summary.company_name, std::string(16, 'x'));
}

TEST(HeaderSummary, UnopenableFileLeavesTheSummaryUntouched)
{
    TempDir dir;
    HeaderSummary summary;
    summary.type_tag = "keep";
    EXPECT_EQ(read_header_summary(dir.file("absent"), summary), -1);
    EXPECT_EQ(read_header_summary(dir.path(), summary), -1); // a directory
    EXPECT_EQ(summary.type_tag, "keep");
}
