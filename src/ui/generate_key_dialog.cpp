#include "ui/generate_key_dialog.h"

#include "common/messages.h"
#include "common/text_format.h"
#include "crypt/company_key_file.h"
#include "ui/choosers.h"
#include "ui/dialog_data.h"
#include "ui/dialog_keys.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace kestrane {

CGenerateKeyDlg::CGenerateKeyDlg(QWidget* parent)
    : QDialog(parent),
      m_keyEdit(new QLineEdit(this)),
      m_destEdit(new QLineEdit(this)),
      m_companyEdit(new QLineEdit(this)),
      m_generate(new QPushButton(QStringLiteral("Generate"), this))
{
    setWindowTitle(QStringLiteral("Generate Company key"));
    m_keyEdit->setObjectName(QStringLiteral("1000"));
    m_destEdit->setObjectName(QStringLiteral("1001"));
    m_companyEdit->setObjectName(QStringLiteral("1004"));
    m_companyEdit->setMaxLength(kMaxCompanyName);
    // The name goes into a 16-byte field of the encrypted package: the limit counts its bytes.
    m_companyEdit->setValidator(new Utf8LengthValidator(kMaxCompanyName, m_companyEdit));
    m_generate->setObjectName(QStringLiteral("1002"));
    auto* selectPath = new QPushButton(QStringLiteral("Select path"), this);
    selectPath->setObjectName(QStringLiteral("1006"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("1003"));

    m_keyEdit->setMinimumWidth(136);     // 91 dialog units
    m_companyEdit->setMinimumWidth(136);
    m_destEdit->setMinimumWidth(456);    // 304 dialog units

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Dest file"), this), 0, 0);
    layout->addWidget(m_destEdit, 0, 1, 1, 3);
    layout->addWidget(selectPath, 0, 4);
    layout->addWidget(new QLabel(QStringLiteral("Company key"), this), 1, 0);
    layout->addWidget(m_keyEdit, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("Company key ex> 010203040506"), this), 1, 2, 1, 3);
    layout->addWidget(new QLabel(QStringLiteral("Company name"), this), 2, 0);
    layout->addWidget(m_companyEdit, 2, 1);
    layout->addWidget(new QLabel(QStringLiteral("maxium 16 bytes"), this), 2, 2);
    layout->addWidget(m_generate, 2, 3);
    layout->addWidget(close, 2, 4);
    layout->setColumnStretch(2, 1);
    resize(629, 107); // 419 x 67 dialog units

    connect(m_generate, &QPushButton::clicked, this, &CGenerateKeyDlg::OnGenerate);
    connect(selectPath, &QPushButton::clicked, this, &CGenerateKeyDlg::OnSelectPath);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_keyEdit, &QLineEdit::textChanged, this, &CGenerateKeyDlg::OnUpdateKey);
    m_exchange.bind(m_strKey, m_keyEdit);
    m_exchange.bind(m_strDestPath, m_destEdit);
    m_exchange.bind(m_strCompanyName, m_companyEdit);
    swallow_enter_and_escape(this);
}

void CGenerateKeyDlg::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        OnInitDialog();
    QDialog::showEvent(event);
}

void CGenerateKeyDlg::UpdateData(bool saveAndValidate)
{
    // Filling the key edit notifies OnUpdateKey, which must not read the other edits before they
    // are filled too.
    m_pushing = !saveAndValidate;
    m_exchange.exchange(saveAndValidate);
    m_pushing = false;
}

void CGenerateKeyDlg::OnInitDialog()
{
    UpdateData(false);
    m_keyEdit->setMaxLength(kKeyDigits);
    OnUpdateKey();
}

void CGenerateKeyDlg::OnUpdateKey()
{
    if (m_pushing)
        return;
    UpdateData(true);
    m_generate->setEnabled(m_strKey.size() > kKeyDigits - 1);
    UpdateData(false);
}

void CGenerateKeyDlg::OnSelectPath()
{
    UpdateData(true);
    ChooserRequest request;
    request.kind = ChooserKind::SaveFile;
    request.parent = this;
    request.title = QStringLiteral("Select file");
    request.initial_path = m_strDestPath;
    request.filter = QStringLiteral("Dest File(*.wrp)|*.wrp||");
    request.default_suffix = QStringLiteral("wrp");
    if (const auto chosen = choose_path(request)) {
        m_strDestPath = *chosen;
        UpdateData(false);
    }
}

void CGenerateKeyDlg::OnGenerate()
{
    UpdateData(true);
    if (m_strDestPath.isEmpty()) {
        show_message("Select target path");
        return;
    }
    if (m_strCompanyName.isEmpty()) {
        show_message("Input brand");
        return;
    }
    if (m_strKey.size() != kKeyDigits) {
        show_message("Invalid vid");
        return;
    }
    // Key bytes 0 and 1 are zero; the user's digits give bytes 2 to 7.
    const int result = write_company_key_file("0000" + to_std(m_strKey), to_std(m_strCompanyName), to_std(m_strDestPath));
    if (result < 0) {
        show_message(format_text("Fail with Error code[%d]", result));
        return;
    }
    show_message("Success");
    accept();
}

} // namespace kestrane
