#pragma once

#include "ui/company_key_field.h"
#include "ui/kestrane_dialog.h"

#include <QString>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrane {

struct WrapRequest;

// The main window: wraps a file or folder, encrypts the result (or an existing wrapped file or
// package file) for the company of the current company key file, and opens the company key
// generator, the package builder, the Setting dialog and the About box from its menus. Exit and
// Close end it with OK; Enter and Esc do nothing. It opens collapsed to kCollapsedHeight pixels,
// the wrapping group hidden; ">>" shows the whole window and "<<" collapses it again.
class CKestraneDlg : public KestraneDialog {
    Q_OBJECT
public:
    explicit CKestraneDlg(DialogFrontEnd& front, QWidget* parent = nullptr);

    static constexpr int kCollapsedHeight = 270;
    // The company key file used when none is stored in the settings, in the program directory. Its
    // underscore is the main dialog's own: the encrypt-file dialog falls back to "vid-tev.wrp".
    static constexpr const char* kDefaultKeyFileName = "vid_tev.wrp";

    QString m_strSourcePath;    // edit 1029
    QString m_strVersion;       // edit 1004 (wrapping group)
    QString m_strDest;          // edit 1008
    QString m_strSource;        // edit 1007
    QString m_strSourceVersion; // edit 1025, read-only
    QString m_strCompanyName;   // edit 1017, read-only
    QString m_strKeyFile;       // edit 1018
    int m_nFullHeight = 0;      // the window's height with every group shown
    bool m_bExpanded = false;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void OnInitDialog() override;
    void OnToggleExpand();
    void RefreshCompanyKey();
    void UpdateModeLabel();
    int SelectedType() const;
    void OnBrowseSourcePath();
    void ChooseSourcePath(const QString& path);
    void OnTypeChanged();
    void OnBrowseKeyFile();
    void OnKeyFileEdited();
    void OnBrowseSource();
    void ChooseSourceFile(const QString& path);
    void OnEncrypt();
    bool CheckWrapInput(bool checkVersionLength);
    WrapRequest WrapRequestOfFields() const;
    void OnWrap();
    void OnWrapAndEncrypt();
    void OnGenerateCompanyKey();
    void OnPackagingFiles();
    void OnSetting();
    void OnAbout();
    void OnDropFiles(const QStringList& paths);

    QComboBox* m_cbType;
    QLineEdit* m_sourcePathEdit;
    QLineEdit* m_versionEdit;
    QLineEdit* m_destEdit;
    QLineEdit* m_sourceEdit;
    QLineEdit* m_sourceVersionEdit;
    QLineEdit* m_companyEdit;
    QLineEdit* m_keyFileEdit;
    QLabel* m_modeLabel;
    QPushButton* m_toggle;
    QGroupBox* m_wrappingGroup;
    CompanyKeyField m_keyField;
};

} // namespace kestrane
