#include "ui/main_dialog.h"

#include "common/file_io.h"
#include "common/messages.h"
#include "common/text_format.h"
#include "crypt/company_key_file.h"
#include "format/path_rules.h"
#include "common/program_directory.h"
#include "format/tagged_file.h"
#include "settings/encrypt_operation.h"
#include "settings/settings_store.h"
#include "ui/choosers.h"
#include "ui/dialog_chains.h"
#include "ui/dialog_data.h"
#include "ui/dialog_keys.h"
#include "ui/file_version_reader.h"
#include "ui/folder_chooser.h"
#include "ui/packaging_files_dialog.h"
#include "ui/setting_dialog.h"
#include "wrap/source_checks.h"
#include "wrap/wrapping.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

namespace kestrane {
namespace {


// The open-file filter of the source "Browse" for each wrapping type (the folder types have none).
QString source_filter(int type)
{
    switch (type) {
    case kWrapBrand:
        return QStringLiteral("Conf file(*.conf)|*.conf|All file|*.*|");
    case kWrapOcx:
        return QStringLiteral("Cab file(*.cab)|*.cab|All file|*.*|");
    case kWrapKernel:
    case kWrapEmergency:
        return QStringLiteral("Kernel file(*.krn)|*.krn|All file|*.*|");
    case kWrapBootloader:
        return QStringLiteral("Image file(*.img)|*.img|All file|*.*|");
    case kWrapDome7720:
    case kWrapDome7760:
        return QStringLiteral("Dome file(*.bin)|*.bin|All file|*.*|");
    default:
        return QStringLiteral("All file|*.*|");
    }
}


// The local files among dropped URLs, in drop order.
QStringList dropped_local_files(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths.append(QDir::toNativeSeparators(url.toLocalFile()));
    }
    return paths;
}

} // namespace

CKestraneDlg::CKestraneDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Kestrane"));
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_ComputerIcon);
    setWindowIcon(icon);
    setAcceptDrops(true);

    auto edit = [this](const char* id, QWidget* owner) {
        auto* e = new QLineEdit(owner);
        e->setObjectName(QString::fromLatin1(id));
        return e;
    };
    auto button = [](const char* text, const char* id, QWidget* owner) {
        auto* b = new QPushButton(QString::fromUtf8(text), owner);
        b->setObjectName(QString::fromLatin1(id));
        return b;
    };
    auto label = [](const char* text, QWidget* owner) { return new QLabel(QString::fromUtf8(text), owner); };

    // "Company key"
    auto* keyGroup = new QGroupBox(QStringLiteral("Company key"), this);
    m_keyFileEdit = edit("1018", keyGroup);
    QPushButton* browseKeyFile = button("Browse", "1019", keyGroup);
    m_companyEdit = edit("1017", keyGroup);
    m_companyEdit->setReadOnly(true);
    m_modeLabel = label("Static", keyGroup);
    m_modeLabel->setObjectName(QStringLiteral("1033"));
    auto* keyLayout = new QGridLayout(keyGroup);
    keyLayout->addWidget(label("Company key", keyGroup), 0, 0);
    keyLayout->addWidget(m_keyFileEdit, 0, 1, 1, 3);
    keyLayout->addWidget(browseKeyFile, 0, 4);
    keyLayout->addWidget(label("Company name", keyGroup), 1, 0);
    keyLayout->addWidget(m_companyEdit, 1, 1);
    keyLayout->addWidget(m_modeLabel, 1, 3, 1, 2, Qt::AlignRight);
    keyLayout->setColumnStretch(1, 2);
    keyLayout->setColumnStretch(2, 1);

    QPushButton* close = button("Close", "1003", this);

    // The encryption of an existing file (a box without a title).
    auto* encryptGroup = new QGroupBox(this);
    m_sourceEdit = edit("1007", encryptGroup);
    QPushButton* browseSource = button("Browse", "1010", encryptGroup);
    m_destEdit = edit("1008", encryptGroup);
    m_sourceVersionEdit = edit("1025", encryptGroup);
    m_sourceVersionEdit->setReadOnly(true);
    m_toggle = button(">>", "1024", encryptGroup);
    QPushButton* encrypt = button("Encrypt", "1009", encryptGroup);
    auto* encryptLayout = new QGridLayout(encryptGroup);
    encryptLayout->addWidget(label("Src file", encryptGroup), 0, 0);
    encryptLayout->addWidget(m_sourceEdit, 0, 1, 1, 3);
    encryptLayout->addWidget(browseSource, 0, 4);
    encryptLayout->addWidget(label("Dest file", encryptGroup), 1, 0);
    encryptLayout->addWidget(m_destEdit, 1, 1, 1, 3);
    encryptLayout->addWidget(label("Version", encryptGroup), 2, 0);
    encryptLayout->addWidget(m_sourceVersionEdit, 2, 1);
    encryptLayout->addWidget(m_toggle, 2, 3, Qt::AlignRight);
    encryptLayout->addWidget(encrypt, 2, 4);
    encryptLayout->setColumnStretch(1, 2);
    encryptLayout->setColumnStretch(2, 1);

    // "Wrapping & encrypt"
    m_wrappingGroup = new QGroupBox(QStringLiteral("Wrapping && encrypt"), this);
    m_cbType = new QComboBox(m_wrappingGroup);
    m_cbType->setObjectName(QStringLiteral("1023"));
    for (const WrappingType& type : wrapping_types())
        m_cbType->addItem(QString::fromUtf8(type.list_text.data(), static_cast<qsizetype>(type.list_text.size())));
    m_cbType->setCurrentIndex(-1);
    m_sourcePathEdit = edit("1029", m_wrappingGroup);
    QPushButton* browseSourcePath = button("Browse", "1027", m_wrappingGroup);
    m_versionEdit = edit("1004", m_wrappingGroup);
    QPushButton* wrap = button("org -> wrp", "1026", m_wrappingGroup);
    QPushButton* wrapAndEncrypt = button("org -> wrp -> enc", "1012", m_wrappingGroup);
    auto* wrappingLayout = new QGridLayout(m_wrappingGroup);
    wrappingLayout->addWidget(label("Type", m_wrappingGroup), 0, 0);
    wrappingLayout->addWidget(m_cbType, 0, 1);
    wrappingLayout->addWidget(label("Src path", m_wrappingGroup), 1, 0);
    wrappingLayout->addWidget(m_sourcePathEdit, 1, 1, 1, 4);
    wrappingLayout->addWidget(browseSourcePath, 1, 5);
    wrappingLayout->addWidget(label("Version", m_wrappingGroup), 2, 0);
    wrappingLayout->addWidget(m_versionEdit, 2, 1);
    wrappingLayout->addWidget(label("Max 20 bytes - ex> 1.5.2", m_wrappingGroup), 2, 2);
    wrappingLayout->addWidget(wrap, 2, 4);
    wrappingLayout->addWidget(wrapAndEncrypt, 2, 5);
    wrappingLayout->setColumnStretch(1, 2);
    wrappingLayout->setColumnStretch(3, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(keyGroup, 1);
    top->addWidget(close, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(encryptGroup);
    layout->addWidget(m_wrappingGroup);
    layout->addStretch(1);
    m_sourceEdit->setMinimumWidth(360);

    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(browseSourcePath, &QPushButton::clicked, this, &CKestraneDlg::OnBrowseSourcePath);
    connect(browseKeyFile, &QPushButton::clicked, this, &CKestraneDlg::OnBrowseKeyFile);
    connect(m_toggle, &QPushButton::clicked, this, &CKestraneDlg::OnToggleExpand);
    connect(browseSource, &QPushButton::clicked, this, &CKestraneDlg::OnBrowseSource);
    connect(wrap, &QPushButton::clicked, this, &CKestraneDlg::OnWrap);
    connect(encrypt, &QPushButton::clicked, this, &CKestraneDlg::OnEncrypt);
    connect(wrapAndEncrypt, &QPushButton::clicked, this, &CKestraneDlg::OnWrapAndEncrypt);
    connect(m_cbType, &QComboBox::currentIndexChanged, this, &CKestraneDlg::OnTypeChanged);
    m_exchange.bind(m_strSourcePath, m_sourcePathEdit);
    m_exchange.bind(m_strVersion, m_versionEdit);
    m_exchange.bind(m_strDest, m_destEdit);
    m_exchange.bind(m_strSource, m_sourceEdit);
    m_exchange.bind(m_strSourceVersion, m_sourceVersionEdit);
    m_exchange.bind(m_strCompanyName, m_companyEdit);
    m_exchange.bind(m_strKeyFile, m_keyFileEdit);
    swallow_enter_and_escape(this);

    // The menus come after the key filter: Enter still chooses an item of an open menu.
    auto* menuBar = new QMenuBar(this);
    layout->setMenuBar(menuBar);
    auto command = [this](QMenu* menu, const char* text, const char* id, void (CKestraneDlg::*handler)()) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setObjectName(QString::fromLatin1(id));
        connect(action, &QAction::triggered, this, handler);
    };
    QMenu* file = menuBar->addMenu(QStringLiteral("&File"));
    command(file, "&Exit", "32771", &CKestraneDlg::accept);
    QMenu* generate = menuBar->addMenu(QStringLiteral("&Generate"));
    command(generate, "Generate CompanyKey", "32772", &CKestraneDlg::OnGenerateCompanyKey);
    command(generate, "Packaging Files", "32773", &CKestraneDlg::OnPackagingFiles);
    QMenu* option = menuBar->addMenu(QStringLiteral("Option"));
    command(option, "Setting", "32776", &CKestraneDlg::OnSetting);
    // There is no system menu to extend here: the About entry follows "Setting".
    option->addSeparator();
    command(option, "Kestrane 정보(&A)...", "16", &CKestraneDlg::OnAbout);
}

void CKestraneDlg::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        OnInitDialog();
    QDialog::showEvent(event);
}

void CKestraneDlg::UpdateData(bool saveAndValidate)
{
    m_exchange.exchange(saveAndValidate);
}

void CKestraneDlg::OnInitDialog()
{
    UpdateData(false);
    setWindowTitle(program_version_title());

    // The full height is the laid-out height with every group shown.
    resize(std::max(width(), 690), std::max(height(), sizeHint().height()));
    m_nFullHeight = height();
    m_bExpanded = true;
    OnToggleExpand();

    RefreshCompanyKey();
    UpdateModeLabel();
    // The version goes into a 20-byte field: the limit counts its bytes.
    m_versionEdit->setMaxLength(kMaxVersion);
    m_versionEdit->setValidator(new Utf8LengthValidator(kMaxVersion, m_versionEdit));
}

void CKestraneDlg::OnToggleExpand()
{
    if (m_bExpanded) {
        m_toggle->setText(QStringLiteral(">>"));
        m_wrappingGroup->hide();
        layout()->activate(); // the smaller minimum first, or the height would be held up
        resize(width(), kCollapsedHeight);
    } else {
        m_toggle->setText(QStringLiteral("<<"));
        m_wrappingGroup->show();
        layout()->activate();
        resize(width(), m_nFullHeight);
    }
    m_bExpanded = !m_bExpanded;
}

void CKestraneDlg::RefreshCompanyKey()
{
    UpdateData(true);
    m_strKeyFile = QString::fromStdString(read_key_file_path_setting(join_path(program_directory(), kDefaultKeyFileName)));
    UpdateData(false);
    LoadCompanyName();
}

bool CKestraneDlg::LoadCompanyName()
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

void CKestraneDlg::UpdateModeLabel()
{
    UpdateData(true);
    const char* mode = read_encrypt_mode_setting() != 0 ? "ENC1" : "ENCR";
    m_modeLabel->setText(QString::fromStdString(format_text("Current Encrypt mode : %s", mode)));
    UpdateData(false);
}

int CKestraneDlg::SelectedType() const
{
    const int type = m_cbType->currentIndex();
    return type >= 0 && type < static_cast<int>(kWrappingTypeCount) ? type : -1;
}

void CKestraneDlg::OnBrowseSourcePath()
{
    UpdateData(true);
    const int type = SelectedType();
    if (type < 0) {
        show_message("Select file type");
        return;
    }
    const QString initial =
        m_strSourcePath.isEmpty() ? QString::fromStdString(read_source_path_setting()) : m_strSourcePath;
    if (wrapping_types()[static_cast<size_t>(type)].directory) {
        if (const std::optional<QString> folder = choose_folder(nullptr, initial))
            ChooseSourcePath(*folder);
        return;
    }
    if (const std::optional<QString> chosen = choose_path(select_file_request(ChooserKind::OpenFile, this, initial, source_filter(type))))
        ChooseSourcePath(*chosen);
}

void CKestraneDlg::ChooseSourcePath(const QString& path)
{
    UpdateData(true);
    const std::string native = to_std(path);
    const SourceInspection inspection = inspect_source(m_cbType->currentIndex(), native);
    if (!inspection.ok)
        return;
    if (!inspection.version_editable) {
        m_strVersion = QString::fromStdString(inspection.version);
        m_versionEdit->setEnabled(false);
    } else {
        m_versionEdit->setEnabled(true);
    }
    UpdateData(false);
    if (!check_source_kind(native, inspection.expected))
        return;
    UpdateData(true);
    m_strSourcePath = path;
    UpdateData(false);
    write_source_path_setting(native);
}

void CKestraneDlg::OnTypeChanged()
{
    UpdateData(true);
    m_strSourcePath.clear();
    m_strVersion.clear();
    UpdateData(false);
}

void CKestraneDlg::OnBrowseKeyFile()
{
    UpdateData(true);
    const std::optional<QString> chosen = choose_company_key_file(nullptr, m_strKeyFile);
    if (!chosen)
        return;
    m_strKeyFile = *chosen;
    UpdateData(false);
    if (!LoadCompanyName())
        return;
    write_key_file_path_setting(to_std(m_strKeyFile));
    // The destination follows the new company name.
    if (!m_strSource.isEmpty())
        ChooseSourceFile(m_strSource);
}

void CKestraneDlg::OnBrowseSource()
{
    UpdateData(true);
    const ChooserRequest request = select_file_request(ChooserKind::OpenFile, nullptr, m_strSource, kWrpFileFilter);
    if (const std::optional<QString> chosen = choose_path(request))
        ChooseSourceFile(*chosen);
}

void CKestraneDlg::ChooseSourceFile(const QString& path)
{
    const std::optional<HeaderSummary> summary = chosen_file_summary(path);
    if (!summary)
        return;
    UpdateData(true);
    m_strSource = path;
    m_strSourceVersion = QString::fromStdString(summary->version);
    m_strDest = proposed_destination(path, m_strCompanyName, *summary);
    UpdateData(false);
}

void CKestraneDlg::OnEncrypt()
{
    UpdateData(true);
    if (!path_exists(to_std(m_strSource))) {
        show_message("don't exists file");
        return;
    }
    if (to_std(m_strCompanyName).size() > kMaxCompanyName) {
        show_message("Company name error");
        return;
    }
    encrypt_wrapped_file(to_std(m_strKeyFile), to_std(m_strSource), to_std(m_strDest));
}

bool CKestraneDlg::CheckWrapInput(bool checkVersionLength)
{
    UpdateData(true);
    if (SelectedType() < 0) {
        show_message("Select file type");
        return false;
    }
    if (m_strSourcePath.isEmpty()) {
        show_message("Select source file");
        return false;
    }
    if (m_strVersion.isEmpty()) {
        show_message("Input version");
        return false;
    }
    if (checkVersionLength && to_std(m_strVersion).size() > kMaxVersion) {
        show_message("Invalid version length(max 20)");
        return false;
    }
    return true;
}

void CKestraneDlg::OnWrap()
{
    if (!CheckWrapInput(true))
        return;
    const std::string source = to_std(m_strSourcePath);
    wrap_file(static_cast<unsigned>(SelectedType()), to_std(m_strVersion), source, source + ".wrp");
    RefreshCompanyKey();
}

void CKestraneDlg::OnWrapAndEncrypt()
{
    // The wrapping itself refuses a version that is too long ("Version error").
    if (!CheckWrapInput(false))
        return;
    const std::string wrapped = to_std(m_strSourcePath) + ".wrp";
    const std::string package = wrapped + "-" + to_std(m_strCompanyName) + ".enc";
    // With a usable company key file the package is written while the wrapped file is.
    EncryptionAlongside alongside;
    const bool alongside_ready = alongside.prepare(to_std(m_strKeyFile), package);
    if (wrap_file(static_cast<unsigned>(SelectedType()), to_std(m_strVersion), to_std(m_strSourcePath), wrapped,
                  alongside.observer()) <= 0)
        return;
    if (alongside_ready)
        alongside.finish();
    else
        encrypt_wrapped_file(to_std(m_strKeyFile), wrapped, package);
}

void CKestraneDlg::OnGenerateCompanyKey()
{
    if (run_generate_company_key(this))
        RefreshCompanyKey();
}

void CKestraneDlg::OnPackagingFiles()
{
    CPackagingFilesDlg packaging(this);
    if (packaging.exec() != QDialog::Accepted)
        return;
    run_encrypt_file_dialog(this, packaging.m_strDestFile, packaging.m_strCompanyName);
    RefreshCompanyKey();
}

void CKestraneDlg::OnSetting()
{
    CSettingDlg setting(this);
    if (setting.exec() == QDialog::Accepted)
        UpdateModeLabel();
}

void CKestraneDlg::OnAbout()
{
    CAboutBoxDlg about(this);
    about.exec();
}

void CKestraneDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (!dropped_local_files(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CKestraneDlg::dropEvent(QDropEvent* event)
{
    OnDropFiles(dropped_local_files(event->mimeData()));
    event->acceptProposedAction();
}

void CKestraneDlg::OnDropFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    ChooseSourcePath(paths.first());
}

} // namespace kestrane
