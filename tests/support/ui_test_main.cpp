// Entry point of the dialog tests: a QApplication on the offscreen platform, a watchdog against
// windows nobody answers, then GoogleTest.
#include "support/ui_test_support.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    // The tests answer their windows within milliseconds and each runs in a few seconds at most.
    kestrane::test::install_dialog_test_watchdog(5000, 30000);
    return RUN_ALL_TESTS();
}
