// The dialogs at their default size and font: tab order, nothing cut off, read-only edits that
// look read-only.
#include "ui/encrypt_file_dialog.h"
#include "ui/generate_key_dialog.h"
#include "ui/main_dialog.h"
#include "ui/packaging_files_dialog.h"
#include "ui/setting_dialog.h"

#include "common/messages.h"
#include "dialog_test_support.h"

#include <QAbstractButton>
#include <QLabel>
#include <QHeaderView>
#include <QStyle>
#include <QTreeWidget>

#include <functional>
#include <map>
#include <memory>

using namespace kestrane;
using namespace kestrane::test;

namespace {

struct DialogCase {
    const char* name;
    std::function<std::unique_ptr<QDialog>()> make;
    QStringList tab_order; // the template's control order
};

const DialogCase kDialogs[] = {
    {"main", [] { return std::make_unique<CKestraneDlg>(); },
     {"1018", "1019", "1017", "1007", "1010", "1008", "1025", "1024", "1009", "1023", "1029", "1027", "1004", "1026",
      "1012", "1003"}},
    {"generate", [] { return std::make_unique<CGenerateKeyDlg>(); }, {"1001", "1006", "1000", "1004", "1002", "1003"}},
    {"encrypt", [] { return std::make_unique<CEncryptFileDlg>(); },
     {"1007", "1008", "1004", "1000", "1005", "1001", "1006", "1002", "1003"}},
    {"packaging", [] { return std::make_unique<CPackagingFilesDlg>(); },
     {"1000", "1001", "1002", "1003", "1005", "1006", "1004", "1007", "1008", "1009", "1010"}},
    {"about", [] { return std::make_unique<CAboutBoxDlg>(); }, {"1"}},
};

// The controls Tab visits, in order, by id.
QStringList tab_chain(QWidget* dialog)
{
    QStringList ids;
    for (QWidget* w = dialog->nextInFocusChain(); w != dialog; w = w->nextInFocusChain()) {
        bool numeric = false;
        w->objectName().toInt(&numeric);
        if (numeric && (w->focusPolicy() & Qt::TabFocus))
            ids << w->objectName();
    }
    return ids;
}

// Runs `look` on each dialog as it opens (the main dialog expanded), then closes it.
void for_each_dialog(const std::function<void(const DialogCase&, QWidget*)>& look)
{
    for (const DialogCase& dialog_case : kDialogs) {
        SCOPED_TRACE(dialog_case.name);
        const std::unique_ptr<QDialog> dialog = dialog_case.make();
        when_modal_opens([&](QWidget* modal) {
            if (auto* main = qobject_cast<CKestraneDlg*>(modal))
                child<QPushButton>(main, "1024")->click();
            look(dialog_case, modal);
            static_cast<QDialog*>(modal)->QDialog::done(QDialog::Rejected);
        });
        dialog->exec();
    }
}

using DialogLayout = DialogTest;

} // namespace

TEST_F(DialogLayout, TabFollowsTheTemplateFromTheFirstControl)
{
    MessageRecorder recorder; // no company key file: reported, not shown
    for_each_dialog([](const DialogCase& dialog_case, QWidget* modal) {
        EXPECT_EQ(tab_chain(modal).join(' ').toStdString(), dialog_case.tab_order.join(' ').toStdString());
        ASSERT_TRUE(modal->focusWidget());
        EXPECT_EQ(modal->focusWidget()->objectName().toStdString(), dialog_case.tab_order.first().toStdString());
    });
}

namespace {

// Whether an edit shows `text` whole: the text, the edit's inner margins (2 pixels a side) and its
// frame fit in its width.
testing::AssertionResult shows_whole(QLineEdit* edit, const QString& text)
{
    const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
    const int needed = edit->fontMetrics().horizontalAdvance(text) + 2 * 2 + 2 * frame;
    if (edit->width() >= needed)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << edit->objectName().toStdString() << " is " << edit->width()
                                       << " pixels wide, \"" << text.toStdString() << "\" needs " << needed;
}

} // namespace

TEST_F(DialogLayout, NothingIsCutOffAtTheDefaultSize)
{
    MessageRecorder recorder;
    const std::multimap<std::string, std::pair<const char*, QString>> typical = {
        {"main", {"1004", "12345678901234567890"}}, // the longest version
        {"encrypt", {"1007", "/home/builder/keys/company-acme.wrp"}},
        {"encrypt", {"1000", "/home/builder/firmware/2024/image.krn.wrp"}},
        {"encrypt", {"1001", "/home/builder/firmware/2024/image.krn.wrp-Acme.enc"}},
    };
    const QString package_name = "firmware-image.krn.wrp-Acme.enc";
    for_each_dialog([&](const DialogCase& dialog_case, QWidget* modal) {
        for (QAbstractButton* button : modal->findChildren<QAbstractButton*>())
            EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
        for (QLabel* label : modal->findChildren<QLabel*>()) {
            if (!label->isVisible())
                continue;
            EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        }
        for (auto [it, end] = typical.equal_range(dialog_case.name); it != end; ++it)
            EXPECT_TRUE(shows_whole(child<QLineEdit>(modal, it->second.first), it->second.second));
        for (QLineEdit* edit : modal->findChildren<QLineEdit*>()) {
            if (!edit->isReadOnly())
                continue;
            EXPECT_EQ(edit->palette().color(QPalette::Base), modal->palette().color(QPalette::Window))
                << edit->objectName().toStdString() << " looks editable";
        }
        auto* list = modal->findChild<QTreeWidget*>("1007"); // the packages' "File" column
        EXPECT_TRUE(!list || list->header()->sectionSize(0) >= list->fontMetrics().horizontalAdvance(package_name) + 12)
            << "\"File\" is " << list->header()->sectionSize(0) << " pixels wide";
    });
}
