// When the system has no thread to give (or no memory), every job fails with its "cannot create"
// code and message and leaves no file behind; nothing crashes.

#include "common/block_pipeline.h"
#include "crypt/company_key_file.h"
#include "ops/encryption.h"
#include "ops/key_generation.h"
#include "ops/packing.h"
#include "ops/wrapping_jobs.h"
#include "pack/package_file.h"
#include "support/test_support.h"
#include "wrap/wrapping.h"

#include <gtest/gtest.h>

#include <functional>

using namespace kestrane;
using namespace kestrane::test;

namespace {

using Lines = std::vector<std::string>;

class ResourceShortage : public IsolatedSettings {
protected:
    void SetUp() override
    {
        IsolatedSettings::SetUp();
        ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Acme", m_key), 1);
        write_bytes(m_source, pattern_bytes(3000, 7));
        write_bytes(m_wrapped, plain_tagged_bytes("OCX0", pattern_bytes(3000, 8)));
    }

    TempDir m_work;
    const std::string m_key = m_work.file("acme.wrp");
    const std::string m_source = m_work.file("viewer.cab");
    const std::string m_wrapped = m_work.file("old.wrp");
};

} // namespace

TEST_F(ResourceShortage, EveryJobFailsWithItsCannotCreateCode)
{
    const std::string out = m_work.file("out");
    struct Case {
        const char* job;
        std::function<int(FrontEnd& front, IoPolicy& io)> run;
        int result;
        Lines messages;
    };
    const Case cases[] = {
        {"wrap",
         [&](FrontEnd& front, IoPolicy& io) {
             return wrap_source(front, {kWrapOcx, "1.0", m_source, out}, nullptr, io);
         },
         kWrapCannotCreate,
         {"Fail with error code[-2]"}},
        {"encrypt",
         [&](FrontEnd& front, IoPolicy& io) { return encrypt_wrapped_file(front, m_key, m_wrapped, out, io); },
         kEncryptionFailed,
         {"encrypt_package() Failed with error [-2]"}},
        {"generate",
         [&](FrontEnd& front, IoPolicy& io) {
             return generate_company_key_file(
                 front, {.digits = "0A0B0C0D0E0F", .company_name = "Beta", .destination = out}, io);
         },
         kKeyGenerationCannotCreate,
         {"Fail with Error code[-2]"}},
        {"pack",
         [&](FrontEnd& front, IoPolicy& io) {
             return pack_listed_packages(front, PackingJob{m_work.path(), {}, "1.0", out}, io);
         },
         kPackCannotCreate,
         {"Fail with error[-2]"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.job);
        RecordingFrontEnd recorder;
        FaultyIo no_threads(-1, 0);
        EXPECT_EQ(c.run(recorder, no_threads), c.result);
        EXPECT_EQ(recorder.messages(), c.messages);
        EXPECT_EQ(m_work.entry_count(), 3u); // the key file, the source and the wrapped file
    }
}

// The wrapping gets its threads (its digest and its writer), the package written alongside gets
// none: the wrapped file stands, the package fails with the encryption's cannot-create code and
// leaves nothing.
TEST_F(ResourceShortage, PackageAlongsideFailsAloneWhenItsThreadCannotStart)
{
    const std::string wrapped = m_source + ".wrp";
    RecordingFrontEnd recorder;
    FaultyIo wrapping_threads(-1, 2);
    WrapThenEncrypt job(recorder, {kWrapOcx, "1.0", m_source, wrapped}, {m_key, ""}, nullptr, wrapping_threads);
    EXPECT_EQ(job.wrap(), kWrapOk);
    EXPECT_EQ(job.encrypt(), kEncryptionFailed);
    EXPECT_EQ(recorder.messages(),
              (Lines{"wrapping file success. [path:" + wrapped + "]", "encrypt_package() Failed with error [-2]"}));
    EXPECT_EQ(m_work.entries(), (std::vector<std::string>{"acme.wrp", "old.wrp", "viewer.cab", "viewer.cab.wrp"}));
}
