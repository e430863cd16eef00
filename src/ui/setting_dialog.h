#pragma once

#include <QDialog>

class QCheckBox;

namespace kestrane {

class DialogFrontEnd;

// Lets the user choose the encrypt mode. "Save" (id 1) stores the check box and ends with OK; when
// the setting cannot be stored it says so and the dialog stays open. "Cancel" (id 2), Esc or the
// close box end with Cancel and store nothing.
class CSettingDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSettingDlg(DialogFrontEnd& front, QWidget* parent = nullptr);

    int m_nUseNewEncrypt = 0; // check box 1034: 0 clear, 1 ticked

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdateData(bool saveAndValidate);
    void OnInitDialog();
    void OnOK();

    DialogFrontEnd& m_front;
    QCheckBox* m_useNewEncrypt;
};

// The About box: the program's icon and name, its version and the fingerprint of the sealing key it
// carries (with a warning for the development key), and "확인" to close it.
class CAboutBoxDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutBoxDlg(QWidget* parent = nullptr);
};

} // namespace kestrane
