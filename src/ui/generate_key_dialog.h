#pragma once

#include "ui/kestrane_dialog.h"

#include <QString>

class QLineEdit;
class QPushButton;

namespace kestrane {

// Creates a company key file from the 12 hexadecimal digits the user types (the file's key is
// "0000" followed by them) and a company name. Ends with OK only after a successful "Generate";
// "Close" and the close box end it with Cancel; Enter and Esc do nothing.
class CGenerateKeyDlg : public KestraneDialog {
    Q_OBJECT
public:
    explicit CGenerateKeyDlg(DialogFrontEnd& front, QWidget* parent = nullptr);

    QString m_strKey;         // edit 1000
    QString m_strDestPath;    // edit 1001
    QString m_strCompanyName; // edit 1004

private:
    void UpdateData(bool saveAndValidate) override;
    void OnInitDialog() override;
    void OnUpdateKey();
    void OnSelectPath();
    void OnGenerate();

    QLineEdit* m_keyEdit;
    QLineEdit* m_destEdit;
    QLineEdit* m_companyEdit;
    QPushButton* m_generate;
    bool m_pushing = false;
};

} // namespace kestrane
