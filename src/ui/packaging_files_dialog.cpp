#include "ui/packaging_files_dialog.h"

#include "ops/packing.h"
#include "ui/choosers.h"
#include "ui/control_ids.h"
#include "ui/dialog_data.h"
#include "ui/dialog_front_end.h"
#include "ui/folder_chooser.h"
#include "ui/running_job.h"
#include "ui/widgets.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kestrane {
namespace {

// Widths of the list columns in pixels: "File" (at least; it takes the free width) to "Version",
// then "CompanyName".
constexpr int kColumnWidths[kPackageListColumns] = {100, 100, 100, 100, 100, 130};

QString from_std(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

CPackagingFilesDlg::CPackagingFilesDlg(DialogFrontEnd& front, QWidget* parent) : KestraneDialog(front, parent)
{
    setWindowTitle(QStringLiteral("Packaging files"));

    auto button = [this](const char* text, const char* id) {
        QPushButton* b = new_button(text, id, this);
        // Enter presses no button: the dialog ends only through PACK, Close or Esc.
        b->setAutoDefault(false);
        return b;
    };

    // Created in the order of the template, which is also the tab order.
    QLabel* pathLabel = new_label("Path", this);
    m_pathEdit = new_edit(ids::packaging::kPathEdit, this);
    QLabel* destLabel = new_label("Dest file", this);
    m_destEdit = new_edit(ids::packaging::kDestEdit, this);
    QPushButton* pack = button("PACK", ids::packaging::kPackButton);
    QPushButton* close = button("Close", ids::packaging::kCloseButton);
    QPushButton* browsePath = button("Browse", ids::packaging::kBrowsePathButton);
    QPushButton* browseDest = button("Browse", ids::packaging::kBrowseDestButton);
    auto* information = new QGroupBox(QStringLiteral("Information"), this);
    QLabel* companyLabel = new_label("Company name", this);
    m_companyEdit = new_edit(ids::packaging::kCompanyEdit, this);
    make_read_only(m_companyEdit);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QString::fromLatin1(ids::packaging::kList));
    QLabel* statusLabel = new_label("Status", this);
    m_statusEdit = new_edit(ids::packaging::kStatusEdit, this);
    make_read_only(m_statusEdit);
    QLabel* versionLabel = new_label("Version", this);
    m_versionEdit = new_edit(ids::packaging::kVersionEdit, this);
    QPushButton* apply = button("Apply", ids::packaging::kApplyButton);
    QLabel* versionHint = new_label("ex> 1.5.2", this);

    // A list view in report mode: one line per entry, no tree, no sorting.
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setSortingEnabled(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setStretchLastSection(false);
    // "File" takes the width the other columns leave: package names are longer than the rest.
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->header()->setSectionsClickable(false);

    auto* top = new QGridLayout;
    top->addWidget(pathLabel, 0, 0);
    top->addWidget(m_pathEdit, 0, 1, 1, 4);
    top->addWidget(browsePath, 0, 5);
    top->addWidget(versionLabel, 1, 0);
    top->addWidget(m_versionEdit, 1, 1);
    top->addWidget(apply, 1, 2);
    top->addWidget(versionHint, 1, 3);
    top->addWidget(destLabel, 2, 0);
    top->addWidget(m_destEdit, 2, 1, 1, 4);
    top->addWidget(browseDest, 2, 5);
    top->setColumnStretch(3, 1);
    top->setColumnStretch(4, 1);
    show_characters(m_versionEdit, kVersionFieldBytes);

    auto* informationLayout = new QGridLayout(information);
    informationLayout->addWidget(companyLabel, 0, 0);
    informationLayout->addWidget(m_companyEdit, 0, 1);
    informationLayout->addWidget(m_list, 1, 0, 1, 3);
    informationLayout->setColumnStretch(2, 1);
    informationLayout->setRowStretch(1, 1);
    show_characters(m_companyEdit, kCompanyNameFieldBytes);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(statusLabel);
    bottom->addWidget(m_statusEdit);
    bottom->addStretch(1);
    bottom->addWidget(pack);
    bottom->addWidget(close);
    m_statusEdit->setMinimumWidth(280); // 188 dialog units

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(information, 1);
    layout->addLayout(bottom);
    // 443 x 188 dialog units, wider so that all six columns show without scrolling and "File" shows
    // whole package names.
    resize(860, 330);

    connect(browsePath, &QPushButton::clicked, this, when_idle(this, &CPackagingFilesDlg::OnBrowsePath));
    connect(browseDest, &QPushButton::clicked, this, when_idle(this, &CPackagingFilesDlg::OnBrowseDest));
    connect(apply, &QPushButton::clicked, this, when_idle(this, &CPackagingFilesDlg::OnApply));
    connect(pack, &QPushButton::clicked, this, when_idle(this, &CPackagingFilesDlg::OnPack));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    m_exchange.bind(m_strDestFile, m_destEdit);
    m_exchange.bind(m_strPath, m_pathEdit);
    m_exchange.bind(m_strCompanyName, m_companyEdit);
    m_exchange.bind(m_strStatus, m_statusEdit);
    m_exchange.bind(m_strVersion, m_versionEdit);
}

void CPackagingFilesDlg::OnInitDialog()
{
    UpdateData(false);
    limit_to_bytes(m_versionEdit, kVersionFieldBytes);

    QStringList headings;
    for (const std::string& heading : package_list_headings())
        headings.append(from_std(heading));
    m_list->setColumnCount(static_cast<int>(kPackageListColumns));
    m_list->setHeaderLabels(headings);
    for (int column = 0; column < static_cast<int>(kPackageListColumns); ++column) {
        m_list->headerItem()->setTextAlignment(column, Qt::AlignLeft | Qt::AlignVCenter);
        m_list->setColumnWidth(column, kColumnWidths[column]);
    }

    // Verdana, 12 pixels; Hangul in a name falls back to a font that has it.
    m_listFont = QFont(QStringList{QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"),
                                   QStringLiteral("NanumGothic")});
    m_listFont.setPixelSize(12);
    m_list->setFont(m_listFont);
    m_list->update();
}

void CPackagingFilesDlg::FieldsToForm()
{
    m_form.path = to_std(m_strPath);
    m_form.dest_file = to_std(m_strDestFile);
    m_form.company_name = to_std(m_strCompanyName);
    m_form.status = to_std(m_strStatus);
    m_form.version = to_std(m_strVersion);
}

void CPackagingFilesDlg::FormToFields()
{
    m_strPath = from_std(m_form.path);
    m_strDestFile = from_std(m_form.dest_file);
    m_strCompanyName = from_std(m_form.company_name);
    m_strStatus = from_std(m_form.status);
    m_strVersion = from_std(m_form.version);
}

void CPackagingFilesDlg::RebuildRows()
{
    m_list->clear();
    for (const HeaderSummary& entry : m_form.entries) {
        const PackageListRow row = package_list_row(entry);
        auto* item = new QTreeWidgetItem;
        for (size_t column = 0; column < kPackageListColumns; ++column)
            item->setText(static_cast<int>(column), from_std(row[column]));
        m_list->addTopLevelItem(item);
    }
}

void CPackagingFilesDlg::OnBrowsePath()
{
    UpdateData(true);
    const std::optional<QString> folder = choose_folder(m_front, nullptr, m_strPath);
    if (!folder)
        return;
    UpdateData(true);
    m_strVersion.clear();
    UpdateData(false);

    FieldsToForm();
    scan_package_sources(m_front, m_form, to_std(*folder));
    pick_package_version(m_form);
    update_package_destination(m_form);
    FormToFields();
    UpdateData(false);
    RebuildRows();
}

void CPackagingFilesDlg::OnBrowseDest()
{
    UpdateData(true);
    const ChooserRequest request =
        select_file_request(ChooserKind::SaveFile, this, m_strDestFile, QStringLiteral("Dest File|*||"));
    if (const std::optional<QString> chosen = m_front.choose_path(request)) {
        m_strDestFile = *chosen;
        UpdateData(false);
    }
}

void CPackagingFilesDlg::OnApply()
{
    UpdateData(true);
    if (m_strPath.isEmpty())
        return;
    if (m_strVersion.isEmpty()) {
        m_front.show_message("Input version");
        return;
    }
    FieldsToForm();
    update_package_destination(m_form);
    FormToFields();
    UpdateData(false);
}

void CPackagingFilesDlg::OnPack()
{
    UpdateData(true);
    // The list shows the form's entries: those are packed, from the folder in the Path field.
    FieldsToForm();
    run_job([this] { return pack_listed_packages(m_front, packing_job_of(m_form)); });
    accept();
}

} // namespace kestrane
