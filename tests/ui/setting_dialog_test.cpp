#include "ui/setting_dialog.h"

#include "crypt/sealing_key.h"
#include "settings/settings_store.h"
#include "dialog_test_support.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace kestrane;
using namespace kestrane::test;

namespace {

using SettingDialog = DialogTest;

// Opens the Setting dialog, reports the check box state it showed, optionally ticks it, and ends
// it with the button of the given id (ids::kOk Save, ids::kCancel Cancel).
int run_setting(DialogFrontEnd& front, bool tick, const char* button, bool* shown_ticked)
{
    CSettingDlg dialog(front);
    when_modal_opens([&](QWidget* modal) {
        auto* box = child<QCheckBox>(modal, ids::setting::kUseNewEncryptCheck);
        *shown_ticked = box->isChecked();
        if (tick)
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        child<QPushButton>(modal, button)->click();
    });
    return dialog.exec();
}

} // namespace

TEST_F(SettingDialog, SaveStoresTheBoxCancelStoresNothing)
{
    ScriptedFrontEnd front;
    bool ticked = true;
    EXPECT_EQ(run_setting(front, false, ids::kOk, &ticked), QDialog::Accepted);
    EXPECT_FALSE(ticked); // nothing stored: clear
    EXPECT_EQ(read_encrypt_mode_setting(), 0);
    EXPECT_TRUE(QSettings("Tev", QCoreApplication::applicationName()).contains("MODE/new_encrypt")); // 0 written

    EXPECT_EQ(run_setting(front, true, ids::kCancel, &ticked), QDialog::Rejected);
    EXPECT_EQ(read_encrypt_mode_setting(), 0);

    EXPECT_EQ(run_setting(front, true, ids::kOk, &ticked), QDialog::Accepted);
    EXPECT_FALSE(ticked);
    EXPECT_EQ(read_encrypt_mode_setting(), 1);

    EXPECT_EQ(run_setting(front, false, ids::kCancel, &ticked), QDialog::Rejected);
    EXPECT_TRUE(ticked); // reopened with the stored choice

    EXPECT_EQ(run_setting(front, true, ids::kOk, &ticked), QDialog::Accepted); // untick and save
    EXPECT_EQ(read_encrypt_mode_setting(), 0);

    EXPECT_EQ(front.messages(), std::vector<std::string>(3, "Save setting value"));
    EXPECT_EQ(front.icons(), std::vector<MessageIcon>(3, MessageIcon::Exclamation));
}

TEST_F(SettingDialog, EnterSavesEscapeCancels)
{
    ScriptedFrontEnd front;
    write_encrypt_mode_setting(1);
    {
        CSettingDlg dialog(front);
        when_modal_opens([&](QWidget* modal) {
            QTest::mouseClick(child<QCheckBox>(modal, ids::setting::kUseNewEncryptCheck), Qt::LeftButton, {},
                              QPoint(6, 6));
            press_key(modal, Qt::Key_Escape);
        });
        EXPECT_EQ(dialog.exec(), QDialog::Rejected);
        EXPECT_EQ(read_encrypt_mode_setting(), 1);
    }
    CSettingDlg dialog(front);
    when_modal_opens([&](QWidget* modal) {
        QTest::mouseClick(child<QCheckBox>(modal, ids::setting::kUseNewEncryptCheck), Qt::LeftButton, {}, QPoint(6, 6));
        press_key(modal, Qt::Key_Return);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_nUseNewEncrypt, 0);
    EXPECT_EQ(read_encrypt_mode_setting(), 0);
    EXPECT_EQ(front.messages(), std::vector<std::string>{"Save setting value"});
}

// A profile that cannot be written: Save says so instead of "Save setting value", and the dialog
// stays open until Cancel.
TEST_F(SettingDialog, FailedSaveIsNotReportedAsSaved)
{
    write_text(m_work.file("plain-file"), "");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(m_work.file("plain-file")));
    ScriptedFrontEnd front;
    CSettingDlg dialog(front);
    when_modal_opens([&](QWidget* modal) {
        child<QPushButton>(modal, ids::kOk)->click();
        EXPECT_TRUE(modal->isVisible());
        child<QPushButton>(modal, ids::kCancel)->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(front.messages(), std::vector<std::string>{"Could not save setting value"});
}

TEST(AboutBox, ShowsNameAndClosesWithItsButton)
{
    CAboutBoxDlg dialog;
    when_modal_opens([&](QWidget* modal) {
        EXPECT_EQ(modal->windowTitle(), "Kestrane 정보");
        QStringList texts;
        for (QLabel* label : modal->findChildren<QLabel*>())
            if (!label->text().isEmpty())
                texts << label->text();
        // The tests carry the development key.
        const std::string_view fingerprint = sealing_key_fingerprint();
        EXPECT_EQ(texts,
                  (QStringList{"Kestrane", "Version 1.2.3.0",
                               "Sealing key fingerprint (SHA-256):\n" + QString::fromLatin1(fingerprint.data(), 64),
                               "This program carries the development sealing key: not for release."}));
        auto* ok = child<QPushButton>(modal, ids::kOk);
        EXPECT_EQ(ok->text(), "확인");
        ok->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
}
