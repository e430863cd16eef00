#include "ui/choosers.h"
#include "ui/dialog_front_end.h"

#include "dialog_test_support.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

using namespace kestrane;
using namespace kestrane::test;

TEST(Choosers, SystemFiltersBecomeQtFilters)
{
    EXPECT_EQ(to_qt_name_filters("Wrp file(*.wrp)|*.wrp|All files|*.*|"),
              (QStringList{"Wrp file(*.wrp)", "All files (*)"}));
    EXPECT_EQ(to_qt_name_filters("Dest File(*.wrp)|*.wrp||"), QStringList{"Dest File(*.wrp)"});
    EXPECT_EQ(to_qt_name_filters("Kernel file(*.krn)|*.krn|All file|*.*|"),
              (QStringList{"Kernel file(*.krn)", "All file (*)"}));
    EXPECT_EQ(to_qt_name_filters("Old(*.old)|*.wrp|"), QStringList{"Old(*.old) (*.wrp)"}); // names other patterns
    EXPECT_EQ(to_qt_name_filters("Src File|*||"), QStringList{"Src File (*)"});
    EXPECT_EQ(to_qt_name_filters("Images|*.img;*.bin|"), QStringList{"Images (*.img *.bin)"});
    EXPECT_TRUE(to_qt_name_filters("").isEmpty());
}

TEST(Choosers, SaveChooserTakesANewFileAndAddsTheSuffix)
{
    TempDir dir;
    ChooserRequest request;
    request.kind = ChooserKind::SaveFile;
    request.title = "Select file";
    request.initial_path = QString::fromStdString(dir.file("old.wrp"));
    request.filter = "Dest File(*.wrp)|*.wrp||";
    request.default_suffix = "wrp";
    DialogFrontEnd front;
    when_modal_of_type_opens<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Select file");
        EXPECT_EQ(dialog->nameFilters(), QStringList{"Dest File(*.wrp)"});
        EXPECT_EQ(dialog->directory().absolutePath(), QString::fromStdString(dir.path()));
        // An open-mode dialog would refuse a missing file with a message box of its own.
        if (dialog->acceptMode() != QFileDialog::AcceptSave || dialog->fileMode() != QFileDialog::AnyFile) {
            ADD_FAILURE() << "the save chooser insists on an existing file";
            dialog->reject();
            return;
        }
        dialog->selectFile("new-key"); // does not exist yet
        static_cast<QDialog*>(dialog)->accept(); // as the dialog's own button does
    });
    EXPECT_EQ(front.choose_path(request), QString::fromStdString(dir.file("new-key.wrp")));

    request.kind = ChooserKind::OpenFile;
    when_modal_of_type_opens<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        dialog->reject();
    });
    EXPECT_EQ(front.choose_path(request), std::nullopt);
}

TEST(MessageBoxPresenter, OkOnlyApplicationTitleAndTheAskedIcon)
{
    DialogFrontEnd front;
    std::vector<QMessageBox::Icon> icons;
    for (const MessageIcon icon : {MessageIcon::None, MessageIcon::Exclamation}) {
        when_modal_of_type_opens<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->windowTitle(), QCoreApplication::applicationName());
            EXPECT_EQ(box->text(), "Path[/한글/<b>] is invalid");
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            icons.push_back(box->icon());
            box->button(QMessageBox::Ok)->click();
        });
        front.show_message("Path[/한글/<b>] is invalid", icon);
    }
    EXPECT_EQ(icons, (std::vector<QMessageBox::Icon>{QMessageBox::NoIcon, QMessageBox::Warning}));
}

TEST(Choosers, FolderChooserRefusesATypedPathThatIsNoFolderWithTheProgramsMessage)
{
    TempDir dir;
    write_text(dir.file("a-file"), "x");
    ChooserRequest request;
    request.kind = ChooserKind::Folder;
    request.initial_path = QString::fromStdString(dir.path());
    ScriptedFrontEnd front; // records the messages; the QFileDialog chooses
    when_modal_of_type_opens<QFileDialog>([&](QFileDialog* dialog) {
        auto* typed = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_TRUE(typed);
        for (const char* name : {"no-such-folder", "a-file"}) {
            typed->setText(name);
            static_cast<QDialog*>(dialog)->accept();
            EXPECT_TRUE(dialog->isVisible());
        }
        typed->clear();
        dialog->selectFile(QString::fromStdString(dir.path()));
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(front.DialogFrontEnd::choose_path(request), QString::fromStdString(dir.path()));
    EXPECT_EQ(front.messages(),
              (std::vector<std::string>{"\"" + dir.file("no-such-folder") + "\" 폴더 경로는 잘못되었습니다.",
                                        "\"" + dir.file("a-file") + "\" 폴더 경로는 잘못되었습니다."}));
}
