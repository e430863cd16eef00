#include "app/startup.h"

#include "cli/command_line.h"
#include "cli/command_operations.h"
#include "cli/console.h"
#include "cli/release_commands.h"
#include "common/paths.h"
#include "common/version_prompt.h"
#include "ui/input_version_dialog.h"
#include "ui/main_dialog.h"
#include "ui/message_box_presenter.h"
#include "ui/progress_dialog.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <memory>

namespace kestrane {
namespace {

// The process's exit status.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1; // a command-line operation did not reach its success message
constexpr int kExitUsage = 2;   // a start the usage text does not describe

// The file argument as a full path against the current directory, without resolving links.
std::string full_path(const std::string& file_argument)
{
    if (file_argument.empty())
        return {};
    // Qt would replace the bytes of a name that is not UTF-8, naming another file: keep it as typed,
    // and every operation refuses it as a path it cannot open or create.
    if (!is_representable_path(file_argument))
        return file_argument;
    const QString absolute = QDir::current().absoluteFilePath(QString::fromStdString(file_argument));
    return QDir::cleanPath(absolute).toStdString();
}

void install_dialog_version_prompt()
{
    install_version_prompt([](const std::string& path) -> std::optional<std::string> {
        CInputVersionDlg dialog;
        dialog.m_strPath = QString::fromStdString(path);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.m_strVersion.toStdString();
    });
}

// The main dialog, modal, until the user closes it. Without a display there is nothing to show:
// the usage text goes to standard error instead.
int run_gui_mode(bool display)
{
    if (!display) {
        std::fputs(usage_text(), stderr);
        return kExitUsage;
    }
    install_message_box_presenter();
    install_progress_dialog_presenter();
    CKestraneDlg dialog;
    dialog.exec();
    return kExitSuccess;
}

void install_presenters(bool display)
{
    if (display) {
        install_message_box_presenter();
        install_dialog_version_prompt();
        install_progress_dialog_presenter();
    } else {
        install_console_presenter();
        install_console_version_prompt();
        install_console_progress();
    }
}

bool run_command(Operation operation, const CommandLine& c, int argc, char** argv)
{
    switch (operation) {
    case Operation::Encrypt:
        return run_encrypt_command(full_path(c.file_argument), c.key.value, typed_arguments(argc, argv));
    case Operation::Wrap:
        return run_wrap_command(full_path(c.file_argument), c.wrapping.value, c.version.given, c.version.value,
                                c.key.given, c.key.value);
    case Operation::Info:
        return run_info_command(full_path(c.info.value), c.key.given, c.key.value, stdout);
    case Operation::GenerateKey:
        return run_genkey_command(c.genkey.value, c.company.given, c.company.value, full_path(c.file_argument), stdout);
    case Operation::Pack:
        return run_pack_command(full_path(c.pack.value), c.version.given, c.version.value, c.dest.given,
                                full_path(c.dest.value), c.key.given, c.key.value);
    default:
        return false;
    }
}

} // namespace

int run_kestrane(int argc, char** argv)
{
    const bool display = display_available();
    // Qt sees only the program name: every other argument is ours, whatever Qt would make of it.
    static int qt_argc = 1;
    static char* qt_argv[] = {argv[0], nullptr};
    std::unique_ptr<QCoreApplication> application = display
        ? std::make_unique<QApplication>(qt_argc, qt_argv)
        : std::make_unique<QCoreApplication>(qt_argc, qt_argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tev"));

    const std::optional<CommandLine> command_line = parse_command_line(argc, argv);
    const Operation operation = command_line ? select_operation(*command_line) : Operation::Dialogs;
    switch (operation) {
    case Operation::Dialogs:
        return run_gui_mode(display);
    case Operation::Help:
        std::fputs(usage_text(), stdout);
        return kExitSuccess;
    case Operation::Conflict:
        std::fputs(usage_text(), stderr);
        return kExitUsage;
    default:
        install_presenters(display);
        return run_command(operation, *command_line, argc, argv) ? kExitSuccess : kExitFailure;
    }
}

} // namespace kestrane
