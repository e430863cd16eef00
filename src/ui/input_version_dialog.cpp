#include "ui/input_version_dialog.h"

#include "ui/control_ids.h"
#include "ui/dialog_front_end.h"
#include "ui/dialog_keys.h"
#include "ui/widgets.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kestrane {

CInputVersionDlg::CInputVersionDlg(DialogFrontEnd& front, QWidget* parent)
    : QDialog(parent), m_front(front), m_pathEdit(new QLineEdit(this)), m_versionEdit(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Input version"));
    m_pathEdit->setObjectName(QString::fromLatin1(ids::input_version::kPathEdit));
    make_read_only(m_pathEdit);
    m_versionEdit->setObjectName(QString::fromLatin1(ids::input_version::kVersionEdit));
    auto* wrapping = new QPushButton(QStringLiteral("Wrapping"), this);
    wrapping->setObjectName(QString::fromLatin1(ids::input_version::kWrappingButton));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QString::fromLatin1(ids::input_version::kCancelButton));

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Path"), this), 0, 0);
    layout->addWidget(m_pathEdit, 0, 1, 1, 3);
    layout->addWidget(new QLabel(QStringLiteral("Version"), this), 1, 0);
    layout->addWidget(m_versionEdit, 1, 1);
    layout->addWidget(wrapping, 1, 2);
    layout->addWidget(cancel, 1, 3);
    layout->setColumnStretch(1, 1);
    setMinimumWidth(540);

    connect(wrapping, &QPushButton::clicked, this, &CInputVersionDlg::OnWrapping);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    swallow_enter_and_escape(this);
}

void CInputVersionDlg::showEvent(QShowEvent* event)
{
    m_pathEdit->setText(m_strPath);
    m_versionEdit->setFocus();
    QDialog::showEvent(event);
}

void CInputVersionDlg::OnWrapping()
{
    const QString version = m_versionEdit->text();
    if (version.isEmpty()) {
        m_front.show_message("Input version");
        return;
    }
    m_strVersion = version;
    accept();
}

} // namespace kestrane
