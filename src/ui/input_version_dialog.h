#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace kestrane {

class DialogFrontEnd;

// Asks for the version of a wrapping started from the command line without one. Ends with OK
// through "Wrapping" with a non-empty version, or with Cancel; Enter and Esc do nothing.
class CInputVersionDlg : public QDialog {
    Q_OBJECT
public:
    explicit CInputVersionDlg(DialogFrontEnd& front, QWidget* parent = nullptr);

    QString m_strPath;    // set by the caller before the dialog runs
    QString m_strVersion; // the accepted version

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnWrapping();

    DialogFrontEnd& m_front;
    QLineEdit* m_pathEdit;
    QLineEdit* m_versionEdit;
};

} // namespace kestrane
