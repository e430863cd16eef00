#include "ui/main_dialog.h"

#include "common/paths.h"
#include "common/text_format.h"
#include "ops/encryption.h"
#include "ops/firmware_sources.h"
#include "ops/output_names.h"
#include "ops/remembered_settings.h"
#include "ops/wrapping_jobs.h"
#include "ui/choosers.h"
#include "ui/dialog_chains.h"
#include "ui/dialog_data.h"
#include "ui/dialog_front_end.h"
#include "ui/folder_chooser.h"
#include "ui/packaging_files_dialog.h"
#include "ui/program_version.h"
#include "ui/running_job.h"
#include "ui/setting_dialog.h"
#include "ui/widgets.h"

#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

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
    limit_to_bytes(m_versionEdit, kVersionFieldBytes);
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
    m_keyField.LoadStored(kDefaultKeyFileName);
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
        m_front.show_message("Select file type");
        return;
    }
    const QString initial =
        m_strSourcePath.isEmpty() ? QString::fromStdString(read_source_path_setting()) : m_strSourcePath;
    if (wrapping_types()[static_cast<size_t>(type)].directory) {
        if (const std::optional<QString> folder = choose_folder(m_front, nullptr, initial))
            ChooseSourcePath(*folder);
        return;
    }
    if (const std::optional<QString> chosen =
            m_front.choose_path(select_file_request(ChooserKind::OpenFile, this, initial, source_filter(type))))
        ChooseSourcePath(*chosen);
}

void CKestraneDlg::ChooseSourcePath(const QString& path)
{
    UpdateData(true);
    const std::string native = to_std(path);
    const SourceInspection inspection = inspect_wrapping_source(m_front, m_cbType->currentIndex(), native);
    if (!inspection.ok)
        return;
    if (!inspection.version_editable) {
        m_strVersion = QString::fromStdString(inspection.version);
        m_versionEdit->setEnabled(false);
    } else {
        m_versionEdit->setEnabled(true);
    }
    UpdateData(false);
    if (!check_wrapping_source_kind(m_front, native, inspection.expected))
        return;
    UpdateData(true);
    m_strSourcePath = path;
    UpdateData(false);
    // Only where the next Browse starts: when the settings cannot be written it starts elsewhere.
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
    // The destination follows the new company name.
    if (m_keyField.Browse(nullptr) && !m_strSource.isEmpty())
        ChooseSourceFile(m_strSource);
}

void CKestraneDlg::OnKeyFileEdited()
{
    // A typed path counts as a chosen one: the destination must not keep another company's name.
    if (m_keyField.LoadTyped() && !m_strSource.isEmpty())
        ChooseSourceFile(m_strSource);
}

void CKestraneDlg::OnBrowseSource()
{
    UpdateData(true);
    const ChooserRequest request = select_file_request(ChooserKind::OpenFile, nullptr, m_strSource, kWrpFileFilter);
    if (const std::optional<QString> chosen = m_front.choose_path(request))
        ChooseSourceFile(*chosen);
}

void CKestraneDlg::ChooseSourceFile(const QString& path)
{
    UpdateData(true);
    const std::optional<EncryptionSource> source =
        inspect_encryption_source(m_front, to_std(path), to_std(m_strCompanyName));
    if (!source)
        return;
    m_strSource = path;
    m_strSourceVersion = QString::fromStdString(source->version);
    m_strDest = QString::fromStdString(source->proposed_output);
    UpdateData(false);
}

void CKestraneDlg::OnEncrypt()
{
    UpdateData(true);
    if (!path_exists(to_std(m_strSource))) {
        m_front.show_message("don't exists file");
        return;
    }
    if (to_std(m_strCompanyName).size() > kCompanyNameFieldBytes) {
        m_front.show_message("Company name error");
        return;
    }
    run_job(
        [this] { return encrypt_wrapped_file(m_front, to_std(m_strKeyFile), to_std(m_strSource), to_std(m_strDest)); });
}

bool CKestraneDlg::CheckWrapInput(bool checkVersionLength)
{
    UpdateData(true);
    if (SelectedType() < 0) {
        m_front.show_message("Select file type");
        return false;
    }
    if (m_strSourcePath.isEmpty()) {
        m_front.show_message("Select source file");
        return false;
    }
    if (m_strVersion.isEmpty()) {
        m_front.show_message("Input version");
        return false;
    }
    if (checkVersionLength && to_std(m_strVersion).size() > kVersionFieldBytes) {
        m_front.show_message("Invalid version length(max 20)");
        return false;
    }
    return true;
}

WrapRequest CKestraneDlg::WrapRequestOfFields() const
{
    const std::string source = to_std(m_strSourcePath);
    return {static_cast<unsigned>(SelectedType()), to_std(m_strVersion), source, wrapped_file_path(source)};
}

void CKestraneDlg::OnWrap()
{
    if (!CheckWrapInput(true))
        return;
    run_job([this] { return wrap_source(m_front, WrapRequestOfFields()); });
    RefreshCompanyKey();
}

void CKestraneDlg::OnWrapAndEncrypt()
{
    // The wrapping itself refuses a version that is too long ("Version error").
    if (!CheckWrapInput(false))
        return;
    const WrapRequest request = WrapRequestOfFields();
    // The package is named after the company the dialog shows.
    run_job([&] {
        WrapThenEncrypt job(m_front, request,
                            {to_std(m_strKeyFile), encrypted_file_path(request.destination, to_std(m_strCompanyName))});
        if (job.wrap() > 0)
            job.encrypt();
    });
}

void CKestraneDlg::OnGenerateCompanyKey()
{
    if (run_generate_company_key(m_front, this))
        RefreshCompanyKey();
}

void CKestraneDlg::OnPackagingFiles()
{
    CPackagingFilesDlg packaging(m_front, this);
    if (packaging.exec() != QDialog::Accepted)
        return;
    run_encrypt_file_dialog(m_front, this, packaging.m_strDestFile, packaging.m_strCompanyName);
    RefreshCompanyKey();
}

void CKestraneDlg::OnSetting()
{
    CSettingDlg setting(m_front, this);
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
    if (job_running())
        return;
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
