#include "ui/main_dialog.h"

#include "common/file_io.h"
#include "common/progress.h"
#include "crypt/company_key_file.h"
#include "dialog_test_support.h"
#include "package_test_files.h"
#include "settings/settings_store.h"
#include "ui/encrypt_file_dialog.h"
#include "ui/generate_key_dialog.h"
#include "ui/packaging_files_dialog.h"
#include "ui/progress_dialog.h"
#include "ui/setting_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

using namespace kestrane;
using namespace kestrane::test;

namespace {

class MainDialog : public DialogTest {
protected:
    std::string key_file(const std::string& path, const std::string& digits, const std::string& company)
    {
        EXPECT_EQ(write_company_key_file("0000" + digits, company, path), 1);
        return path;
    }
    // The company key file the dialog falls back to, in the program directory.
    std::string default_key(const std::string& company = "Acme")
    {
        return key_file(m_program.file("vid_tev.wrp"), "A1A2A3A4A5A6", company);
    }

    static void command(QWidget* modal, const char* id) { child<QAction>(modal, id)->trigger(); }
    static void select_type(QWidget* modal, int type)
    {
        child<QComboBox>(modal, ids::main_dialog::kTypeCombo)->setCurrentIndex(type);
    }
    // Drags data onto the dialog and drops it there if the dialog takes it, as the platform does.
    // Whether it was taken.
    static bool drop(QWidget* modal, const QList<QUrl>& urls, const QString& text = {})
    {
        QMimeData data;
        if (!urls.isEmpty())
            data.setUrls(urls);
        if (!text.isEmpty())
            data.setText(text);
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        QApplication::sendEvent(modal, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent event(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(modal, &event);
        return true;
    }

    // Drops files on a control of the dialog, through the dialog's window as the platform does:
    // the window hands the drop to the control under it, or to the nearest parent that takes drops.
    // A file manager offers the files' URLs as text as well.
    static void drop_on(QWidget* modal, QWidget* control, const QList<QUrl>& urls)
    {
        QMimeData data;
        data.setUrls(urls);
        data.setText(urls.first().toString());
        const QPoint at = control->mapTo(modal, control->rect().center());
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(modal->windowHandle(), &enter);
        QDropEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(modal->windowHandle(), &event);
    }

    // In the main dialog: wraps the folder "web" as a web page of version 1.0 with `button`, the
    // progress window shown as in the program; once it shows, does `meanwhile` with it.
    void wrap_web(ScriptedFrontEnd& front, QWidget* modal, const char* button,
                  const std::function<void(ProgressWindow*)>& meanwhile)
    {
        front.show_progress_windows();
        front.choose(make_web(m_work, "web", WebImage::LeftOut));
        click(modal, ids::main_dialog::kToggleButton);
        select_type(modal, 0);
        click(modal, ids::main_dialog::kBrowseSourcePathButton);
        child<QLineEdit>(modal, ids::main_dialog::kVersionEdit)->setText("1.0");
        bool shown = false;
        when_modal_of_type_opens<ProgressWindow>([&](ProgressWindow* progress) {
            shown = true;
            meanwhile(progress);
        });
        click(modal, button);
        EXPECT_TRUE(shown);
        front.show_progress_windows(false);
    }

    // Runs the main dialog with `steps`, then closes it with "Close".
    void run(DialogFrontEnd& front, const std::function<void(QWidget*)>& steps)
    {
        CKestraneDlg dialog(front);
        when_modal_opens([&](QWidget* modal) {
            steps(modal);
            click(modal, ids::main_dialog::kCloseButton);
        });
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    }
};

} // namespace

TEST_F(MainDialog, OpensCollapsedWithoutKeyFileAndIgnoresEnterAndEscape)
{
    ScriptedFrontEnd front;
    run(front, [&](QWidget* modal) {
        EXPECT_EQ(modal->windowTitle(), "Kestrane(v1.2.3)");
        EXPECT_EQ(front.messages(), std::vector<std::string>{"Could not load vid from vid.wrp"});
        EXPECT_EQ(text(modal, ids::main_dialog::kKeyFileEdit).toStdString(), m_program.file("vid_tev.wrp"));
        EXPECT_EQ(text(modal, ids::main_dialog::kCompanyEdit), "");
        EXPECT_EQ(child<QLabel>(modal, ids::main_dialog::kModeLabel)->text(), "Current Encrypt mode : ENCR");

        auto* types = child<QComboBox>(modal, ids::main_dialog::kTypeCombo);
        ASSERT_EQ(types->count(), 10);
        EXPECT_EQ(types->itemText(0), "WebPage(DIR)");
        EXPECT_EQ(types->itemText(7), "Dome(DOV7760)");
        EXPECT_EQ(types->itemText(9), "RAW type");
        EXPECT_EQ(types->currentIndex(), -1);

        QStringList menus;
        for (QAction* menu : modal->findChild<QMenuBar*>()->actions())
            menus << menu->text();
        EXPECT_EQ(menus, (QStringList{"&File", "&Generate", "Option"}));
        EXPECT_EQ(child<QAction>(modal, ids::main_dialog::kExitCommand)->text(), "&Exit");
        EXPECT_EQ(child<QAction>(modal, ids::main_dialog::kGenerateKeyCommand)->text(), "Generate CompanyKey");
        EXPECT_EQ(child<QAction>(modal, ids::main_dialog::kPackagingCommand)->text(), "Packaging Files");
        EXPECT_EQ(child<QAction>(modal, ids::main_dialog::kSettingCommand)->text(), "Setting");
        EXPECT_EQ(child<QAction>(modal, ids::main_dialog::kAboutCommand)->text(), "Kestrane 정보(&A)...");

        // Collapsed to 270 pixels; ">>" restores the full height and back.
        auto* toggle = child<QPushButton>(modal, ids::main_dialog::kToggleButton);
        auto* wrapping = modal->findChild<QGroupBox*>();
        for (QGroupBox* group : modal->findChildren<QGroupBox*>())
            if (group->title() == "Wrapping && encrypt")
                wrapping = group;
        EXPECT_EQ(modal->height(), 270);
        EXPECT_EQ(toggle->text(), ">>");
        EXPECT_FALSE(wrapping->isVisible());
        toggle->click();
        const int full = modal->height();
        EXPECT_GT(full, 270);
        EXPECT_EQ(toggle->text(), "<<");
        EXPECT_TRUE(wrapping->isVisible());
        EXPECT_GE(full, modal->minimumSizeHint().height()); // nothing cut off
        toggle->click();
        EXPECT_EQ(modal->height(), 270);
        EXPECT_EQ(toggle->text(), ">>");
        toggle->click();
        EXPECT_EQ(modal->height(), full);

        press_key(child<QLineEdit>(modal, ids::main_dialog::kKeyFileEdit), Qt::Key_Return);
        press_key(child<QLineEdit>(modal, ids::main_dialog::kSourcePathEdit), Qt::Key_Escape);
        press_key(modal, Qt::Key_Escape);
        press_key(toggle, Qt::Key_Enter);
        EXPECT_TRUE(modal->isVisible());
        EXPECT_EQ(toggle->text(), "<<"); // Enter did not press it either

        // The About box from the Option menu.
        when_modal_of_type_opens<CAboutBoxDlg>([](CAboutBoxDlg* about) { click(about, ids::kOk); });
        command(modal, ids::main_dialog::kAboutCommand);
    });
    EXPECT_EQ(front.messages(), std::vector<std::string>{"Could not load vid from vid.wrp"});
}

TEST_F(MainDialog, KernelImageWrappedAndEncryptedThenAnExistingFileEncrypted)
{
    default_key();
    const std::string beta = key_file(m_work.file("beta.wrp"), "B1B2B3B4B5B6", "Beta");
    const Bytes image_data = pattern_bytes(5000, 21);
    const std::string kernel = m_work.file("image.krn");
    make_uimage(kernel, "Linux image HW 0000 1r2r3", image_data);
    const Bytes kernel_bytes = read_bytes(kernel);
    const Bytes package = plain_tagged_bytes("PKG0", pattern_bytes(2000, 8), "7.7");
    const std::string package_path = file("set-K7.7.wrp", package);
    const std::string not_a_key = file("plain.wrp", plain_tagged_bytes("FRM0", pattern_bytes(40, 1)));
    write_source_path_setting(m_work.file("earlier.krn"));

    ScriptedFrontEnd front;
    front.choose(kernel);
    front.choose(package_path);
    front.choose(not_a_key);
    front.choose(beta);
    run(front, [&](QWidget* modal) {
        EXPECT_EQ(text(modal, ids::main_dialog::kCompanyEdit), "Acme");
        click(modal, ids::main_dialog::kToggleButton);
        select_type(modal, 4); // Kernel
        click(modal, ids::main_dialog::kBrowseSourcePathButton);
        EXPECT_EQ(text(modal, ids::main_dialog::kSourcePathEdit).toStdString(), kernel);
        EXPECT_EQ(text(modal, ids::main_dialog::kVersionEdit), "1.2.3"); // from the image name, and locked
        EXPECT_FALSE(child<QLineEdit>(modal, ids::main_dialog::kVersionEdit)->isEnabled());
        click(modal, ids::main_dialog::kWrapAndEncryptButton);

        click(modal, ids::main_dialog::kBrowseSourceButton);
        EXPECT_EQ(text(modal, ids::main_dialog::kSourceVersionEdit), "7.7");
        EXPECT_EQ(text(modal, ids::main_dialog::kDestEdit).toStdString(), package_path + "-Acme.pkg");
        click(modal, ids::main_dialog::kEncryptButton);

        click(modal, ids::main_dialog::kBrowseKeyFileButton); // not a company key file: refused
        EXPECT_EQ(text(modal, ids::main_dialog::kCompanyEdit), "Acme");
        click(modal, ids::main_dialog::kBrowseKeyFileButton); // the destination follows the new company
        EXPECT_EQ(text(modal, ids::main_dialog::kKeyFileEdit).toStdString(), beta);
        EXPECT_EQ(text(modal, ids::main_dialog::kCompanyEdit), "Beta");
        EXPECT_EQ(text(modal, ids::main_dialog::kDestEdit).toStdString(), package_path + "-Beta.pkg");

        select_type(modal, 9); // empties source and version, leaves the field locked
        EXPECT_EQ(text(modal, ids::main_dialog::kSourcePathEdit), "");
        EXPECT_EQ(text(modal, ids::main_dialog::kVersionEdit), "");
        EXPECT_FALSE(child<QLineEdit>(modal, ids::main_dialog::kVersionEdit)->isEnabled());
    });
    const std::string wrapped = kernel + ".wrp";
    const std::string encrypted = wrapped + "-Acme.enc";
    EXPECT_EQ(front.messages(),
              (std::vector<std::string>{
                  "wrapping file success. [path:" + wrapped + "]", "Success to encrypt file. [path:" + encrypted + "]",
                  "Success to encrypt file. [path:" + package_path + "-Acme.pkg]", "Not company key file"}));
    EXPECT_EQ(read_source_path_setting(), kernel);
    EXPECT_EQ(read_key_file_path_setting("none"), beta);
    ASSERT_EQ(front.requests.size(), 4u);
    EXPECT_EQ(front.requests[0].kind, ChooserKind::OpenFile);
    EXPECT_EQ(front.requests[0].title, "Select file");
    EXPECT_EQ(front.requests[0].filter, "Kernel file(*.krn)|*.krn|All file|*.*|");
    EXPECT_EQ(front.requests[0].initial_path.toStdString(), m_work.file("earlier.krn"));
    EXPECT_NE(front.requests[0].parent, nullptr);
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(front.requests[i].filter, "Wrp file(*.wrp)|*.wrp|All files|*.*|");
        EXPECT_EQ(front.requests[i].parent, nullptr);
    }
    EXPECT_EQ(front.requests[3].initial_path.toStdString(), m_program.file("vid_tev.wrp"));

    EXPECT_TRUE(wrapped_as(wrapped, "FRM0", "", "1.2.3", &kernel_bytes));
    EXPECT_TRUE(package_matches(read_bytes(encrypted), read_bytes(wrapped), "ENCR", "Acme", kAcmeKey));
    EXPECT_TRUE(package_matches(read_bytes(package_path + "-Acme.pkg"), package, "ENCR", "Acme", kAcmeKey));
}

TEST_F(MainDialog, RefusalsInOrderAndNoEncryptionAfterAFailedWrap)
{
    const std::string long_name = key_file(m_program.file("vid_tev.wrp"), "A1A2A3A4A5A6", "Seventeen-chars!!");
    const std::string brand = file("bad.conf", bytes_of("no bracket"));
    const std::string wrapped = file("fw.wrp", plain_tagged_bytes("FRM0", pattern_bytes(300, 4)));
    const Bytes older = plain_tagged_bytes("BRD0", pattern_bytes(30, 5)); // a wrap refused with 0 leaves it
    write_bytes(brand + ".wrp", older);
    ScriptedFrontEnd front;
    run(front, [&](QWidget* modal) {
        front.clear();
        click(modal, ids::main_dialog::kToggleButton);
        for (const char* id : {ids::main_dialog::kBrowseSourcePathButton, ids::main_dialog::kWrapButton,
                               ids::main_dialog::kWrapAndEncryptButton})
            click(modal, id); // "Select file type"
        select_type(modal, 2); // Brand
        click(modal, ids::main_dialog::kWrapButton);                    // "Select source file"
        EXPECT_FALSE(drop(modal, {}, "just text"));                     // no files: refused
        EXPECT_FALSE(drop(modal, {QUrl("https://example.com/x.conf")})); // no local file: refused
        EXPECT_EQ(text(modal, ids::main_dialog::kSourcePathEdit), "");
        EXPECT_TRUE(drop(modal, {QUrl::fromLocalFile(QString::fromStdString(brand)), QUrl::fromLocalFile("/tmp")}));
        EXPECT_EQ(text(modal, ids::main_dialog::kSourcePathEdit).toStdString(), brand);
        EXPECT_TRUE(child<QLineEdit>(modal, ids::main_dialog::kVersionEdit)->isEnabled());
        click(modal, ids::main_dialog::kWrapAndEncryptButton); // "Input version"
        auto* version = child<QLineEdit>(modal, ids::main_dialog::kVersionEdit);
        type_text(version, "123456789012345678901");
        EXPECT_EQ(version->text(), "12345678901234567890"); // the 21st character is refused
        type_text(version, "가");
        EXPECT_EQ(version->text().size(), 20);
        click(modal, ids::main_dialog::kWrapAndEncryptButton); // the wrapping fails: no encryption
        version->setText("가나다라마바사"); // 7 characters, 21 bytes
        click(modal, ids::main_dialog::kWrapButton); // "Invalid version length(max 20)"
        // "Version error": refused with 0, and no encryption of the older file
        click(modal, ids::main_dialog::kWrapAndEncryptButton);

        click(modal, ids::main_dialog::kEncryptButton); // "don't exists file"
        child<QLineEdit>(modal, ids::main_dialog::kSourceEdit)->setText(QString::fromStdString(wrapped));
        click(modal, ids::main_dialog::kEncryptButton); // "Company name error"
    });
    EXPECT_EQ(
        front.messages(),
        (std::vector<std::string>{"Select file type", "Select file type", "Select file type", "Select source file",
                                  "Input version", "Fail with error code[-4]", "Invalid version length(max 20)",
                                  "Version error", "don't exists file", "Company name error"}));
    EXPECT_EQ(read_source_path_setting(), brand);
    EXPECT_EQ(read_bytes(brand + ".wrp"), older);
    EXPECT_FALSE(path_exists(brand + ".wrp-Seventeen-chars!!.enc"));
    EXPECT_FALSE(path_exists(wrapped + "-Seventeen-chars!!.enc"));
}

TEST_F(MainDialog, SourceChoosersFollowTheTypeAndRefuseWhatDoesNotFit)
{
    default_key();
    const std::string web = m_work.file("web");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(web)));
    const std::string missing = m_work.file("no-such-folder");
    const std::string raw = file("blob.bin", pattern_bytes(100, 2));
    write_source_path_setting(web);
    ScriptedFrontEnd front;
    front.choose(missing); // refused, the folder chooser opens again
    front.choose(web);
    for (int type = 2; type <= 9; ++type)
        front.cancel();
    front.choose(raw);
    front.choose(web); // a folder for a file type
    run(front, [&](QWidget* modal) {
        click(modal, ids::main_dialog::kToggleButton);
        select_type(modal, 0);
        click(modal, ids::main_dialog::kBrowseSourcePathButton);
        EXPECT_EQ(text(modal, ids::main_dialog::kSourcePathEdit).toStdString(), web);
        for (int type = 2; type <= 9; ++type) {
            select_type(modal, type);
            click(modal, ids::main_dialog::kBrowseSourcePathButton);
        }
        child<QLineEdit>(modal, ids::main_dialog::kVersionEdit)->setText("5.0");
        click(modal, ids::main_dialog::kBrowseSourcePathButton);
        EXPECT_EQ(text(modal, ids::main_dialog::kSourcePathEdit).toStdString(), raw);
        EXPECT_EQ(text(modal, ids::main_dialog::kVersionEdit), "5.0");
        click(modal, ids::main_dialog::kBrowseSourcePathButton);
        EXPECT_EQ(text(modal, ids::main_dialog::kSourcePathEdit).toStdString(), raw); // unchanged
        child<QLineEdit>(modal, ids::main_dialog::kKeyFileEdit)->setText("typed");
        click(modal, ids::main_dialog::kWrapButton);
        EXPECT_EQ(text(modal, ids::main_dialog::kKeyFileEdit).toStdString(),
                  m_program.file("vid_tev.wrp")); // reloaded after the wrap
    });
    EXPECT_EQ(
        front.messages(),
        (std::vector<std::string>{"\"" + missing + "\" 폴더 경로는 잘못되었습니다.", "Path[" + web + "] is invalid",
                                  "wrapping file success. [path:" + raw + ".wrp]"}));
    const Bytes raw_payload = pattern_bytes(100, 2);
    EXPECT_TRUE(wrapped_as(raw + ".wrp", "RAW0", "", "5.0", &raw_payload));
    ASSERT_EQ(front.requests.size(), 12u);
    EXPECT_EQ(front.requests[0].kind, ChooserKind::Folder);
    EXPECT_EQ(front.requests[0].title, "폴더를 선택하여 주세요.");
    EXPECT_EQ(front.requests[0].initial_path.toStdString(), web); // from the setting
    const std::vector<QString> filters = {
        "Conf file(*.conf)|*.conf|All file|*.*|",     "Cab file(*.cab)|*.cab|All file|*.*|",
        "Kernel file(*.krn)|*.krn|All file|*.*|",     "Image file(*.img)|*.img|All file|*.*|",
        "Dome file(*.bin)|*.bin|All file|*.*|",       "Dome file(*.bin)|*.bin|All file|*.*|",
        "Kernel file(*.krn)|*.krn|All file|*.*|",     "All file|*.*|"};
    for (size_t i = 0; i < filters.size(); ++i) {
        EXPECT_EQ(front.requests[2 + i].kind, ChooserKind::OpenFile);
        EXPECT_EQ(front.requests[2 + i].filter, filters[i]) << "type " << i + 2;
    }
}

TEST_F(MainDialog, GeneratorChainAndSettingThenTheCompanyKeyIsReloaded)
{
    write_key_file_path_setting(key_file(m_work.file("acme.wrp"), "A1A2A3A4A5A6", "Acme"));
    const std::string beta = key_file(m_work.file("beta.wrp"), "B1B2B3B4B5B6", "Beta");
    const std::string generated = m_work.file("gamma.wrp");
    ScriptedFrontEnd front;
    front.choose(beta);
    run(front, [&](QWidget* modal) {
        front.clear();
        when_modal_of_type_opens<CGenerateKeyDlg>([&](CGenerateKeyDlg* generator) {
            child<QLineEdit>(generator, ids::generate_key::kDestEdit)->setText(QString::fromStdString(generated));
            QTest::keyClicks(child<QLineEdit>(generator, ids::generate_key::kKeyEdit), "0c0d0e0f1011");
            QTest::keyClicks(child<QLineEdit>(generator, ids::generate_key::kCompanyEdit), "Gamma");
            when_modal_of_type_opens<CEncryptFileDlg>([&](CEncryptFileDlg* encrypt) {
                EXPECT_EQ(text(encrypt, ids::encrypt::kSourceEdit).toStdString(), generated);
                click(encrypt, ids::encrypt::kSelectKeyFileButton); // another company key file: stored in the settings
                click(encrypt, ids::encrypt::kEncryptButton);
            });
            click(generator, ids::generate_key::kGenerateButton);
        });
        command(modal, ids::main_dialog::kGenerateKeyCommand);
        EXPECT_EQ(text(modal, ids::main_dialog::kKeyFileEdit).toStdString(), beta); // reloaded from the settings
        EXPECT_EQ(text(modal, ids::main_dialog::kCompanyEdit), "Beta");

        auto setting = [&](const char* button) {
            when_modal_of_type_opens<CSettingDlg>([button](CSettingDlg* dialog) {
                QTest::mouseClick(child<QCheckBox>(dialog, ids::setting::kUseNewEncryptCheck), Qt::LeftButton, {},
                                  QPoint(6, 6));
                click(dialog, button);
            });
            command(modal, ids::main_dialog::kSettingCommand);
        };
        setting(ids::kCancel); // Cancel: nothing changes
        EXPECT_EQ(child<QLabel>(modal, ids::main_dialog::kModeLabel)->text(), "Current Encrypt mode : ENCR");
        setting(ids::kOk);
        EXPECT_EQ(child<QLabel>(modal, ids::main_dialog::kModeLabel)->text(), "Current Encrypt mode : ENC1");

        when_modal_of_type_opens<CGenerateKeyDlg>(
            [](CGenerateKeyDlg* generator) { click(generator, ids::generate_key::kCloseButton); });
        child<QLineEdit>(modal, ids::main_dialog::kKeyFileEdit)->setText("typed");
        command(modal, ids::main_dialog::kGenerateKeyCommand); // cancelled: no reload
        EXPECT_EQ(text(modal, ids::main_dialog::kKeyFileEdit), "typed");
    });
    EXPECT_EQ(front.messages(),
              (std::vector<std::string>{"Success", "Success to encrypt file for tev", "Save setting value"}));
    EXPECT_TRUE(package_matches(read_bytes(generated + "-Beta.enc"), read_bytes(generated), "ENCR", "Beta", kBetaKey));
}

TEST_F(MainDialog, PackagingChainEndsInAnEncryptedPackageFile)
{
    const std::string acme = key_file(m_work.file("acme.wrp"), "A1A2A3A4A5A6", "Acme");
    write_key_file_path_setting(acme);
    const std::string folder = m_work.file("release");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    const Bytes firmware = encrypted_package_bytes("FRM0", "ENCR", "", "3.1", "Acme", 1200, 31);
    const Bytes web = encrypted_package_bytes("WEB0", "ENCR", "", "3.1", "Acme", 700, 32);
    write_bytes(folder + "/fw.enc", firmware);
    write_bytes(folder + "/web.enc", web);
    const std::string package = m_work.file("release-K3.1.wrp");

    ScriptedFrontEnd front;
    front.choose(folder);
    run(front, [&](QWidget* modal) {
        when_modal_of_type_opens<CPackagingFilesDlg>([&](CPackagingFilesDlg* packaging) {
            click(packaging, ids::packaging::kBrowsePathButton);
            EXPECT_EQ(text(packaging, ids::packaging::kDestEdit).toStdString(), package);
            when_modal_of_type_opens<CEncryptFileDlg>([&](CEncryptFileDlg* encrypt) {
                EXPECT_EQ(encrypt->m_strRequiredCompany, "Acme");
                EXPECT_EQ(text(encrypt, ids::encrypt::kSourceEdit).toStdString(), package);
                EXPECT_EQ(text(encrypt, ids::encrypt::kDestEdit).toStdString(), package + "-Acme.pkg");
                click(encrypt, ids::encrypt::kEncryptButton);
            });
            click(packaging, ids::packaging::kPackButton);
        });
        child<QLineEdit>(modal, ids::main_dialog::kKeyFileEdit)->setText("typed");
        command(modal, ids::main_dialog::kPackagingCommand);
        EXPECT_EQ(text(modal, ids::main_dialog::kKeyFileEdit).toStdString(), acme); // reloaded after the chain

        when_modal_of_type_opens<CPackagingFilesDlg>(
            [](CPackagingFilesDlg* packaging) { click(packaging, ids::packaging::kCloseButton); });
        child<QLineEdit>(modal, ids::main_dialog::kKeyFileEdit)->setText("typed");
        command(modal, ids::main_dialog::kPackagingCommand); // Close: nothing follows
        EXPECT_EQ(text(modal, ids::main_dialog::kKeyFileEdit), "typed");
    });
    EXPECT_EQ(front.messages(), (std::vector<std::string>{"Success", "Success to encrypt file for tev"}));
    const Bytes package_bytes = read_bytes(package);
    EXPECT_TRUE(package_file_holds(package_bytes, "3.1", {firmware, web}));
    EXPECT_TRUE(package_matches(read_bytes(package + "-Acme.pkg"), package_bytes, "ENCR", "Acme", kAcmeKey));
}

// A company key file typed into its field counts as one chosen with "Browse": the destination is
// named after the company whose key the encryption then uses.
TEST_F(MainDialog, TypedCompanyKeyIsLoadedWhenTheFieldIsLeft)
{
    default_key();
    const std::string beta = key_file(m_work.file("beta.wrp"), "B1B2B3B4B5B6", "Beta");
    const Bytes firmware = plain_tagged_bytes("FRM0", pattern_bytes(3000, 5));
    const std::string source = file("fw.wrp", firmware);
    ScriptedFrontEnd front;
    front.choose(source);
    run(front, [&](QWidget* modal) {
        auto* key = child<QLineEdit>(modal, ids::main_dialog::kKeyFileEdit);
        auto* next = child<QLineEdit>(modal, ids::main_dialog::kSourceEdit);
        click(modal, ids::main_dialog::kBrowseSourceButton);
        EXPECT_EQ(text(modal, ids::main_dialog::kDestEdit).toStdString(), source + "-Acme.enc");
        type_over_and_leave(key, QString::fromStdString(beta), next);
        EXPECT_EQ(text(modal, ids::main_dialog::kCompanyEdit), "Beta");
        EXPECT_EQ(text(modal, ids::main_dialog::kDestEdit).toStdString(), source + "-Beta.enc");
        click(modal, ids::main_dialog::kEncryptButton);
        key->setFocus();
        next->setFocus(); // left unchanged: nothing happens
        type_over_and_leave(key, QString::fromStdString(source), next);
        EXPECT_EQ(text(modal, ids::main_dialog::kCompanyEdit), "");
    });
    EXPECT_EQ(front.messages(),
              (std::vector<std::string>{"Success to encrypt file. [path:" + source + "-Beta.enc]",
                                        "Could not load vid from vid.wrp"}));
    EXPECT_TRUE(package_matches(read_bytes(source + "-Beta.enc"), firmware, "ENCR", "Beta", kBetaKey));
    EXPECT_EQ(read_key_file_path_setting("none"), beta);
}

TEST_F(MainDialog, AFileDroppedOnAnEditIsTakenAsDroppedOnTheDialog)
{
    default_key();
    const std::string brand = file("brand.conf", bytes_of("[brand]"));
    ScriptedFrontEnd front;
    run(front, [&](QWidget* modal) {
        click(modal, ids::main_dialog::kToggleButton);
        select_type(modal, 2); // Brand
        for (const char* edit : {ids::main_dialog::kSourcePathEdit, ids::main_dialog::kKeyFileEdit}) {
            SCOPED_TRACE(edit);
            child<QLineEdit>(modal, ids::main_dialog::kSourcePathEdit)->clear();
            drop_on(modal, child<QLineEdit>(modal, edit), {QUrl::fromLocalFile(QString::fromStdString(brand))});
            EXPECT_EQ(text(modal, ids::main_dialog::kSourcePathEdit).toStdString(), brand);
        }
        EXPECT_EQ(text(modal, ids::main_dialog::kKeyFileEdit).toStdString(), m_program.file("vid_tev.wrp"));
    });
    EXPECT_EQ(front.messages(), std::vector<std::string>{});
}

// While a job runs its progress window handles events: whatever reaches the dialogs meanwhile
// starts nothing and closes nothing, and the job ends once, with its messages.
TEST_F(MainDialog, WhileAWrapRunsNothingElseStartsAndNoWindowCloses)
{
    default_key();
    const std::string log = m_work.file("archiver.log");
    // Logged once per archive written (the pass that only sizes the archive is not logged).
    place_archiver("case \"$*\" in *--totals*) ;; *) echo run >> \"" + log + "\" ;; esac\nsleep 0.8\n" + exec_tar());
    ScriptedFrontEnd front;
    run(front, [&](QWidget* modal) {
        wrap_web(front, modal, ids::main_dialog::kWrapButton, [&](ProgressWindow* progress) {
            press_key(progress, Qt::Key_Escape);
            progress->close();
            for (const char* button : {ids::main_dialog::kWrapButton, ids::main_dialog::kWrapAndEncryptButton,
                                       ids::main_dialog::kCloseButton}) // "org -> wrp" again, "Close"
                click(modal, button);
            for (const char* id : {ids::main_dialog::kExitCommand, ids::main_dialog::kGenerateKeyCommand,
                                   ids::main_dialog::kPackagingCommand, ids::main_dialog::kSettingCommand,
                                   ids::main_dialog::kAboutCommand}) // Exit, the other dialogs
                command(modal, id);
            EXPECT_TRUE(progress->isVisible());
            EXPECT_TRUE(modal->isVisible());
        });
    });
    EXPECT_EQ(front.messages(),
              std::vector<std::string>{"wrapping file success. [path:" + m_work.file("web.wrp") + "]"});
    EXPECT_EQ(read_bytes(log), bytes_of("run\n")); // one archiver run
    const Bytes wrapped = read_bytes(m_work.file("web.wrp"));
    EXPECT_EQ(run_process("tar", {"-tf", "-"}, Bytes(wrapped.begin() + 140, wrapped.end() - 16)).standard_output,
              "./\n./index.html\n");
}

TEST_F(MainDialog, CancelEndsTheWrapAsAFailureAndLeavesTheEarlierFiles)
{
    default_key();
    place_archiver("exec sleep 30\n");
    const std::string earlier[] = {file("web.wrp", bytes_of("last week's")),
                                   file("web.wrp-Acme.enc", bytes_of("ditto"))};
    ScriptedFrontEnd front;
    QElapsedTimer timer;
    timer.start();
    run(front, [&](QWidget* modal) {
        wrap_web(front, modal, ids::main_dialog::kWrapAndEncryptButton,
                 [](ProgressWindow* progress) { click(progress, ids::kCancel); });
    });
    EXPECT_LT(timer.elapsed(), 10000); // the archiver was ended, not waited out
    EXPECT_EQ(front.messages(), std::vector<std::string>{"Fail with error code[-20]"});
    EXPECT_EQ(m_work.entries(),
              (std::vector<std::string>{"web", "web.wrp", "web.wrp-Acme.enc"})); // no temporary archive
    EXPECT_EQ(read_bytes(earlier[0]), bytes_of("last week's"));
    EXPECT_EQ(read_bytes(earlier[1]), bytes_of("ditto"));
}
