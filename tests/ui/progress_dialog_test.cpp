#include "ui/progress_dialog.h"

#include "common/progress.h"
#include "dialog_test_support.h"
#include "ops/wrapping_jobs.h"
#include "wrap/wrapping.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <thread>

using namespace kestrane;
using namespace kestrane::test;

TEST(ProgressDialog, LongWorkShowsTheDialogAndKeepsEventsFlowing)
{
    DialogFrontEnd front;
    QWidget window;
    window.show();
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);

    bool dialog_seen = false;
    QString label;
    {
        Progress progress("Wrapping big.bin", 100, front.progress());
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
    EXPECT_TRUE(dialog_seen);
    EXPECT_EQ(label, "Wrapping big.bin");
    // The work ran on this thread for about 0.9 s; events went on after the dialog appeared.
    EXPECT_GT(ticks, 5);
    for (QWidget* widget : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<ProgressWindow*>(widget) && widget->isVisible()) << "dialog left open";
}

// The archiver's end used to be noticed inside the progress window's event handling now and then,
// after which the wait for it never ended. Event handling that takes its time and handles further
// events (as painting on a real display does) made that likely.
using SlowWork = DialogTest;

TEST_F(SlowWork, DirectoryWrapEndsWhileTheProgressWindowHandlesEvents)
{
    const std::string web = make_web(m_work, "web", WebImage::LeftOut);
    place_archiver("sleep 0.8\n" + exec_tar());
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
    for (int run = 0; run < 4; ++run) {
        ScriptedFrontEnd front;
        front.show_progress_windows();
        ASSERT_EQ(wrap_source(front, {kWrapWebPage, "1.0", web, web + ".wrp"}), 1);
        EXPECT_EQ(front.messages(), std::vector<std::string>{"wrapping file success. [path:" + web + ".wrp]"});
    }
}
