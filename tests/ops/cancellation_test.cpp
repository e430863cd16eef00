// Cancel, as the progress window's button asks for it: every job stops at its next block and
// ends with kOperationCancelled after its usual failure message, leaving nothing behind.
#include "common/messages.h"
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
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <functional>
#include <map>

using namespace kestrane;
using namespace kestrane::test;

namespace {

// The user presses Cancel as soon as the progress is shown, which is at once here.
class CancellingPresenter : public ProgressPresenter {
public:
    void start(const std::string&) override { m_shown = true; }
    void update(int) override {}
    void stop() override { m_shown = false; }
    bool cancel_requested() const override { return m_shown; }

private:
    bool m_shown = false;
};

class Cancellation : public IsolatedSettings {
protected:
    void SetUp() override
    {
        IsolatedSettings::SetUp();
        show_progress_at_once_for_tests(true);
        m_previous = install_progress_presenter(std::make_shared<CancellingPresenter>());
        ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Acme", m_work.file("acme.wrp")), 1);
    }
    void TearDown() override
    {
        install_progress_presenter(m_previous);
        show_progress_at_once_for_tests(false);
        IsolatedSettings::TearDown();
    }

    TempDir m_work;
    std::shared_ptr<ProgressPresenter> m_previous;
};

// Every entry of a folder with the MD5 of its bytes ("" for a folder).
std::map<std::string, std::string> contents_of(const TempDir& folder)
{
    std::map<std::string, std::string> contents;
    for (const std::string& name : folder.entries()) {
        QFile file(QString::fromStdString(folder.file(name)));
        if (!QFileInfo(file).isDir() && file.open(QIODevice::ReadOnly))
            contents[name] = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex().toStdString();
        else
            contents[name] = "";
    }
    return contents;
}

} // namespace

TEST_F(Cancellation, EveryJobStopsLeavesNothingAndKeepsWhatExisted)
{
    const size_t big = 3 << 20; // three blocks
    write_bytes(m_work.file("viewer.cab"), pattern_bytes(big, 1));
    write_text(m_work.file("brand.conf"), "[" + std::string(big, 'b'));
    write_bytes(m_work.file("fw.wrp"), plain_tagged_bytes("FRM0", pattern_bytes(big, 2)));
    QDir().mkpath(QString::fromStdString(m_work.file("web")));
    write_text(m_work.file("web/index.html"), "<html></html>");
    QDir().mkpath(QString::fromStdString(m_work.file("set")));
    write_bytes(m_work.file("set/a.enc"), pattern_bytes(big, 3));
    write_bytes(m_work.file("set/b.enc"), pattern_bytes(big, 4));
    // The outputs of earlier runs, which must stay as they are.
    for (const char* earlier : {"viewer.cab.wrp", "viewer.cab.wrp-Acme.enc", "brand.conf.wrp", "web.wrp",
                                "fw.wrp-Acme.enc", "set-K1.0.wrp"})
        write_text(m_work.file(earlier), std::string("earlier ") + earlier);
    // An archiver that would take long: it is ended, not waited out.
    write_text(m_program.file("tar"), "#!/bin/sh\nexec sleep 30\n");
    QFile::setPermissions(QString::fromStdString(m_program.file("tar")), QFile::ReadOwner | QFile::ExeOwner);

    PackagingForm form;
    form.path = m_work.file("set");
    form.dest_file = m_work.file("set-K1.0.wrp");
    form.version = "1.0";
    form.entries.resize(2);
    form.entries[0].path = m_work.file("set/a.enc");
    form.entries[1].path = m_work.file("set/b.enc");
    const auto wrap = [this](unsigned type, const std::string& name) {
        return wrap_source({type, "1.0", m_work.file(name), m_work.file(name + ".wrp")});
    };
    struct Case {
        const char* job;
        std::function<int()> run;
        int result;
        std::string message;
    };
    const Case cases[] = {
        {"wrap a file", [&] { return wrap(kWrapOcx, "viewer.cab"); }, kOperationCancelled, "Fail with error code[-20]"},
        {"wrap a brand file", [&] { return wrap(kWrapBrand, "brand.conf"); }, kOperationCancelled,
         "Fail with error code[-20]"},
        {"wrap a folder", [&] { return wrap(kWrapWebPage, "web"); }, kOperationCancelled, "Fail with error code[-20]"},
        {"wrap with the package written alongside",
         [&] {
             WrapThenEncrypt job({kWrapOcx, "1.0", m_work.file("viewer.cab"), m_work.file("viewer.cab.wrp")},
                                 {m_work.file("acme.wrp"), ""});
             return job.wrap();
         },
         kOperationCancelled, "Fail with error code[-20]"},
        {"encrypt", [&] { return encrypt_wrapped_file(m_work.file("acme.wrp"), m_work.file("fw.wrp"), m_work.file("fw.wrp-Acme.enc")); },
         kEncryptionFailed, "encrypt_package() Failed with error [-20]"},
        {"pack", [&] { return pack_listed_packages(form); }, kOperationCancelled, "Fail with error[-20]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.job);
        const auto before = contents_of(m_work);
        MessageRecorder recorder;
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(c.run(), c.result);
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_EQ(recorder.messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(contents_of(m_work), before); // no output, no temporary file, nothing changed
    }
}
