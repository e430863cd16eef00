#include "ui/input_version_dialog.h"

#include "common/messages.h"
#include "support/ui_test_support.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace kestrane;
using namespace kestrane::test;

TEST(InputVersionDialog, EmptyVersionIsRefusedThenTypedVersionAccepted)
{
    MessageRecorder recorder;
    CInputVersionDlg dialog;
    dialog.m_strPath = "/fw/web";
    when_modal_opens([&](QWidget* modal) {
        auto* path = modal->findChild<QLineEdit*>("1032");
        auto* version = modal->findChild<QLineEdit*>("1004");
        auto* wrapping = modal->findChild<QPushButton*>("1031");
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
    EXPECT_EQ(recorder.messages(), std::vector<std::string>{"Input version"});
}

TEST(InputVersionDialog, EnterAndEscapeChangeNothingCancelCancels)
{
    CInputVersionDlg dialog;
    when_modal_opens([&](QWidget* modal) {
        auto* version = modal->findChild<QLineEdit*>("1004");
        QTest::keyClicks(version, "2.0");
        press_key(version, Qt::Key_Return);
        press_key(version, Qt::Key_Escape);
        press_key(modal->findChild<QPushButton*>("1031"), Qt::Key_Enter);
        EXPECT_TRUE(modal->isVisible());
        modal->findChild<QPushButton*>("1003")->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(dialog.m_strVersion.isEmpty());
}

TEST(InputVersionDialog, LongVersionIsAcceptedHere)
{
    CInputVersionDlg dialog;
    when_modal_opens([&](QWidget* modal) {
        QTest::keyClicks(modal->findChild<QLineEdit*>("1004"), QString(25, '9'));
        modal->findChild<QPushButton*>("1031")->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_strVersion, QString(25, '9'));
}
