#pragma once

#include "ui/company_key_field.h"
#include "ui/kestrane_dialog.h"

#include <QString>

class QLineEdit;

namespace kestrane {

// Encrypts one file for the company of a chosen company key file. The opener may preset the source
// (m_strPresetSource) and require a company (m_strRequiredCompany) before the dialog runs. Ends
// with OK only after a successful encryption; "Close" and the close box end it with Cancel; Enter
// and Esc do nothing.
class CEncryptFileDlg : public KestraneDialog {
    Q_OBJECT
public:
    explicit CEncryptFileDlg(DialogFrontEnd& front, QWidget* parent = nullptr);

    // The company key file used when none is stored in the settings, in the program directory. Its
    // hyphen is the dialog's own: the main dialog falls back to "vid_tev.wrp", with an underscore.
    static constexpr const char* kDefaultKeyFileName = "vid-tev.wrp";

    QString m_strPresetSource;    // set by the opener; not shown
    QString m_strRequiredCompany; // set by the opener; not shown; empty: no requirement
    QString m_strKeyFile;         // edit 1007
    QString m_strSource;          // edit 1000
    QString m_strDest;            // edit 1001
    QString m_strCompanyName;     // edit 1004, read-only

private:
    void OnInitDialog() override;
    void SetSource(const QString& path);
    void OnSelectKeyFile();
    void OnKeyFileEdited();
    void OnBrowseSource();
    void OnBrowseDest();
    void OnEncrypt();

    QLineEdit* m_keyFileEdit;
    QLineEdit* m_companyEdit;
    QLineEdit* m_sourceEdit;
    QLineEdit* m_destEdit;
    CompanyKeyField m_keyField;
};

} // namespace kestrane
