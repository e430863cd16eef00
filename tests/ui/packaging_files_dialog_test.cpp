#include "ui/packaging_files_dialog.h"

#include "common/file_io.h"
#include "dialog_test_support.h"
#include "package_test_files.h"

#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

using namespace kestrane;
using namespace kestrane::test;

namespace {

class PackagingFilesDialog : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    }
    std::string put(const std::string& name, const Bytes& bytes)
    {
        write_bytes(folder + "/" + name, bytes);
        return folder + "/" + name;
    }
    static std::vector<std::vector<std::string>> rows(QWidget* modal)
    {
        std::vector<std::vector<std::string>> result;
        auto* list = child<QTreeWidget>(modal, ids::packaging::kList);
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            std::vector<std::string> cells;
            for (int column = 0; column < list->columnCount(); ++column)
                cells.push_back(list->topLevelItem(row)->text(column).toStdString());
            result.push_back(cells);
        }
        return result;
    }

    const std::string folder = m_work.file("release/build");
};

} // namespace

TEST_F(PackagingFilesDialog, OpensEmptyAndPackAtOnceFailsButEndsWithOk)
{
    ScriptedFrontEnd front;
    CPackagingFilesDlg dialog(front);
    when_modal_opens([&](QWidget* modal) {
        EXPECT_EQ(modal->windowTitle(), "Packaging files");
        auto* list = child<QTreeWidget>(modal, ids::packaging::kList);
        ASSERT_EQ(list->columnCount(), 6);
        const std::vector<std::pair<QString, int>> columns = {{"File", 100},    {"Type", 100},    {"Attribute", 100},
                                                              {"Model", 100},   {"Version", 100}, {"CompanyName", 130}};
        for (int column = 0; column < 6; ++column) {
            EXPECT_EQ(list->headerItem()->text(column), columns[column].first);
            if (column == 0) // "File" takes the free width
                EXPECT_GE(list->header()->sectionSize(column), columns[column].second);
            else
                EXPECT_EQ(list->header()->sectionSize(column), columns[column].second);
        }
        EXPECT_EQ(list->topLevelItemCount(), 0);
        for (const char* id : {ids::packaging::kPathEdit, ids::packaging::kDestEdit, ids::packaging::kCompanyEdit,
                               ids::packaging::kStatusEdit, ids::packaging::kVersionEdit})
            EXPECT_EQ(text(modal, id), "") << id;
        EXPECT_TRUE(child<QLineEdit>(modal, ids::packaging::kCompanyEdit)->isReadOnly());
        EXPECT_TRUE(child<QLineEdit>(modal, ids::packaging::kStatusEdit)->isReadOnly());
        click(modal, ids::packaging::kPackButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(front.messages(), (std::vector<std::string>{"Input version", "Fail with error[-1]"}));
}

TEST_F(PackagingFilesDialog, ScanListsWhatMayTravelTogetherAndPackWritesIt)
{
    const Bytes firmware = encrypted_package_bytes("FRM0", "ENCR", "", "1.5.2-build.0042", "Acme", 900, 1);
    const Bytes dome = encrypted_package_bytes("DOM0", "ENCR", "7720", "2.0", "Acme", 300, 2);
    put("a-fw.enc", firmware);
    put("b-dome.enc", dome);
    put("c-fw.enc", encrypted_package_bytes("FRM0", "ENCR", "", "9.9", "Acme", 50, 3));  // a second FRM0
    put("d-new.enc", encrypted_package_bytes("BOT0", "ENC1", "", "1.0", "Acme", 50, 4)); // not ENCR
    put("e-key.enc", encrypted_package_bytes("VID0", "ENCR", "", "", "Acme", 50, 5));   // a key file
    put("notes.txt", bytes_of("not a package"));

    ScriptedFrontEnd front;
    front.choose(folder);
    CPackagingFilesDlg dialog(front);
    when_modal_opens([&](QWidget* modal) {
        child<QLineEdit>(modal, ids::packaging::kVersionEdit)->setText("old");
        click(modal, ids::packaging::kBrowsePathButton);
        EXPECT_EQ(rows(modal), (std::vector<std::vector<std::string>>{
                                   {"a-fw.enc", "FRM0", "ENCR", "", "1.5.2-build.0042", "Acme"},
                                   {"b-dome.enc", "DOM0", "ENCR", "7720", "2.0", "Acme"}}));
        EXPECT_EQ(text(modal, ids::packaging::kPathEdit).toStdString(), folder);
        EXPECT_EQ(text(modal, ids::packaging::kVersionEdit), "1.5.2-build.0042"); // from the FRM0 entry
        EXPECT_EQ(text(modal, ids::packaging::kCompanyEdit), "Acme");
        EXPECT_EQ(text(modal, ids::packaging::kStatusEdit), "Success");
        EXPECT_EQ(text(modal, ids::packaging::kDestEdit).toStdString(),
                  m_work.file("release/build-K1.5.2-build.0042.wrp"));
        click(modal, ids::packaging::kPackButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    const std::string a = folder + "/a-fw.enc";
    EXPECT_EQ(front.messages(),
              (std::vector<std::string>{
                  "Duplicate protect file[" + folder + "/c-fw.enc, " + a + "] major is [FRM0]",
                  "Could not insert vid file for package file [vid file:" + folder + "/e-key.enc]", "Success"}));
    ASSERT_EQ(front.requests.size(), 1u);
    EXPECT_EQ(front.requests[0].kind, ChooserKind::Folder);
    EXPECT_EQ(front.requests[0].title, "폴더를 선택하여 주세요.");
    EXPECT_EQ(front.requests[0].initial_path, "");
    EXPECT_EQ(dialog.m_strDestFile.toStdString(), m_work.file("release/build-K1.5.2-build.0042.wrp"));
    EXPECT_EQ(dialog.m_strCompanyName, "Acme");
    EXPECT_TRUE(package_file_holds(read_bytes(dialog.m_strDestFile.toStdString()), "1.5.2-build.0042", {firmware, dome}));
}

TEST_F(PackagingFilesDialog, ApplyVersionLimitAndTypedVersionGoIntoThePackage)
{
    const Bytes boot = encrypted_package_bytes("BOT0", "ENCR", "", "0.7", "Acme", 200, 6);
    put("boot.enc", boot);
    ScriptedFrontEnd front;
    front.choose(folder);
    CPackagingFilesDlg dialog(front);
    when_modal_opens([&](QWidget* modal) {
        click(modal, ids::packaging::kApplyButton); // no Path: nothing at all
        click(modal, ids::packaging::kBrowsePathButton);
        EXPECT_EQ(text(modal, ids::packaging::kVersionEdit), ""); // no FRM0 entry
        EXPECT_EQ(text(modal, ids::packaging::kDestEdit).toStdString(),
                  m_work.file("release/build-K.wrp")); // so an empty version
        click(modal, ids::packaging::kApplyButton);    // "Input version"
        auto* version = child<QLineEdit>(modal, ids::packaging::kVersionEdit);
        type_text(version, "1.2.3.4.5.6.7.8.9.10.");
        EXPECT_EQ(version->text(), "1.2.3.4.5.6.7.8.9.10"); // the 21st character is refused
        click(modal, ids::packaging::kApplyButton);
        const std::string applied = m_work.file("release/build-K1.2.3.4.5.6.7.8.9.10.wrp");
        EXPECT_EQ(text(modal, ids::packaging::kDestEdit).toStdString(), applied);
        // A version typed afterwards goes into the package, the destination stays until Apply.
        version->setText("3.0");
        click(modal, ids::packaging::kPackButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(front.messages(), (std::vector<std::string>{"Input version", "Success"}));
    EXPECT_TRUE(package_file_holds(read_bytes(m_work.file("release/build-K1.2.3.4.5.6.7.8.9.10.wrp")), "3.0", {boot}));
    EXPECT_FALSE(path_exists(m_work.file("release/build-K3.0.wrp")));
}

TEST_F(PackagingFilesDialog, CancelledOrRefusedFolderChangesNothingAnEmptyOneFails)
{
    const Bytes firmware = encrypted_package_bytes("FRM0", "ENCR", "", "4.1", "Acme", 100, 7);
    put("fw.enc", firmware);
    const std::string empty = m_work.file("empty");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(empty)));
    const std::string missing = m_work.file("missing");
    const std::string dest = m_work.file("chosen.pkg.wrp");

    ScriptedFrontEnd front;
    front.choose(folder);
    front.cancel();
    front.choose(missing); // refused, and the chooser opens again
    front.cancel();
    front.choose(dest); // Dest file "Browse"
    front.choose(empty);
    CPackagingFilesDlg dialog(front);
    when_modal_opens([&](QWidget* modal) {
        click(modal, ids::packaging::kBrowsePathButton);
        const auto listed = rows(modal);
        ASSERT_EQ(listed.size(), 1u);
        for (int attempt = 0; attempt < 2; ++attempt) {
            click(modal, ids::packaging::kBrowsePathButton);
            EXPECT_EQ(rows(modal), listed);
            EXPECT_EQ(text(modal, ids::packaging::kPathEdit).toStdString(), folder);
            EXPECT_EQ(text(modal, ids::packaging::kVersionEdit), "4.1");
            EXPECT_EQ(text(modal, ids::packaging::kStatusEdit), "Success");
        }
        click(modal, ids::packaging::kBrowseDestButton);
        EXPECT_EQ(text(modal, ids::packaging::kDestEdit).toStdString(), dest);
        click(modal, ids::packaging::kBrowsePathButton);
        EXPECT_TRUE(rows(modal).empty());
        EXPECT_EQ(text(modal, ids::packaging::kPathEdit).toStdString(), empty);
        EXPECT_EQ(text(modal, ids::packaging::kStatusEdit), "Failed");
        EXPECT_EQ(text(modal, ids::packaging::kVersionEdit), ""); // emptied before the scan
        EXPECT_EQ(text(modal, ids::packaging::kCompanyEdit), "Acme");
        EXPECT_EQ(text(modal, ids::packaging::kDestEdit).toStdString(), empty + "-K.wrp");
        click(modal, ids::packaging::kCloseButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(front.messages(),
              (std::vector<std::string>{"\"" + missing + "\" 폴더 경로는 잘못되었습니다.", "Nothing target enc file"}));
    ASSERT_EQ(front.requests.size(), 6u);
    EXPECT_EQ(front.requests[1].initial_path.toStdString(), folder);
    EXPECT_EQ(front.requests[3].kind, ChooserKind::Folder);
    EXPECT_EQ(front.requests[4].kind, ChooserKind::SaveFile);
    EXPECT_EQ(front.requests[4].title, "Select file");
    EXPECT_EQ(front.requests[4].filter, "Dest File|*||");
    EXPECT_EQ(front.requests[4].default_suffix, "");
    EXPECT_TRUE(front.all_answered());
    EXPECT_FALSE(path_exists(dest));
}
