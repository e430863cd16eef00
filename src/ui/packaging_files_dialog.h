#pragma once

#include "ui/kestrane_dialog.h"
#include "ui/packaging_form.h"

#include "ops/packing.h"

#include <QFont>
#include <QString>

class QLineEdit;
class QTreeWidget;

namespace kestrane {

// Turns a folder of encrypted packages into one package file. "Browse" (Path) scans a folder and
// lists the packages that may travel together; "Apply" rebuilds the Dest file from Path and
// Version; "PACK" writes the package file and ends the dialog with OK whatever the outcome;
// "Close" ends it with Cancel. The scan, the version and destination rules and the packing are
// the packing operations; the dialog carries their fields in a PackagingForm.
class CPackagingFilesDlg : public KestraneDialog {
    Q_OBJECT
public:
    explicit CPackagingFilesDlg(DialogFrontEnd& front, QWidget* parent = nullptr);

    QString m_strDestFile;    // edit 1001
    QString m_strPath;        // edit 1000
    QString m_strCompanyName; // edit 1004, read-only
    QString m_strStatus;      // edit 1008, read-only
    QString m_strVersion;     // edit 1009

private:
    void OnInitDialog() override;
    void OnBrowsePath();
    void OnBrowseDest();
    void OnApply();
    void OnPack();

    // The fields to the form and back; the rows follow the form's entries.
    void FieldsToForm();
    void FormToFields();
    void RebuildRows();

    QTreeWidget* m_list;
    QLineEdit* m_destEdit;
    QLineEdit* m_pathEdit;
    QLineEdit* m_companyEdit;
    QLineEdit* m_statusEdit;
    QLineEdit* m_versionEdit;
    PackagingForm m_form; // its entries are the list's source entries
    QFont m_listFont;
};

} // namespace kestrane
