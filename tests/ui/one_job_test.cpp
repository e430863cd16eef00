// The desktop program runs one job at a time, and a long job can be cancelled from its progress
// window.
#include "ui/main_dialog.h"

#include "common/messages.h"
#include "common/progress.h"
#include "crypt/company_key_file.h"
#include "ui/progress_dialog.h"
#include "dialog_test_support.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

using namespace kestrane;
using namespace kestrane::test;

namespace {

// A directory to wrap in the main dialog, an archiver in the program directory that takes its
// time, and the progress window shown as in the program.
class OneJob : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Acme", m_program.file("vid_tev.wrp")), 1);
        QDir().mkpath(QString::fromStdString(m_site));
        write_text(m_site + "/index.html", "<html></html>");
        install_progress_dialog_presenter();
    }
    void TearDown() override
    {
        install_progress_presenter(nullptr);
        DialogTest::TearDown();
    }

    void place_archiver(const std::string& script)
    {
        write_text(m_program.file("tar"), "#!/bin/sh\n" + script);
        QFile::setPermissions(QString::fromStdString(m_program.file("tar")), QFile::ReadOwner | QFile::ExeOwner);
    }

    // Runs the main dialog: chooses the directory as a web page of version 1.0, presses `button`
    // and, once the progress window shows, does `meanwhile` with both windows. Then "Close".
    void wrap_with(const char* button, const std::function<void(QWidget* main, ProgressWindow*)>& meanwhile)
    {
        ScriptedChooser chooser;
        chooser.choose(m_site);
        CKestraneDlg dialog;
        bool progress_shown = false;
        when_modal_opens([&](QWidget* main) {
            click(main, "1024");
            child<QComboBox>(main, "1023")->setCurrentIndex(0);
            click(main, "1027");
            child<QLineEdit>(main, "1004")->setText("1.0");
            when_modal_of_type_opens<ProgressWindow>([&](ProgressWindow* progress) {
                progress_shown = true;
                meanwhile(main, progress);
            });
            click(main, button);
            EXPECT_TRUE(progress_shown);
            click(main, "1003");
        });
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    }

    const std::string m_site = m_work.file("web");
};

} // namespace

TEST_F(OneJob, WhileAWrapRunsNothingElseStartsAndNoWindowCloses)
{
    const std::string log = m_work.file("archiver.log");
    place_archiver("echo run >> \"" + log + "\"\nsleep 0.8\nexec \"" + QStandardPaths::findExecutable("tar").toStdString()
                   + "\" \"$@\"\n");
    MessageRecorder recorder;
    wrap_with("1026", [](QWidget* main, ProgressWindow* progress) {
        press_key(progress, Qt::Key_Escape);
        progress->close();
        click(main, "1026"); // "org -> wrp" again
        click(main, "1012");
        click(main, "1003"); // "Close"
        for (const char* command : {"32771", "32772", "32773", "32776", "16"}) // Exit, the other dialogs
            child<QAction>(main, command)->trigger();
        EXPECT_TRUE(progress->isVisible());
        EXPECT_TRUE(main->isVisible());
    });
    EXPECT_EQ(recorder.messages(), std::vector<std::string>{"wrapping file success. [path:" + m_site + ".wrp]"});
    EXPECT_EQ(read_bytes(log), bytes_of("run\n")); // one archiver run
    const ProcessResult listing = run_process("tar", {"-tf", "-"}, [&] {
        const Bytes file = read_bytes(m_site + ".wrp");
        return Bytes(file.begin() + 140, file.end() - 16);
    }());
    EXPECT_EQ(lines_of(listing.standard_output), (std::vector<std::string>{"./", "./index.html"}));
}

TEST_F(OneJob, CancelEndsTheWrapAsAFailureAndLeavesTheEarlierFiles)
{
    place_archiver("exec sleep 30\n");
    write_text(m_site + ".wrp", "last week's wrapped file");
    write_text(m_site + ".wrp-Acme.enc", "last week's package");
    const std::vector<std::string> entries = m_work.entries();
    MessageRecorder recorder;
    QElapsedTimer timer;
    timer.start();
    wrap_with("1012", [](QWidget*, ProgressWindow* progress) { click(progress, "2"); });
    EXPECT_LT(timer.elapsed(), 10000); // the archiver was ended, not waited out
    EXPECT_EQ(recorder.messages(), std::vector<std::string>{"Fail with error code[-20]"});
    EXPECT_EQ(m_work.entries(), entries); // no temporary archive
    EXPECT_EQ(read_bytes(m_site + ".wrp"), bytes_of("last week's wrapped file"));
    EXPECT_EQ(read_bytes(m_site + ".wrp-Acme.enc"), bytes_of("last week's package"));
}
