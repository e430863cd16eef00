#include "ui/setting_dialog.h"

#include "ops/build_identity.h"
#include "ops/remembered_settings.h"
#include "ui/control_ids.h"
#include "ui/dialog_front_end.h"
#include "ui/program_version.h"
#include "ui/widgets.h"

#include <QCheckBox>
#include <QFont>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace kestrane {
namespace {

QString to_qstring(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CSettingDlg::CSettingDlg(DialogFrontEnd& front, QWidget* parent)
    : QDialog(parent), m_front(front),
      m_useNewEncrypt(new QCheckBox(QStringLiteral("Use ENC1 encryption mode for ZIV/DOV"), this))
{
    setWindowTitle(QStringLiteral("Setting"));
    m_useNewEncrypt->setObjectName(QString::fromLatin1(ids::setting::kUseNewEncryptCheck));

    auto* save = new QPushButton(QStringLiteral("Save"), this);
    save->setObjectName(QString::fromLatin1(ids::kOk));
    save->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QString::fromLatin1(ids::kCancel));
    cancel->setAutoDefault(false);

    auto* group = new QGroupBox(QStringLiteral("Setting"), this);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_useNewEncrypt);
    groupLayout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);
    resize(290, 187); // 193 x 117 dialog units

    connect(save, &QPushButton::clicked, this, &CSettingDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CSettingDlg::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        OnInitDialog();
    QDialog::showEvent(event);
}

void CSettingDlg::UpdateData(bool saveAndValidate)
{
    if (saveAndValidate)
        m_nUseNewEncrypt = m_useNewEncrypt->isChecked() ? 1 : 0;
    else
        m_useNewEncrypt->setChecked(m_nUseNewEncrypt != 0);
}

void CSettingDlg::OnInitDialog()
{
    UpdateData(true);
    m_nUseNewEncrypt = read_encrypt_mode_setting() != 0 ? 1 : 0;
    UpdateData(false);
}

void CSettingDlg::OnOK()
{
    UpdateData(true);
    const bool saved = write_encrypt_mode_setting(m_nUseNewEncrypt);
    UpdateData(false);
    if (!saved) {
        // The dialog stays open: the user may try again or cancel.
        m_front.show_message("Could not save setting value", MessageIcon::Exclamation);
        return;
    }
    m_front.show_message("Save setting value", MessageIcon::Exclamation);
    accept();
}

CAboutBoxDlg::CAboutBoxDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Kestrane 정보"));
    setFont(QFont(QStringList{QStringLiteral("Gulim"), QStringLiteral("NanumGothic")}, 9));

    auto* picture = new QLabel(this);
    picture->setPixmap(program_icon().pixmap(32, 32));
    auto* ok = new QPushButton(QStringLiteral("확인"), this);
    ok->setObjectName(QString::fromLatin1(ids::kOk));
    ok->setDefault(true);

    // What `kestrane --version` tells: the version, and the sealing key the program carries.
    auto* facts = new QVBoxLayout;
    facts->addWidget(new QLabel(QStringLiteral("Kestrane"), this));
    facts->addWidget(new QLabel(QStringLiteral("Version ") + program_file_version(), this));
    const BuildIdentity identity = build_identity();
    auto* key = new QLabel(to_qstring(identity.fingerprint_label) + '\n' + to_qstring(identity.fingerprint), this);
    key->setTextInteractionFlags(Qt::TextSelectableByMouse);
    facts->addWidget(key);
    if (identity.development_sealing_key)
        facts->addWidget(new QLabel(to_qstring(identity.development_key_warning), this));

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(picture, 0, Qt::AlignTop);
    layout->addSpacing(8);
    layout->addLayout(facts, 1);
    layout->addWidget(ok, 0, Qt::AlignTop);
    resize(353, 88); // 235 x 55 dialog units

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace kestrane
