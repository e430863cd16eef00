// Cancel, as the progress window's button asks for it: every job stops at its next block and
// ends with kOperationCancelled after its usual failure message, leaving nothing behind.
#include "common/progress.h"
#include "crypt/company_key_file.h"
#include "ops/encryption.h"
#include "ops/packing.h"
#include "ops/wrapping_jobs.h"
#include "support/test_support.h"
#include "wrap/wrapping.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <functional>
#include <map>

using namespace kestrane;
using namespace kestrane::test;

namespace {

// The user presses Cancel as soon as the progress shows, which is at once here.
class CancellingPresenter : public ProgressPresenter {
public:
    void start(const std::string&) override { m_shown = true; }
    void update(int) override {}
    void stop() override { m_shown = false; }
    bool cancel_requested() const override { return m_shown; }
    bool shows_at_once() const override { return true; }

private:
    bool m_shown = false;
};

// Every entry of a folder with the MD5 of its bytes (empty for a folder).
std::map<std::string, QByteArray> contents_of(const TempDir& folder)
{
    std::map<std::string, QByteArray> contents;
    for (const std::string& name : folder.entries()) {
        QFile file(QString::fromStdString(folder.file(name)));
        contents[name] =
            file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5) : "";
    }
    return contents;
}

using Cancellation = IsolatedSettings;

} // namespace

TEST_F(Cancellation, EveryJobStopsLeavesNothingAndKeepsWhatExisted)
{
    const TempDir work;
    CancellingPresenter cancelling;
    const size_t big = 3 << 20; // three blocks
    write_bytes(work.file("viewer.cab"), pattern_bytes(big, 1));
    write_text(work.file("brand.conf"), "[" + std::string(big, 'b'));
    write_bytes(work.file("fw.wrp"), plain_tagged_bytes("FRM0", pattern_bytes(big, 2)));
    QDir().mkpath(QString::fromStdString(work.file("web")));
    QDir().mkpath(QString::fromStdString(work.file("set")));
    for (const char* name : {"set/a.enc", "set/b.enc"})
        write_bytes(work.file(name), pattern_bytes(big, 3));
    // The outputs of earlier runs, which must stay as they are.
    for (const char* name :
         {"viewer.cab.wrp", "viewer.cab.wrp-Acme.enc", "brand.conf.wrp", "web.wrp", "fw.wrp-Acme.enc", "set-K1.0.wrp"})
        write_text(work.file(name), name);
    ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Acme", work.file("acme.wrp")), 1);
    write_text(m_program.file("tar"), "#!/bin/sh\nexec sleep 30\n"); // ended, not waited out
    QFile::setPermissions(QString::fromStdString(m_program.file("tar")), QFile::ReadOwner | QFile::ExeOwner);

    const PackingJob packing{work.file("set"), {"a.enc", "b.enc"}, "1.0", work.file("set-K1.0.wrp")};
    const auto wrap = [&](unsigned type, const std::string& name) {
        return WrapRequest{type, "1.0", work.file(name), work.file(name + ".wrp")};
    };
    const std::string cancelled_wrap = "Fail with error code[-20]";
    const struct {
        const char* job;
        std::function<int(FrontEnd&)> run;
        int result;
        std::string message;
    } cases[] = {
        {"wrap a file", [&](FrontEnd& front) { return wrap_source(front, wrap(kWrapOcx, "viewer.cab")); },
         kOperationCancelled, cancelled_wrap},
        {"wrap a brand file", [&](FrontEnd& front) { return wrap_source(front, wrap(kWrapBrand, "brand.conf")); },
         kOperationCancelled, cancelled_wrap},
        {"wrap a folder", [&](FrontEnd& front) { return wrap_source(front, wrap(kWrapWebPage, "web")); },
         kOperationCancelled, cancelled_wrap},
        {"wrap with the package written alongside",
         [&](FrontEnd& front) {
             return WrapThenEncrypt(front, wrap(kWrapOcx, "viewer.cab"), {work.file("acme.wrp"), ""}).wrap();
         },
         kOperationCancelled, cancelled_wrap},
        {"encrypt",
         [&](FrontEnd& front) {
             return encrypt_wrapped_file(front, work.file("acme.wrp"), work.file("fw.wrp"),
                                         work.file("fw.wrp-Acme.enc"));
         },
         kEncryptionFailed, "encrypt_package() Failed with error [-20]"},
        {"pack", [&](FrontEnd& front) { return pack_listed_packages(front, packing); }, kOperationCancelled,
         "Fail with error[-20]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.job);
        const auto before = contents_of(work);
        RecordingFrontEnd recorder;
        recorder.presenter = &cancelling;
        EXPECT_EQ(c.run(recorder), c.result);
        EXPECT_EQ(recorder.messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(contents_of(work), before); // no output, no temporary file, nothing changed
    }
}
