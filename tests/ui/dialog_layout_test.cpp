// The dialogs' tab order: their templates' control order, from the first control on.
#include "ui/encrypt_file_dialog.h"
#include "ui/generate_key_dialog.h"
#include "ui/main_dialog.h"
#include "ui/packaging_files_dialog.h"
#include "ui/setting_dialog.h"

#include "common/messages.h"
#include "dialog_test_support.h"

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

} // namespace

TEST_F(DialogLayout, TabFollowsTheTemplateFromTheFirstControl)
{
    const struct {
        std::function<std::unique_ptr<QDialog>()> make;
        std::string tab_order;
    } dialogs[] = {
        {[] { return std::make_unique<CKestraneDlg>(); },
         "1018 1019 1017 1007 1010 1008 1025 1024 1009 1023 1029 1027 1004 1026 1012 1003"},
        {[] { return std::make_unique<CGenerateKeyDlg>(); }, "1001 1006 1000 1004 1002 1003"},
        {[] { return std::make_unique<CEncryptFileDlg>(); }, "1007 1008 1004 1000 1005 1001 1006 1002 1003"},
        {[] { return std::make_unique<CPackagingFilesDlg>(); },
         "1000 1001 1002 1003 1005 1006 1004 1007 1008 1009 1010"},
        {[] { return std::make_unique<CAboutBoxDlg>(); }, "1"},
    };
    MessageRecorder recorder; // no company key file: reported, not shown
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
