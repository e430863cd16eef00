#include "ui/dialog_chains.h"

#include "ui/encrypt_file_dialog.h"
#include "ui/generate_key_dialog.h"

namespace kestrane {

int run_encrypt_file_dialog(DialogFrontEnd& front, QWidget* parent, const QString& preset_source,
                            const QString& required_company)
{
    CEncryptFileDlg dialog(front, parent);
    dialog.m_strPresetSource = preset_source;
    dialog.m_strRequiredCompany = required_company;
    return dialog.exec();
}

bool run_generate_company_key(DialogFrontEnd& front, QWidget* parent)
{
    CGenerateKeyDlg generator(front, parent);
    if (generator.exec() != QDialog::Accepted)
        return false;
    run_encrypt_file_dialog(front, parent, generator.m_strDestPath);
    return true;
}

} // namespace kestrane
