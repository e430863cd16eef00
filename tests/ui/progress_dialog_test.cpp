#include "ui/progress_dialog.h"

#include "common/progress.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

#include <thread>

using namespace kestrane;

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
                if (auto* dialog = qobject_cast<QProgressDialog*>(widget); dialog && dialog->isVisible()) {
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
        EXPECT_FALSE(qobject_cast<QProgressDialog*>(widget) && widget->isVisible()) << "dialog left open";
}
