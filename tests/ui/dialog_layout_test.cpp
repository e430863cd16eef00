// The dialogs at their default size and font: tab order, nothing cut off, read-only edits that
// look read-only.
#include "ui/encrypt_file_dialog.h"
#include "ui/generate_key_dialog.h"
#include "ui/main_dialog.h"
#include "ui/packaging_files_dialog.h"

#include "common/messages.h"
#include "dialog_test_support.h"

#include <functional>
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
