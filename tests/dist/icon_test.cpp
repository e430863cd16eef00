#include "common/program_directory.h"
#include "support/test_support.h"
#include "ui/dialog_front_end.h"
#include "ui/main_dialog.h"
#include "ui/setting_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QSettings>

using namespace kestrane;
using namespace kestrane::test;

namespace {

// The program's own mark at 32 pixels: a white chip on a blue plate, not a stock icon.
bool is_kestrane_mark(const QImage& image)
{
    if (image.size() != QSize(32, 32))
        return false;
    const QColor plate = image.pixelColor(3, 16);
    const QColor chip = image.pixelColor(10, 10);
    return plate.blue() > plate.red() + 60 && chip.lightness() > 240;
}

} // namespace

TEST(ApplicationIcon, ShownByTheWindowAndTheAboutBox)
{
    TempDir profile, program;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(profile.path()));
    set_program_directory(program.path());

    DialogFrontEnd front; // the window is not shown: nothing is asked of it
    CKestraneDlg window(front);
    EXPECT_TRUE(is_kestrane_mark(window.windowIcon().pixmap(32, 32).toImage()));
    CAboutBoxDlg about;
    const auto* picture = about.findChild<QLabel*>();
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(is_kestrane_mark(picture->pixmap().toImage()));
    set_program_directory("");
}
