#include "ui/generate_key_dialog.h"

#include "ops/key_generation.h"
#include "ui/choosers.h"
#include "ui/control_ids.h"
#include "ui/dialog_data.h"
#include "ui/dialog_front_end.h"
#include "ui/dialog_keys.h"
#include "ui/running_job.h"
#include "ui/widgets.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kestrane {

CGenerateKeyDlg::CGenerateKeyDlg(DialogFrontEnd& front, QWidget* parent)
    : KestraneDialog(front, parent), m_keyEdit(new_edit(ids::generate_key::kKeyEdit, this)),
      m_destEdit(new_edit(ids::generate_key::kDestEdit, this)),
      m_companyEdit(new_edit(ids::generate_key::kCompanyEdit, this)),
      m_generate(new_button("Generate", ids::generate_key::kGenerateButton, this))
{
    setWindowTitle(QStringLiteral("Generate Company key"));
    // The name goes into the 16-byte company field of every package made with the key.
    limit_to_bytes(m_companyEdit, kCompanyNameFieldBytes);
    QPushButton* selectPath = new_button("Select path", ids::generate_key::kSelectPathButton, this);
    QPushButton* close = new_button("Close", ids::generate_key::kCloseButton, this);

    m_keyEdit->setMinimumWidth(136); // 91 dialog units
    show_characters(m_companyEdit, kCompanyNameFieldBytes);
    m_destEdit->setMinimumWidth(456);    // 304 dialog units

    auto* layout = new QGridLayout(this);
    layout->addWidget(new_label("Dest file", this), 0, 0);
    layout->addWidget(m_destEdit, 0, 1, 1, 3);
    layout->addWidget(selectPath, 0, 4);
    layout->addWidget(new_label("Company key", this), 1, 0);
    layout->addWidget(m_keyEdit, 1, 1);
    layout->addWidget(new_label("Company key ex> 010203040506", this), 1, 2, 1, 3);
    layout->addWidget(new_label("Company name", this), 2, 0);
    layout->addWidget(m_companyEdit, 2, 1);
    layout->addWidget(new_label("maxium 16 bytes", this), 2, 2);
    layout->addWidget(m_generate, 2, 3);
    layout->addWidget(close, 2, 4);
    layout->setColumnStretch(2, 1);
    resize(629, 107); // 419 x 67 dialog units

    set_tab_order({m_destEdit, selectPath, m_keyEdit, m_companyEdit, m_generate, close});

    connect(m_generate, &QPushButton::clicked, this, when_idle(this, &CGenerateKeyDlg::OnGenerate));
    connect(selectPath, &QPushButton::clicked, this, when_idle(this, &CGenerateKeyDlg::OnSelectPath));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_keyEdit, &QLineEdit::textChanged, this, &CGenerateKeyDlg::OnUpdateKey);
    m_exchange.bind(m_strKey, m_keyEdit);
    m_exchange.bind(m_strDestPath, m_destEdit);
    m_exchange.bind(m_strCompanyName, m_companyEdit);
    swallow_enter_and_escape(this);
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
    m_keyEdit->setMaxLength(kCompanyKeyDigits);
    OnUpdateKey();
}

void CGenerateKeyDlg::OnUpdateKey()
{
    if (m_pushing)
        return;
    UpdateData(true);
    m_generate->setEnabled(m_strKey.size() > static_cast<qsizetype>(kCompanyKeyDigits) - 1);
    UpdateData(false);
}

void CGenerateKeyDlg::OnSelectPath()
{
    UpdateData(true);
    ChooserRequest request =
        select_file_request(ChooserKind::SaveFile, this, m_strDestPath, QStringLiteral("Dest File(*.wrp)|*.wrp||"));
    request.default_suffix = QStringLiteral("wrp");
    if (const auto chosen = m_front.choose_path(request)) {
        m_strDestPath = *chosen;
        UpdateData(false);
    }
}

void CGenerateKeyDlg::OnGenerate()
{
    UpdateData(true);
    // The key edit counts characters: as one byte each, a character that is no digit stays one
    // (wrong) digit, and the key text is refused for it rather than for its length.
    const std::string digits = m_strKey.toLatin1().toStdString();
    const KeyFileRequest request{
        .digits = digits, .company_name = to_std(m_strCompanyName), .destination = to_std(m_strDestPath)};
    if (run_job([&] { return generate_company_key_file(m_front, request); }) == kKeyFileGenerated)
        accept();
}

} // namespace kestrane
