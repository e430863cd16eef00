// Entry point of the dialog tests: a QApplication on the offscreen platform, a watchdog against
// windows nobody answers, then GoogleTest (whose hangs CTest's time limit ends).
#include "support/ui_test_support.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    kestrane::test::install_modal_window_watchdog(5000);
    return RUN_ALL_TESTS();
}
