#include "ui/input_version_dialog.h"

#include "scripted_front_end.h"
#include "support/ui_test_support.h"
#include "ui/control_ids.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace kestrane;
using namespace kestrane::test;

TEST(InputVersionDialog, EmptyVersionIsRefusedThenTypedVersionAccepted)
{
    ScriptedFrontEnd front;
    CInputVersionDlg dialog(front);
    dialog.m_strPath = "/fw/web";
    when_modal_opens([&](QWidget* modal) {
        auto* path = modal->findChild<QLineEdit*>(ids::input_version::kPathEdit);
        auto* version = modal->findChild<QLineEdit*>(ids::input_version::kVersionEdit);
        auto* wrapping = modal->findChild<QPushButton*>(ids::input_version::kWrappingButton);
        ASSERT_TRUE(path && version && wrapping);
        EXPECT_EQ(path->text(), "/fw/web");
        wrapping->click();
        EXPECT_TRUE(modal->isVisible());
        EXPECT_EQ(path->text(), "/fw/web");
        QTest::keyClicks(version, "1.5.2");
        wrapping->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_strVersion, "1.5.2");
    EXPECT_EQ(front.messages(), std::vector<std::string>{"Input version"});
}

TEST(InputVersionDialog, EnterAndEscapeChangeNothingCancelCancels)
{
    ScriptedFrontEnd front;
    CInputVersionDlg dialog(front);
    when_modal_opens([&](QWidget* modal) {
        auto* version = modal->findChild<QLineEdit*>(ids::input_version::kVersionEdit);
        QTest::keyClicks(version, "2.0");
        press_key(version, Qt::Key_Return);
        press_key(version, Qt::Key_Escape);
        press_key(modal->findChild<QPushButton*>(ids::input_version::kWrappingButton), Qt::Key_Enter);
        EXPECT_TRUE(modal->isVisible());
        modal->findChild<QPushButton*>(ids::input_version::kCancelButton)->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(dialog.m_strVersion.isEmpty());
}

TEST(InputVersionDialog, LongVersionIsAcceptedHere)
{
    ScriptedFrontEnd front;
    CInputVersionDlg dialog(front);
    when_modal_opens([&](QWidget* modal) {
        QTest::keyClicks(modal->findChild<QLineEdit*>(ids::input_version::kVersionEdit), QString(25, '9'));
        modal->findChild<QPushButton*>(ids::input_version::kWrappingButton)->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_strVersion, QString(25, '9'));
}
