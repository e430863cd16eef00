#include "ui/generate_key_dialog.h"

#include "common/file_io.h"
#include "dialog_test_support.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace kestrane;
using namespace kestrane::test;

namespace {

using GenerateKeyDialog = DialogTest;

// The company key file as it must be: "VID0", "PLAN", 128 zero bytes, L, the key (two zero bytes,
// then the typed digits), the name, and the MD5 of all that (checked with openssl).
void expect_key_file(const std::string& path, const std::string& key_hex, const std::string& name)
{
    const Bytes file = read_bytes(path);
    ASSERT_EQ(file.size(), 156 + 8 + name.size());
    EXPECT_EQ(text_at(file, 0, 8), "VID0PLAN");
    EXPECT_TRUE(all_zero(file, 8, 128));
    EXPECT_EQ(to_hex(file.data() + 136, 4), to_hex(Bytes{static_cast<uint8_t>(8 + name.size()), 0, 0, 0}));
    EXPECT_EQ(to_hex(file.data() + 140, 8), "0000" + key_hex);
    EXPECT_EQ(text_at(file, 148, name.size()), name);
    EXPECT_EQ(to_hex(file.data() + file.size() - 16, 16), openssl_md5_hex(Bytes(file.begin(), file.end() - 16)));
}

} // namespace

TEST_F(GenerateKeyDialog, GenerateIsEnabledExactlyAtTwelveDigits)
{
    ScriptedFrontEnd front;
    CGenerateKeyDlg dialog(front);
    when_modal_opens([&](QWidget* modal) {
        auto* key = child<QLineEdit>(modal, ids::generate_key::kKeyEdit);
        auto* generate = child<QPushButton>(modal, ids::generate_key::kGenerateButton);
        EXPECT_FALSE(generate->isEnabled());
        QTest::keyClicks(key, "01020304050");
        EXPECT_FALSE(generate->isEnabled());
        QTest::keyClicks(key, "6");
        EXPECT_TRUE(generate->isEnabled());
        QTest::keyClicks(key, "7");
        EXPECT_EQ(key->text(), "010203040506");
        QTest::keyClick(key, Qt::Key_Backspace);
        EXPECT_FALSE(generate->isEnabled());
        QTest::keyClick(key, Qt::Key_Return); // does not end the dialog
        QTest::keyClick(key, Qt::Key_Escape);
        EXPECT_TRUE(modal->isVisible());
        child<QPushButton>(modal, ids::generate_key::kCloseButton)->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(dialog.m_strKey, "01020304050");
}

TEST_F(GenerateKeyDialog, MembersSetBeforeOpeningAreShown)
{
    ScriptedFrontEnd front;
    CGenerateKeyDlg dialog(front);
    dialog.m_strKey = "0a0b0c0d0e0f";
    dialog.m_strDestPath = "/keys/acme.wrp";
    dialog.m_strCompanyName = "Acme";
    when_modal_opens([&](QWidget* modal) {
        EXPECT_EQ(child<QLineEdit>(modal, ids::generate_key::kKeyEdit)->text(), "0a0b0c0d0e0f");
        EXPECT_EQ(child<QLineEdit>(modal, ids::generate_key::kDestEdit)->text(), "/keys/acme.wrp");
        EXPECT_EQ(child<QLineEdit>(modal, ids::generate_key::kCompanyEdit)->text(), "Acme");
        EXPECT_TRUE(child<QPushButton>(modal, ids::generate_key::kGenerateButton)->isEnabled());
        child<QPushButton>(modal, ids::generate_key::kCloseButton)->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(dialog.m_strDestPath, "/keys/acme.wrp");
    EXPECT_EQ(dialog.m_strCompanyName, "Acme");
}

TEST_F(GenerateKeyDialog, ChecksInOrderThenBadDigitsThenSuccess)
{
    ScriptedFrontEnd front;
    const std::string dest = m_work.file("acme.wrp");
    front.choose(dest);
    CGenerateKeyDlg dialog(front);
    dialog.m_strDestPath = "/start/here.wrp";
    when_modal_opens([&](QWidget* modal) {
        auto* key = child<QLineEdit>(modal, ids::generate_key::kKeyEdit);
        auto* path = child<QLineEdit>(modal, ids::generate_key::kDestEdit);
        auto* name = child<QLineEdit>(modal, ids::generate_key::kCompanyEdit);
        auto* generate = child<QPushButton>(modal, ids::generate_key::kGenerateButton);
        EXPECT_EQ(path->text(), "/start/here.wrp");
        path->clear();
        QTest::keyClicks(key, "01020304050G");
        generate->click(); // no destination, no name: the destination is reported
        child<QPushButton>(modal, ids::generate_key::kSelectPathButton)->click();
        EXPECT_EQ(path->text(), QString::fromStdString(dest));
        generate->click(); // no name
        QTest::keyClicks(name, "Acme");
        generate->click(); // G is no hexadecimal digit
        EXPECT_FALSE(path_exists(dest));
        EXPECT_TRUE(modal->isVisible());
        QTest::keyClick(key, Qt::Key_Backspace);
        QTest::keyClicks(key, "f");
        generate->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(front.messages(),
              (std::vector<std::string>{"Select target path", "Input brand", "Fail with Error code[-1]", "Success"}));
    ASSERT_EQ(front.requests.size(), 1u);
    const ChooserRequest& request = front.requests[0];
    EXPECT_EQ(request.kind, ChooserKind::SaveFile);
    EXPECT_EQ(request.title, "Select file");
    EXPECT_EQ(request.filter, "Dest File(*.wrp)|*.wrp||");
    EXPECT_EQ(request.default_suffix, "wrp");
    EXPECT_EQ(request.initial_path, "");
    EXPECT_EQ(dialog.m_strDestPath, QString::fromStdString(dest));
    expect_key_file(dest, "01020304050f", "Acme");
}

TEST_F(GenerateKeyDialog, CompanyNameHoldsSixteenBytes)
{
    ScriptedFrontEnd front;
    const std::string ascii = m_work.file("ascii.wrp");
    const std::string hangul = m_work.file("hangul.wrp");
    for (const auto& [dest, typed, kept] : {std::tuple{ascii, QString("ABCDEFGHIJKLMNOPQ"), std::string("ABCDEFGHIJKLMNOP")},
                                            std::tuple{hangul, QString("가나다라마바"), std::string("가나다라마")}}) {
        CGenerateKeyDlg dialog(front);
        dialog.m_strDestPath = QString::fromStdString(dest);
        when_modal_opens([&](QWidget* modal) {
            QTest::keyClicks(child<QLineEdit>(modal, ids::generate_key::kKeyEdit), "A1a2B3b4C5c6");
            type_text(child<QLineEdit>(modal, ids::generate_key::kCompanyEdit), typed);
            child<QPushButton>(modal, ids::generate_key::kGenerateButton)->click();
        });
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
        EXPECT_EQ(dialog.m_strCompanyName.toStdString(), kept);
        expect_key_file(dest, "a1a2b3b4c5c6", kept);
    }
    EXPECT_EQ(front.messages(), std::vector<std::string>(2, "Success"));
}
