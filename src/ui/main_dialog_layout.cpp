#include "ui/main_dialog.h"

#include "ops/firmware_sources.h"
#include "ui/control_ids.h"
#include "ui/dialog_keys.h"
#include "ui/running_job.h"
#include "ui/widgets.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrane {

// The window's layout: its groups, controls, menus and the handlers they are connected to.
CKestraneDlg::CKestraneDlg(DialogFrontEnd& front, QWidget* parent)
    : KestraneDialog(front, parent),
      m_keyField(front, m_strKeyFile, m_strCompanyName, [this](bool save) { UpdateData(save); })
{
    setWindowTitle(QStringLiteral("Kestrane"));
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowIcon(program_icon());
    setAcceptDrops(true);

    // "Company key"
    auto* keyGroup = new QGroupBox(QStringLiteral("Company key"), this);
    m_keyFileEdit = new_edit(ids::main_dialog::kKeyFileEdit, keyGroup);
    QPushButton* browseKeyFile = new_button("Browse", ids::main_dialog::kBrowseKeyFileButton, keyGroup);
    m_companyEdit = new_edit(ids::main_dialog::kCompanyEdit, keyGroup);
    make_read_only(m_companyEdit);
    m_modeLabel = new_label("Static", keyGroup);
    m_modeLabel->setObjectName(QString::fromLatin1(ids::main_dialog::kModeLabel));
    auto* keyLayout = new QGridLayout(keyGroup);
    keyLayout->addWidget(new_label("Company key", keyGroup), 0, 0);
    keyLayout->addWidget(m_keyFileEdit, 0, 1, 1, 3);
    keyLayout->addWidget(browseKeyFile, 0, 4);
    keyLayout->addWidget(new_label("Company name", keyGroup), 1, 0);
    keyLayout->addWidget(m_companyEdit, 1, 1);
    keyLayout->addWidget(m_modeLabel, 1, 3, 1, 2, Qt::AlignRight);
    keyLayout->setColumnStretch(1, 2);
    keyLayout->setColumnStretch(2, 1);

    QPushButton* close = new_button("Close", ids::main_dialog::kCloseButton, this);

    // The encryption of an existing file (a box without a title).
    auto* encryptGroup = new QGroupBox(this);
    m_sourceEdit = new_edit(ids::main_dialog::kSourceEdit, encryptGroup);
    QPushButton* browseSource = new_button("Browse", ids::main_dialog::kBrowseSourceButton, encryptGroup);
    m_destEdit = new_edit(ids::main_dialog::kDestEdit, encryptGroup);
    m_sourceVersionEdit = new_edit(ids::main_dialog::kSourceVersionEdit, encryptGroup);
    make_read_only(m_sourceVersionEdit);
    m_toggle = new_button(">>", ids::main_dialog::kToggleButton, encryptGroup);
    QPushButton* encrypt = new_button("Encrypt", ids::main_dialog::kEncryptButton, encryptGroup);
    auto* encryptLayout = new QGridLayout(encryptGroup);
    encryptLayout->addWidget(new_label("Src file", encryptGroup), 0, 0);
    encryptLayout->addWidget(m_sourceEdit, 0, 1, 1, 3);
    encryptLayout->addWidget(browseSource, 0, 4);
    encryptLayout->addWidget(new_label("Dest file", encryptGroup), 1, 0);
    encryptLayout->addWidget(m_destEdit, 1, 1, 1, 3);
    encryptLayout->addWidget(new_label("Version", encryptGroup), 2, 0);
    encryptLayout->addWidget(m_sourceVersionEdit, 2, 1);
    encryptLayout->addWidget(m_toggle, 2, 3, Qt::AlignRight);
    encryptLayout->addWidget(encrypt, 2, 4);
    encryptLayout->setColumnStretch(1, 2);
    encryptLayout->setColumnStretch(2, 1);

    // "Wrapping & encrypt"
    m_wrappingGroup = new QGroupBox(QStringLiteral("Wrapping && encrypt"), this);
    m_cbType = new QComboBox(m_wrappingGroup);
    m_cbType->setObjectName(QString::fromLatin1(ids::main_dialog::kTypeCombo));
    for (const WrappingType& type : wrapping_types())
        m_cbType->addItem(QString::fromUtf8(type.list_text.data(), static_cast<qsizetype>(type.list_text.size())));
    m_cbType->setCurrentIndex(-1);
    m_sourcePathEdit = new_edit(ids::main_dialog::kSourcePathEdit, m_wrappingGroup);
    QPushButton* browseSourcePath = new_button("Browse", ids::main_dialog::kBrowseSourcePathButton, m_wrappingGroup);
    m_versionEdit = new_edit(ids::main_dialog::kVersionEdit, m_wrappingGroup);
    QPushButton* wrap = new_button("org -> wrp", ids::main_dialog::kWrapButton, m_wrappingGroup);
    QPushButton* wrapAndEncrypt =
        new_button("org -> wrp -> enc", ids::main_dialog::kWrapAndEncryptButton, m_wrappingGroup);
    auto* wrappingLayout = new QGridLayout(m_wrappingGroup);
    wrappingLayout->addWidget(new_label("Type", m_wrappingGroup), 0, 0);
    wrappingLayout->addWidget(m_cbType, 0, 1);
    wrappingLayout->addWidget(new_label("Src path", m_wrappingGroup), 1, 0);
    wrappingLayout->addWidget(m_sourcePathEdit, 1, 1, 1, 4);
    wrappingLayout->addWidget(browseSourcePath, 1, 5);
    wrappingLayout->addWidget(new_label("Version", m_wrappingGroup), 2, 0);
    wrappingLayout->addWidget(m_versionEdit, 2, 1);
    wrappingLayout->addWidget(new_label("Max 20 bytes - ex> 1.5.2", m_wrappingGroup), 2, 2);
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
    show_characters(m_versionEdit, kVersionFieldBytes);
    show_characters(m_companyEdit, kCompanyNameFieldBytes);
    // The longest button text gets room around it, as the shorter ones have.
    wrapAndEncrypt->setMinimumWidth(wrapAndEncrypt->sizeHint().width() + 2 * fontMetrics().averageCharWidth());

    set_tab_order({m_keyFileEdit, browseKeyFile, m_companyEdit, m_sourceEdit, browseSource, m_destEdit,
                   m_sourceVersionEdit, m_toggle, encrypt, m_cbType, m_sourcePathEdit, browseSourcePath, m_versionEdit,
                   wrap, wrapAndEncrypt, close});

    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(browseSourcePath, &QPushButton::clicked, this, when_idle(this, &CKestraneDlg::OnBrowseSourcePath));
    connect(browseKeyFile, &QPushButton::clicked, this, when_idle(this, &CKestraneDlg::OnBrowseKeyFile));
    connect(m_keyFileEdit, &QLineEdit::textEdited, this, [this] { m_keyField.NoteTyped(); });
    connect(m_keyFileEdit, &QLineEdit::editingFinished, this, when_idle(this, &CKestraneDlg::OnKeyFileEdited));
    connect(m_toggle, &QPushButton::clicked, this, when_idle(this, &CKestraneDlg::OnToggleExpand));
    connect(browseSource, &QPushButton::clicked, this, when_idle(this, &CKestraneDlg::OnBrowseSource));
    connect(wrap, &QPushButton::clicked, this, when_idle(this, &CKestraneDlg::OnWrap));
    connect(encrypt, &QPushButton::clicked, this, when_idle(this, &CKestraneDlg::OnEncrypt));
    connect(wrapAndEncrypt, &QPushButton::clicked, this, when_idle(this, &CKestraneDlg::OnWrapAndEncrypt));
    connect(m_cbType, &QComboBox::currentIndexChanged, this, when_idle(this, &CKestraneDlg::OnTypeChanged));
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
        connect(action, &QAction::triggered, this, when_idle(this, handler));
    };
    QMenu* file = menuBar->addMenu(QStringLiteral("&File"));
    command(file, "&Exit", ids::main_dialog::kExitCommand, &CKestraneDlg::accept);
    QMenu* generate = menuBar->addMenu(QStringLiteral("&Generate"));
    command(generate, "Generate CompanyKey", ids::main_dialog::kGenerateKeyCommand,
            &CKestraneDlg::OnGenerateCompanyKey);
    command(generate, "Packaging Files", ids::main_dialog::kPackagingCommand, &CKestraneDlg::OnPackagingFiles);
    QMenu* option = menuBar->addMenu(QStringLiteral("Option"));
    command(option, "Setting", ids::main_dialog::kSettingCommand, &CKestraneDlg::OnSetting);
    // There is no system menu to extend here: the About entry follows "Setting".
    option->addSeparator();
    command(option, "Kestrane 정보(&A)...", ids::main_dialog::kAboutCommand, &CKestraneDlg::OnAbout);
}

} // namespace kestrane
