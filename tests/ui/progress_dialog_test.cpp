#include "ui/progress_dialog.h"

#include "common/messages.h"
#include "common/paths.h"
#include "common/progress.h"
#include "dialog_test_support.h"
#include "wrap/wrapping.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>

#include <thread>

using namespace kestrane;
using namespace kestrane::test;

TEST(ProgressDialog, LongWorkShowsTheDialogAndKeepsEventsFlowing)
{
    install_progress_dialog_presenter();
    QWidget window;
    window.show();
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);

    bool dialog_seen = false;
    QString label;
    {
        Progress progress("Wrapping big.bin", 100);
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(9));
            progress.advance(1);
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* dialog = qobject_cast<ProgressWindow*>(widget); dialog && dialog->isVisible()) {
                    dialog_seen = true;
                    label = dialog->labelText();
                    EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
                }
            }
        }
    }
    install_progress_presenter(nullptr);
    EXPECT_TRUE(dialog_seen);
    EXPECT_EQ(label, "Wrapping big.bin");
    // The work ran on this thread for about 0.9 s; events went on after the dialog appeared.
    EXPECT_GT(ticks, 5);
    for (QWidget* widget : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<ProgressWindow*>(widget) && widget->isVisible()) << "dialog left open";
}

namespace {

// Work long enough to show the progress dialog: a directory wrap whose archiver (`tar` in the
// program directory) starts the real one after a pause.
class SlowWork : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        install_progress_dialog_presenter();
        QDir().mkpath(QString::fromStdString(m_site));
        write_text(m_site + "/index.html", "<html></html>");
    }
    void TearDown() override
    {
        install_progress_presenter(nullptr);
        DialogTest::TearDown();
    }

    void place_archiver(const std::string& script)
    {
        const std::string path = m_program.file("tar");
        write_text(path, "#!/bin/sh\n" + script);
        QFile::setPermissions(QString::fromStdString(path), QFile::ReadOwner | QFile::ExeOwner);
    }
    static std::string system_tar() { return QStandardPaths::findExecutable("tar").toStdString(); }

    const std::string m_site = m_work.file("web");
};

} // namespace

// The archiver's end used to be noticed inside the dialog's event processing now and then, after
// which the wait for it never ended. Event handling that takes its time and handles further events
// (as painting on a real display does) made that likely.
TEST_F(SlowWork, DirectoryWrapEndsWhileTheDialogProcessesEvents)
{
    place_archiver("sleep 0.8\nexec \"" + system_tar() + "\" \"$@\"\n");
    QTimer slow_events;
    bool handling = false;
    QObject::connect(&slow_events, &QTimer::timeout, [&handling] {
        if (std::exchange(handling, true))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        QCoreApplication::processEvents();
        handling = false;
    });
    slow_events.start(0);
    const std::string wrapped = m_work.file("web.wrp");
    for (int run = 0; run < 4; ++run) {
        MessageRecorder recorder;
        ASSERT_EQ(wrap_file(kWrapWebPage, "1.0", m_site, wrapped), 1);
        EXPECT_EQ(recorder.messages(), std::vector<std::string>{"wrapping file success. [path:" + wrapped + "]"});
        EXPECT_EQ(m_work.entries(), (std::vector<std::string>{"web", "web.wrp"}));
    }
}
