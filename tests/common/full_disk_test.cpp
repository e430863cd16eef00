// Every writer on a disk that fills up: the write seam fails every write past N bytes, for N at
// each edge of the layout (nothing, inside the header, at its end, mid-payload, inside the trailer,
// one byte short). Each must answer its "cannot create destination" code, leave nothing behind
// and leave an existing destination byte for byte as it was; with exactly enough room it succeeds.

#include "common/file_io.h"
#include "crypt/company_key_file.h"
#include "crypt/encrypted_package.h"
#include "ops/encryption.h"
#include "ops/wrapping_jobs.h"
#include "pack/package_file.h"
#include "wrap/wrapping.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>

#include <functional>

using namespace kestrane;
using namespace kestrane::test;

namespace {

struct Writer {
    const char* name;
    // Writes `destination` through `io`, reading what it needs from `sources` and telling `front`
    // what it shows; returns the writer's result.
    std::function<int(FrontEnd& front, const TempDir& sources, const std::string& destination, IoPolicy& io)> write;
    int cannot_create;                // the result when the destination cannot be written
    std::vector<std::string> message; // what it shows then, when it shows anything
};

// How a writer shows in test names and failures.
void PrintTo(const Writer& writer, std::ostream* out)
{
    *out << writer.name;
}

const CompanyKey kAcmeKey = {0x00, 0x00, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6};

void make_sources(const TempDir& sources)
{
    write_bytes(sources.file("viewer.cab"), pattern_bytes(3000, 1));
    write_text(sources.file("brand.conf"), "[brand]\nname=acme\n" + std::string(400, 'x'));
    write_bytes(sources.file("image.wrp"), plain_tagged_bytes("FRM0", pattern_bytes(2500, 2), "1.5.2"));
    write_bytes(sources.file("raw.wrp"), plain_tagged_bytes("RAW0", pattern_bytes(300, 3)));
    ASSERT_EQ(write_company_key_file("0000A1B2C3D4E5F6", "Acme", sources.file("acme.wrp")), 1);
    QDir().mkpath(QString::fromStdString(sources.file("web/img")));
    write_text(sources.file("web/index.html"), "<html></html>");
    write_bytes(sources.file("web/img/logo.png"), pattern_bytes(2000, 4));
}

const Writer kWriters[] = {
    {"wrapped file",
     [](FrontEnd&, const TempDir& s, const std::string& d, IoPolicy& io) {
         return write_wrapped_file(s.file("viewer.cab"), d, "OCX0", "", "4.4", {}, io);
     },
     kWrapCannotCreate,
     {}},
    {"sealed brand file",
     [](FrontEnd&, const TempDir& s, const std::string& d, IoPolicy& io) {
         return write_wrapped_file(s.file("brand.conf"), d, "BRD0", "", "1", {}, io);
     },
     kWrapCannotCreate,
     {}},
    {"directory wrap",
     [](FrontEnd& front, const TempDir& s, const std::string& d, IoPolicy& io) {
         return wrap_source(front, {kWrapWebPage, "2.0", s.file("web"), d}, nullptr, io);
     },
     kWrapCannotCreate,
     {"Fail with error code[-2]"}},
    {"encrypted package ENCR",
     [](FrontEnd&, const TempDir& s, const std::string& d, IoPolicy& io) {
         return encrypt_package(s.file("image.wrp"), d, "Acme", kAcmeKey, false, io);
     },
     -2,
     {}},
    {"encrypted package ENC1",
     [](FrontEnd&, const TempDir& s, const std::string& d, IoPolicy& io) {
         return encrypt_package(s.file("raw.wrp"), d, "Acme", kAcmeKey, true, io);
     },
     -2,
     {}},
    {"encryption of a wrapped file",
     [](FrontEnd& front, const TempDir& s, const std::string& d, IoPolicy& io) {
         return encrypt_wrapped_file(front, s.file("acme.wrp"), s.file("image.wrp"), d, io);
     },
     -1,
     {"encrypt_package() Failed with error [-2]"}},
    {"company key file",
     [](FrontEnd&, const TempDir&, const std::string& d, IoPolicy& io) {
         return write_company_key_file("0000A1B2C3D4E5F6", "Acme", d, io);
     },
     -2,
     {}},
    {"package file",
     [](FrontEnd&, const TempDir& s, const std::string& d, IoPolicy& io) {
         return pack_files("1.5.2", s.path(), {"image.wrp", "raw.wrp"}, d, io);
     },
     kPackCannotCreate,
     {}},
};

class FullDisk : public testing::TestWithParam<Writer> {};

TEST_P(FullDisk, FailsCleanlyAtEveryEdgeAndFitsExactly)
{
    const Writer& writer = GetParam();
    TempDir sources;
    make_sources(sources);

    // The size of the whole output, written once without a limit.
    uint64_t total = 0;
    {
        TempDir out;
        RecordingFrontEnd quiet;
        ASSERT_GT(writer.write(quiet, sources, out.file("out"), system_io()), 0);
        total = read_bytes(out.file("out")).size();
    }
    ASSERT_GT(total, 156u);

    const Bytes old = bytes_of("the destination as it was before");
    for (const uint64_t limit : {uint64_t{0}, uint64_t{7}, uint64_t{139}, uint64_t{140}, total / 2, total - 17,
                                 total - 16, total - 1}) {
        SCOPED_TRACE(std::string(writer.name) + ", writes fail after " + std::to_string(limit) + " of "
                     + std::to_string(total) + " bytes");
        TempDir out;
        write_bytes(out.file("out"), old);
        RecordingFrontEnd messages;
        int result = 0;
        {
            FaultyIo full(static_cast<int64_t>(limit));
            result = writer.write(messages, sources, out.file("out"), full);
        }
        EXPECT_EQ(result, writer.cannot_create);
        EXPECT_EQ(read_bytes(out.file("out")), old);
        EXPECT_EQ(out.entries(), std::vector<std::string>{"out"});
        if (!writer.message.empty()) {
            EXPECT_EQ(messages.messages(), writer.message);
        }
    }

    TempDir out;
    write_bytes(out.file("out"), old);
    RecordingFrontEnd messages;
    FaultyIo exactly(static_cast<int64_t>(total));
    EXPECT_GT(writer.write(messages, sources, out.file("out"), exactly), 0)
        << writer.name << " does not fit into " << total << " bytes";
    EXPECT_EQ(read_bytes(out.file("out")).size(), total);
    EXPECT_EQ(out.entries(), std::vector<std::string>{"out"});
}

INSTANTIATE_TEST_SUITE_P(EveryWriter, FullDisk, testing::ValuesIn(kWriters),
                         [](const testing::TestParamInfo<Writer>& info) {
                             std::string name;
                             for (const char c : std::string(info.param.name))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

} // namespace
