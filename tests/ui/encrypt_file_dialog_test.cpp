#include "ui/encrypt_file_dialog.h"
#include "ui/dialog_chains.h"
#include "ui/generate_key_dialog.h"

#include "common/file_io.h"
#include "crypt/company_key_file.h"
#include "dialog_test_support.h"
#include "settings/settings_store.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace kestrane;
using namespace kestrane::test;

namespace {

class EncryptFileDialog : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Acme", acme), 1);
        ASSERT_EQ(write_company_key_file("0000B1B2B3B4B5B6", "Beta", beta), 1);
    }

    const std::string acme = m_work.file("acme.wrp");
    const std::string beta = m_work.file("beta.wrp");
    const std::string default_key = m_program.file("vid-tev.wrp");
};

} // namespace

TEST_F(EncryptFileDialog, PresetSourceWithTheDefaultKeyFile)
{
    ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Acme", default_key), 1);
    const Bytes firmware = plain_tagged_bytes("FRM0", pattern_bytes(3000, 7));
    const std::string source = file("fw.wrp", firmware);
    ScriptedFrontEnd front;
    CEncryptFileDlg dialog(front);
    dialog.m_strPresetSource = QString::fromStdString(source);
    when_modal_opens([&](QWidget* modal) {
        EXPECT_EQ(text(modal, ids::encrypt::kKeyFileEdit).toStdString(), default_key);
        EXPECT_EQ(text(modal, ids::encrypt::kCompanyEdit), "Acme");
        EXPECT_TRUE(child<QLineEdit>(modal, ids::encrypt::kCompanyEdit)->isReadOnly());
        EXPECT_EQ(text(modal, ids::encrypt::kSourceEdit).toStdString(), source);
        EXPECT_EQ(text(modal, ids::encrypt::kDestEdit).toStdString(), source + "-Acme.enc");
        QTest::keyClick(child<QLineEdit>(modal, ids::encrypt::kDestEdit), Qt::Key_Return); // does nothing
        click(modal, ids::encrypt::kEncryptButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(front.messages(), std::vector<std::string>{"Success to encrypt file for tev"});
    EXPECT_TRUE(package_matches(read_bytes(source + "-Acme.enc"), firmware, "ENCR", "Acme", kAcmeKey));
}

TEST_F(EncryptFileDialog, NoKeyFileUntilOneIsSelectedThenRawIsEnc1)
{
    const Bytes raw = plain_tagged_bytes("RAW0", pattern_bytes(500, 3));
    const std::string source = file("raw.wrp", raw);
    const std::string not_a_key = file("fw.wrp", plain_tagged_bytes("FRM0", pattern_bytes(10, 1)));
    ScriptedFrontEnd front;
    front.choose(not_a_key);
    front.choose(acme);
    front.choose(source);
    CEncryptFileDlg dialog(front);
    when_modal_opens([&](QWidget* modal) {
        EXPECT_EQ(text(modal, ids::encrypt::kCompanyEdit), "");
        click(modal, ids::encrypt::kBrowseSourceButton); // no company yet: refused before any chooser
        click(modal, ids::encrypt::kSelectKeyFileButton);
        EXPECT_EQ(text(modal, ids::encrypt::kKeyFileEdit).toStdString(), default_key);
        click(modal, ids::encrypt::kSelectKeyFileButton);
        EXPECT_EQ(text(modal, ids::encrypt::kKeyFileEdit).toStdString(), acme);
        EXPECT_EQ(text(modal, ids::encrypt::kCompanyEdit), "Acme");
        EXPECT_EQ(text(modal, ids::encrypt::kSourceEdit), ""); // no source: nothing re-proposed, nothing reported
        click(modal, ids::encrypt::kBrowseSourceButton);
        EXPECT_EQ(text(modal, ids::encrypt::kDestEdit).toStdString(), source + "-Acme.enc");
        click(modal, ids::encrypt::kEncryptButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(front.messages(),
              (std::vector<std::string>{"Could not load vid from vid.wrp", "Input brand name", "Not company key file",
                                        "Success to encrypt file for tev"}));
    EXPECT_EQ(read_key_file_path_setting("none"), acme); // stored once accepted
    EXPECT_TRUE(package_matches(read_bytes(source + "-Acme.enc"), raw, "ENC1", "Acme", kAcmeKey));

    ASSERT_EQ(front.requests.size(), 3u);
    for (const ChooserRequest& request : front.requests) {
        EXPECT_EQ(request.kind, ChooserKind::OpenFile);
        EXPECT_EQ(request.title, "Select file");
        EXPECT_EQ(request.filter, "Wrp file(*.wrp)|*.wrp|All files|*.*|");
    }
    EXPECT_EQ(front.requests[0].initial_path.toStdString(), default_key);
    EXPECT_EQ(front.requests[1].initial_path.toStdString(), default_key);
    EXPECT_EQ(front.requests[2].initial_path, "");
}

TEST_F(EncryptFileDialog, RequiredCompanyAndPackageFile)
{
    write_key_file_path_setting(acme);
    const Bytes package = plain_tagged_bytes("PKG0", pattern_bytes(1500, 9));
    const std::string source = file("set-K1.0.wrp", package);
    const std::string upper_beta = m_work.file("upper-beta.wrp"); // letter case alone makes another company
    ASSERT_EQ(write_company_key_file("0000B1B2B3B4B5B6", "BETA", upper_beta), 1);
    ScriptedFrontEnd front;
    front.choose(upper_beta);
    front.choose(beta);
    CEncryptFileDlg dialog(front);
    dialog.m_strPresetSource = QString::fromStdString(source);
    dialog.m_strRequiredCompany = "Beta";
    when_modal_opens([&](QWidget* modal) {
        EXPECT_EQ(text(modal, ids::encrypt::kDestEdit).toStdString(), source + "-Acme.pkg");
        click(modal, ids::encrypt::kEncryptButton);
        EXPECT_TRUE(modal->isVisible());
        click(modal, ids::encrypt::kSelectKeyFileButton);
        click(modal, ids::encrypt::kEncryptButton);
        EXPECT_TRUE(modal->isVisible());
        click(modal, ids::encrypt::kSelectKeyFileButton); // the destination follows the new company
        EXPECT_EQ(text(modal, ids::encrypt::kDestEdit).toStdString(), source + "-Beta.pkg");
        click(modal, ids::encrypt::kEncryptButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(front.messages(),
              (std::vector<std::string>{"Doesn't match brand name with [Beta]", "Doesn't match brand name with [Beta]",
                                        "Success to encrypt file for tev"}));
    EXPECT_FALSE(path_exists(source + "-Acme.pkg"));
    EXPECT_FALSE(path_exists(source + "-BETA.pkg"));
    EXPECT_TRUE(package_matches(read_bytes(source + "-Beta.pkg"), package, "ENCR", "Beta", kBetaKey));
}

TEST_F(EncryptFileDialog, EncryptChecksInOrderAndDestinationChooser)
{
    const std::string long_name = m_work.file("long.wrp");
    ASSERT_EQ(write_company_key_file("0000A1A2A3A4A5A6", "Seventeen-chars!!", long_name), 1);
    write_key_file_path_setting(long_name);
    write_encrypt_mode_setting(1);
    const Bytes firmware = plain_tagged_bytes("FRM0", pattern_bytes(700, 2));
    const std::string source = file("fw.wrp", firmware);
    Bytes sealed = firmware;
    std::copy_n("ENCR", 4, sealed.begin() + 4);
    const std::string encrypted = file("fw.enc", sealed);
    const std::string dest = m_work.file("out/new.enc");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(m_work.file("out"))));

    ScriptedFrontEnd front;
    front.choose(acme);
    front.choose(dest);
    CEncryptFileDlg dialog(front);
    dialog.m_strPresetSource = QString::fromStdString(m_work.file("missing.wrp"));
    when_modal_opens([&](QWidget* modal) {
        EXPECT_EQ(text(modal, ids::encrypt::kCompanyEdit), "Seventeen-chars!!");
        EXPECT_EQ(text(modal, ids::encrypt::kSourceEdit), "");
        click(modal, ids::encrypt::kEncryptButton); // missing source before the long name
        child<QLineEdit>(modal, ids::encrypt::kSourceEdit)->setText(QString::fromStdString(source));
        click(modal, ids::encrypt::kEncryptButton); // long name
        click(modal, ids::encrypt::kSelectKeyFileButton);
        child<QLineEdit>(modal, ids::encrypt::kSourceEdit)->setText(QString::fromStdString(encrypted));
        child<QLineEdit>(modal, ids::encrypt::kDestEdit)->setText(QString::fromStdString(encrypted + "-Acme.enc"));
        click(modal, ids::encrypt::kEncryptButton); // already encrypted
        child<QLineEdit>(modal, ids::encrypt::kSourceEdit)->setText(QString::fromStdString(source));
        click(modal, ids::encrypt::kBrowseDestButton);
        EXPECT_EQ(text(modal, ids::encrypt::kDestEdit).toStdString(), dest);
        click(modal, ids::encrypt::kEncryptButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(front.messages(),
              (std::vector<std::string>{"Path[" + m_work.file("missing.wrp") + "] is invalid", "don't exists file",
                                        "Brand error", "encrypt_package() Failed with error [-1]",
                                        "Success to encrypt file for tev"}));
    ASSERT_EQ(front.requests.size(), 2u);
    EXPECT_EQ(front.requests[1].kind, ChooserKind::SaveFile);
    EXPECT_EQ(front.requests[1].filter, "Src File|*||");
    EXPECT_EQ(front.requests[1].initial_path.toStdString(), encrypted + "-Acme.enc");
    EXPECT_FALSE(path_exists(encrypted + "-Acme.enc"));
    EXPECT_TRUE(package_matches(read_bytes(dest), firmware, "ENC1", "Acme", kAcmeKey));
}

TEST_F(EncryptFileDialog, GenerateChainOpensTheEncryptDialogForTheNewKeyFile)
{
    ASSERT_EQ(write_company_key_file("0000B1B2B3B4B5B6", "Beta", default_key), 1);
    const std::string dest = m_work.file("new.wrp");
    ScriptedFrontEnd front;
    when_modal_of_type_opens<CGenerateKeyDlg>([&](CGenerateKeyDlg* modal) {
        child<QLineEdit>(modal, ids::encrypt::kDestEdit)->setText(QString::fromStdString(dest));
        QTest::keyClicks(child<QLineEdit>(modal, ids::encrypt::kSourceEdit), "0a0b0c0d0e0f");
        QTest::keyClicks(child<QLineEdit>(modal, ids::encrypt::kCompanyEdit), "Gamma");
        when_modal_of_type_opens<CEncryptFileDlg>([&](CEncryptFileDlg* second) {
            EXPECT_EQ(text(second, ids::encrypt::kSourceEdit).toStdString(), dest);
            EXPECT_EQ(text(second, ids::encrypt::kDestEdit).toStdString(), dest + "-Beta.enc");
            click(second, ids::encrypt::kEncryptButton);
        });
        click(modal, ids::encrypt::kEncryptButton);
    });
    EXPECT_TRUE(run_generate_company_key(front, nullptr));
    EXPECT_EQ(front.messages(), (std::vector<std::string>{"Success", "Success to encrypt file for tev"}));
    // The new company key file travels encrypted for the current company.
    EXPECT_TRUE(package_matches(read_bytes(dest + "-Beta.enc"), read_bytes(dest), "ENCR", "Beta", kBetaKey));

    when_modal_of_type_opens<CGenerateKeyDlg>(
        [&](CGenerateKeyDlg* modal) { click(modal, ids::encrypt::kCloseButton); });
    EXPECT_FALSE(run_generate_company_key(front, nullptr));
}

TEST_F(EncryptFileDialog, TypedCompanyKeyIsLoadedWhenTheFieldIsLeft)
{
    const std::string source = file("fw.wrp", plain_tagged_bytes("FRM0", pattern_bytes(300, 2)));
    write_key_file_path_setting(acme);
    ScriptedFrontEnd front;
    CEncryptFileDlg dialog(front);
    dialog.m_strPresetSource = QString::fromStdString(source);
    when_modal_opens([&](QWidget* modal) {
        EXPECT_EQ(text(modal, ids::encrypt::kDestEdit).toStdString(), source + "-Acme.enc");
        type_over_and_leave(child<QLineEdit>(modal, ids::encrypt::kKeyFileEdit), QString::fromStdString(beta),
                            child<QLineEdit>(modal, ids::encrypt::kSourceEdit));
        EXPECT_EQ(text(modal, ids::encrypt::kCompanyEdit), "Beta");
        EXPECT_EQ(text(modal, ids::encrypt::kDestEdit).toStdString(), source + "-Beta.enc");
        click(modal, ids::encrypt::kCloseButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(read_key_file_path_setting("none"), beta);
}
