#include "ui/encrypt_file_dialog.h"

#include "common/file_io.h"
#include "common/messages.h"
#include "common/text_format.h"
#include "crypt/company_key_file.h"
#include "crypt/encrypted_package.h"
#include "format/path_rules.h"
#include "common/program_directory.h"
#include "format/tagged_file.h"
#include "settings/encrypt_operation.h"
#include "settings/settings_store.h"
#include "ui/choosers.h"
#include "ui/dialog_data.h"
#include "ui/dialog_keys.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace kestrane {
namespace {



} // namespace

CEncryptFileDlg::CEncryptFileDlg(QWidget* parent)
    : QDialog(parent),
      m_keyFileEdit(new QLineEdit(this)),
      m_companyEdit(new QLineEdit(this)),
      m_sourceEdit(new QLineEdit(this)),
      m_destEdit(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Encrypt file"));
    m_keyFileEdit->setObjectName(QStringLiteral("1007"));
    m_companyEdit->setObjectName(QStringLiteral("1004"));
    m_companyEdit->setReadOnly(true);
    m_sourceEdit->setObjectName(QStringLiteral("1000"));
    m_destEdit->setObjectName(QStringLiteral("1001"));

    auto button = [this](const char* text, const char* id) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromLatin1(id));
        return b;
    };
    QPushButton* selectKeyFile = button("Select", "1008");
    QPushButton* browseSource = button("Browse", "1005");
    QPushButton* browseDest = button("Browse", "1006");
    QPushButton* encrypt = button("Encrypt", "1002");
    QPushButton* close = button("Close", "1003");

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Company key"), this), 0, 0);
    layout->addWidget(m_keyFileEdit, 0, 1);
    layout->addWidget(selectKeyFile, 0, 2);
    layout->addWidget(new QLabel(QStringLiteral("Company name"), this), 1, 0);
    layout->addWidget(m_companyEdit, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("Src file"), this), 2, 0);
    layout->addWidget(m_sourceEdit, 2, 1);
    layout->addWidget(browseSource, 2, 2);
    layout->addWidget(new QLabel(QStringLiteral("Dest file"), this), 3, 0);
    layout->addWidget(m_destEdit, 3, 1);
    layout->addWidget(browseDest, 3, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(encrypt);
    buttons->addWidget(close);
    layout->addLayout(buttons, 4, 0, 1, 3);
    layout->setColumnStretch(1, 1);
    m_sourceEdit->setMinimumWidth(220); // 146 dialog units
    resize(400, 160);                   // 226 x 100 dialog units, a little wider for the labels

    connect(selectKeyFile, &QPushButton::clicked, this, &CEncryptFileDlg::OnSelectKeyFile);
    connect(browseSource, &QPushButton::clicked, this, &CEncryptFileDlg::OnBrowseSource);
    connect(browseDest, &QPushButton::clicked, this, &CEncryptFileDlg::OnBrowseDest);
    connect(encrypt, &QPushButton::clicked, this, &CEncryptFileDlg::OnEncrypt);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    m_exchange.bind(m_strKeyFile, m_keyFileEdit);
    m_exchange.bind(m_strSource, m_sourceEdit);
    m_exchange.bind(m_strDest, m_destEdit);
    m_exchange.bind(m_strCompanyName, m_companyEdit);
    swallow_enter_and_escape(this);
}

void CEncryptFileDlg::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        OnInitDialog();
    QDialog::showEvent(event);
}

void CEncryptFileDlg::UpdateData(bool saveAndValidate)
{
    m_exchange.exchange(saveAndValidate);
}

void CEncryptFileDlg::OnInitDialog()
{
    UpdateData(false);
    UpdateData(true);
    const std::string fallback = join_path(program_directory(), kDefaultKeyFileName);
    m_strKeyFile = QString::fromStdString(read_key_file_path_setting(fallback));
    UpdateData(false);
    LoadCompanyName();
    if (!m_strPresetSource.isEmpty())
        SetSource(m_strPresetSource);
}

bool CEncryptFileDlg::LoadCompanyName()
{
    UpdateData(true);
    CompanyKey key{};
    std::string name;
    if (read_company_key_file(to_std(m_strKeyFile), key, name) < 0) {
        m_strCompanyName.clear();
        UpdateData(false);
        show_message("Could not load vid from vid.wrp");
        return false;
    }
    m_strCompanyName = QString::fromStdString(name);
    UpdateData(false);
    return true;
}

void CEncryptFileDlg::SetSource(const QString& path)
{
    const std::optional<HeaderSummary> summary = chosen_file_summary(path);
    if (!summary)
        return;
    UpdateData(true);
    m_strSource = path;
    m_strDest = proposed_destination(path, m_strCompanyName, *summary);
    UpdateData(false);
}

void CEncryptFileDlg::OnSelectKeyFile()
{
    UpdateData(true);
    const std::optional<QString> chosen = choose_company_key_file(this, m_strKeyFile);
    if (!chosen)
        return;
    m_strKeyFile = *chosen;
    UpdateData(false);
    if (!LoadCompanyName())
        return;
    write_key_file_path_setting(to_std(m_strKeyFile));
    // The destination follows the new company name; with no source yet there is nothing to redo.
    if (!m_strSource.isEmpty())
        SetSource(m_strSource);
}

void CEncryptFileDlg::OnBrowseSource()
{
    UpdateData(true);
    if (m_strCompanyName.isEmpty()) {
        show_message("Input brand name");
        return;
    }
    if (const auto chosen = choose_path(select_file_request(ChooserKind::OpenFile, this, m_strSource, kWrpFileFilter)))
        SetSource(*chosen);
}

void CEncryptFileDlg::OnBrowseDest()
{
    UpdateData(true);
    const auto chosen =
        choose_path(select_file_request(ChooserKind::SaveFile, this, m_strDest, QStringLiteral("Src File|*||")));
    if (!chosen)
        return;
    m_strDest = *chosen;
    UpdateData(false);
}

void CEncryptFileDlg::OnEncrypt()
{
    UpdateData(true);
    if (!m_strRequiredCompany.isEmpty() && m_strRequiredCompany != m_strCompanyName) {
        show_message(format_text("Doesn't match brand name with [%s]", to_std(m_strRequiredCompany).c_str()));
        return;
    }
    const std::string source = to_std(m_strSource);
    if (!path_exists(source)) {
        show_message("don't exists file");
        return;
    }
    if (to_std(m_strCompanyName).size() > package::kMaxCompanyName) {
        show_message("Brand error");
        return;
    }
    CompanyKey key{};
    std::string company_name;
    if (read_company_key_file(to_std(m_strKeyFile), key, company_name) < 0) {
        show_message("Could not load vid from vid.wrp");
        return;
    }
    set_company_key(key);

    HeaderSummary summary;
    read_header_summary(source, summary);
    const int result = encrypt_package(source, to_std(m_strDest), company_name, use_new_encrypt_mode(summary.type_tag));
    if (result < 0) {
        show_message(format_text("encrypt_package() Failed with error [%d]", result));
        return;
    }
    show_message("Success to encrypt file for tev");
    accept();
}

} // namespace kestrane
