// The dialogs under hostile use: outputs named after their own inputs, the longest version.

#include "ui/encrypt_file_dialog.h"
#include "ui/main_dialog.h"

#include "crypt/company_key_file.h"
#include "dialog_test_support.h"
#include "settings/settings_store.h"

#include <QComboBox>
#include <QLineEdit>

using namespace kestrane;
using namespace kestrane::test;

// The encrypt-file dialog writes where its destination field says: not over the company key file.
TEST_F(DialogTest, EncryptFileDialogKeepsTheKeyFileItEncryptsWith)
{
    const std::string key = m_work.file("acme.wrp");
    ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Acme", key), 1);
    const Bytes key_bytes = read_bytes(key);
    write_key_file_path_setting(key);
    const std::string source = file("fw.wrp", plain_tagged_bytes("FRM0", pattern_bytes(700, 2)));
    ScriptedFrontEnd front;
    CEncryptFileDlg dialog(front);
    dialog.m_strPresetSource = QString::fromStdString(source);
    when_modal_opens([&](QWidget* modal) {
        child<QLineEdit>(modal, ids::encrypt::kDestEdit)->setText(QString::fromStdString(key));
        click(modal, ids::encrypt::kEncryptButton);
        dialog.reject();
    });
    dialog.exec();
    EXPECT_EQ(front.messages(), std::vector<std::string>{"Output would overwrite an input[path:" + key + "]"});
    EXPECT_EQ(read_bytes(key), key_bytes);
}

// The wrapped file's information field holds 20 version bytes: "org -> wrp" takes exactly that many.
TEST_F(DialogTest, MainDialogWrapsAVersionOfTwentyBytes)
{
    const std::string version(20, '7');
    const Bytes cabinet = pattern_bytes(900, 3);
    const std::string source = file("viewer.cab", cabinet);
    ScriptedFrontEnd front;
    CKestraneDlg dialog(front);
    when_modal_opens([&](QWidget* modal) {
        front.clear();
        child<QComboBox>(modal, ids::main_dialog::kTypeCombo)->setCurrentIndex(3); // OCX
        child<QLineEdit>(modal, ids::main_dialog::kSourcePathEdit)->setText(QString::fromStdString(source));
        child<QLineEdit>(modal, ids::main_dialog::kVersionEdit)->setText(QString::fromStdString(version));
        click(modal, ids::main_dialog::kWrapButton);
        click(modal, ids::main_dialog::kCloseButton);
    });
    dialog.exec();
    ASSERT_FALSE(front.messages().empty());
    EXPECT_EQ(front.messages().front(), "wrapping file success. [path:" + source + ".wrp]");
    const Bytes wrapped = read_bytes(source + ".wrp");
    ASSERT_EQ(wrapped.size(), 156 + cabinet.size());
    EXPECT_EQ(text_at(wrapped, 12, 8) + text_at(wrapped, 52, 12), version);
}
