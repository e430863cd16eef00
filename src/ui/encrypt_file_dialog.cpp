#include "ui/encrypt_file_dialog.h"

#include "common/paths.h"
#include "common/text_format.h"
#include "ops/encryption.h"
#include "ui/choosers.h"
#include "ui/control_ids.h"
#include "ui/dialog_data.h"
#include "ui/dialog_front_end.h"
#include "ui/dialog_keys.h"
#include "ui/running_job.h"
#include "ui/widgets.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kestrane {

CEncryptFileDlg::CEncryptFileDlg(DialogFrontEnd& front, QWidget* parent)
    : KestraneDialog(front, parent), m_keyFileEdit(new_edit(ids::encrypt::kKeyFileEdit, this)),
      m_companyEdit(new_edit(ids::encrypt::kCompanyEdit, this)),
      m_sourceEdit(new_edit(ids::encrypt::kSourceEdit, this)), m_destEdit(new_edit(ids::encrypt::kDestEdit, this)),
      m_keyField(front, m_strKeyFile, m_strCompanyName, [this](bool save) { UpdateData(save); })
{
    setWindowTitle(QStringLiteral("Encrypt file"));
    make_read_only(m_companyEdit);

    QPushButton* selectKeyFile = new_button("Select", ids::encrypt::kSelectKeyFileButton, this);
    QPushButton* browseSource = new_button("Browse", ids::encrypt::kBrowseSourceButton, this);
    QPushButton* browseDest = new_button("Browse", ids::encrypt::kBrowseDestButton, this);
    QPushButton* encrypt = new_button("Encrypt", ids::encrypt::kEncryptButton, this);
    QPushButton* close = new_button("Close", ids::encrypt::kCloseButton, this);

    auto* layout = new QGridLayout(this);
    layout->addWidget(new_label("Company key", this), 0, 0);
    layout->addWidget(m_keyFileEdit, 0, 1);
    layout->addWidget(selectKeyFile, 0, 2);
    layout->addWidget(new_label("Company name", this), 1, 0);
    layout->addWidget(m_companyEdit, 1, 1);
    layout->addWidget(new_label("Src file", this), 2, 0);
    layout->addWidget(m_sourceEdit, 2, 1);
    layout->addWidget(browseSource, 2, 2);
    layout->addWidget(new_label("Dest file", this), 3, 0);
    layout->addWidget(m_destEdit, 3, 1);
    layout->addWidget(browseDest, 3, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(encrypt);
    buttons->addWidget(close);
    layout->addLayout(buttons, 4, 0, 1, 3);
    layout->setColumnStretch(1, 1);
    // Wider than the template's 146 dialog units: a whole typical path shows.
    for (QLineEdit* path : {m_keyFileEdit, m_sourceEdit, m_destEdit})
        show_characters(path, 56, QLatin1Char('x'));

    set_tab_order({m_keyFileEdit, selectKeyFile, m_companyEdit, m_sourceEdit, browseSource, m_destEdit, browseDest,
                   encrypt, close});

    connect(selectKeyFile, &QPushButton::clicked, this, when_idle(this, &CEncryptFileDlg::OnSelectKeyFile));
    connect(m_keyFileEdit, &QLineEdit::textEdited, this, [this] { m_keyField.NoteTyped(); });
    connect(m_keyFileEdit, &QLineEdit::editingFinished, this, when_idle(this, &CEncryptFileDlg::OnKeyFileEdited));
    connect(browseSource, &QPushButton::clicked, this, when_idle(this, &CEncryptFileDlg::OnBrowseSource));
    connect(browseDest, &QPushButton::clicked, this, when_idle(this, &CEncryptFileDlg::OnBrowseDest));
    connect(encrypt, &QPushButton::clicked, this, when_idle(this, &CEncryptFileDlg::OnEncrypt));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    m_exchange.bind(m_strKeyFile, m_keyFileEdit);
    m_exchange.bind(m_strSource, m_sourceEdit);
    m_exchange.bind(m_strDest, m_destEdit);
    m_exchange.bind(m_strCompanyName, m_companyEdit);
    swallow_enter_and_escape(this);
}

void CEncryptFileDlg::OnInitDialog()
{
    UpdateData(false);
    m_keyField.LoadStored(kDefaultKeyFileName);
    if (!m_strPresetSource.isEmpty())
        SetSource(m_strPresetSource);
}

void CEncryptFileDlg::SetSource(const QString& path)
{
    UpdateData(true);
    const std::optional<EncryptionSource> source =
        inspect_encryption_source(m_front, to_std(path), to_std(m_strCompanyName));
    if (!source)
        return;
    m_strSource = path;
    m_strDest = QString::fromStdString(source->proposed_output);
    UpdateData(false);
}

void CEncryptFileDlg::OnSelectKeyFile()
{
    // The destination follows the new company name; with no source yet there is nothing to redo.
    if (m_keyField.Browse(this) && !m_strSource.isEmpty())
        SetSource(m_strSource);
}

void CEncryptFileDlg::OnKeyFileEdited()
{
    if (m_keyField.LoadTyped() && !m_strSource.isEmpty())
        SetSource(m_strSource);
}

void CEncryptFileDlg::OnBrowseSource()
{
    UpdateData(true);
    if (m_strCompanyName.isEmpty()) {
        m_front.show_message("Input brand name");
        return;
    }
    if (const auto chosen =
            m_front.choose_path(select_file_request(ChooserKind::OpenFile, this, m_strSource, kWrpFileFilter)))
        SetSource(*chosen);
}

void CEncryptFileDlg::OnBrowseDest()
{
    UpdateData(true);
    const auto chosen = m_front.choose_path(
        select_file_request(ChooserKind::SaveFile, this, m_strDest, QStringLiteral("Src File|*||")));
    if (!chosen)
        return;
    m_strDest = *chosen;
    UpdateData(false);
}

void CEncryptFileDlg::OnEncrypt()
{
    UpdateData(true);
    if (!m_strRequiredCompany.isEmpty() && m_strRequiredCompany != m_strCompanyName) {
        m_front.show_message(format_text("Doesn't match brand name with [%s]", to_std(m_strRequiredCompany).c_str()));
        return;
    }
    const std::string source = to_std(m_strSource);
    if (!path_exists(source)) {
        m_front.show_message("don't exists file");
        return;
    }
    if (to_std(m_strCompanyName).size() > kCompanyNameFieldBytes) {
        m_front.show_message("Brand error");
        return;
    }
    if (run_job([&] { return encrypt_for_company(m_front, to_std(m_strKeyFile), source, to_std(m_strDest)); })
        != kEncrypted)
        return;
    m_front.show_message("Success to encrypt file for tev");
    accept();
}

} // namespace kestrane
