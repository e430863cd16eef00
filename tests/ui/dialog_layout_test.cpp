// The dialogs' tab order: their templates' control order, from the first control on; edits as
// wide as the longest text they take.
#include "ui/encrypt_file_dialog.h"
#include "ui/generate_key_dialog.h"
#include "ui/main_dialog.h"
#include "ui/packaging_files_dialog.h"
#include "ui/setting_dialog.h"

#include "dialog_test_support.h"

#include <QLineEdit>

#include <functional>
#include <memory>

using namespace kestrane;
using namespace kestrane::test;

namespace {

// The ids of the controls Tab visits, in order.
std::string tab_chain(QWidget* dialog)
{
    QStringList ids;
    for (QWidget* w = dialog->nextInFocusChain(); w != dialog; w = w->nextInFocusChain()) {
        bool numeric = false;
        w->objectName().toInt(&numeric);
        if (numeric && (w->focusPolicy() & Qt::TabFocus))
            ids << w->objectName();
    }
    return ids.join(' ').toStdString();
}

using DialogLayout = DialogTest;

// Whether `text` shows whole in `edit`: with the cursor at its end (the edit scrolls to its cursor
// when it paints) the cursor stands the text's width right of where it stands at the start.
bool shows_whole(QLineEdit* edit, const QString& text)
{
    edit->setText(text);
    const auto cursor_x = [edit](qsizetype position) {
        edit->setCursorPosition(static_cast<int>(position));
        edit->grab();
        return edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().x();
    };
    return cursor_x(text.size()) - cursor_x(0) == edit->fontMetrics().horizontalAdvance(text);
}

} // namespace

TEST_F(DialogLayout, TabFollowsTheTemplateFromTheFirstControl)
{
    ScriptedFrontEnd front; // no company key file: reported, not shown
    const struct {
        std::function<std::unique_ptr<QDialog>()> make;
        std::string tab_order;
    } dialogs[] = {
        {[&] { return std::make_unique<CKestraneDlg>(front); },
         "1018 1019 1017 1007 1010 1008 1025 1024 1009 1023 1029 1027 1004 1026 1012 1003"},
        {[&] { return std::make_unique<CGenerateKeyDlg>(front); }, "1001 1006 1000 1004 1002 1003"},
        {[&] { return std::make_unique<CEncryptFileDlg>(front); }, "1007 1008 1004 1000 1005 1001 1006 1002 1003"},
        {[&] { return std::make_unique<CPackagingFilesDlg>(front); },
         "1000 1001 1002 1003 1005 1006 1004 1007 1008 1009 1010"},
        {[] { return std::make_unique<CAboutBoxDlg>(); }, "1"},
    };
    for (const auto& d : dialogs) {
        const std::unique_ptr<QDialog> dialog = d.make();
        dialog->show();
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        EXPECT_EQ(tab_chain(dialog.get()), d.tab_order);
        ASSERT_TRUE(dialog->focusWidget()) << d.tab_order;
        EXPECT_EQ(dialog->focusWidget()->objectName().toStdString(), d.tab_order.substr(0, d.tab_order.find(' ')));
    }
}

// 20 characters of a version, 16 of a company name; "W", the widest letter.
TEST_F(DialogLayout, NameAndVersionEditsShowTheirLongestTextWhole)
{
    ScriptedFrontEnd front;
    using Make = std::function<std::unique_ptr<QDialog>()>;
    const Make main = [&] { return std::make_unique<CKestraneDlg>(front); };
    const Make packaging = [&] { return std::make_unique<CPackagingFilesDlg>(front); };
    const std::tuple<Make, const char*, int> edits[] = {
        {main, ids::main_dialog::kVersionEdit, 20},
        {main, ids::main_dialog::kCompanyEdit, 16},
        {packaging, ids::packaging::kVersionEdit, 20},
        {packaging, ids::packaging::kCompanyEdit, 16},
        {[&] { return std::make_unique<CGenerateKeyDlg>(front); }, ids::generate_key::kCompanyEdit, 16},
        {[&] { return std::make_unique<CEncryptFileDlg>(front); }, ids::encrypt::kCompanyEdit, 16},
    };
    for (const auto& [make, id, characters] : edits) {
        const std::unique_ptr<QDialog> dialog = make();
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        EXPECT_TRUE(shows_whole(child<QLineEdit>(dialog.get(), id), QString(characters, QLatin1Char('W'))))
            << dialog->windowTitle().toStdString() << " " << id;
    }
}
