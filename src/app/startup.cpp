#include "app/startup.h"

#include "app/command_line.h"
#include "app/command_operations.h"
#include "app/console.h"
#include "common/version_prompt.h"
#include "ui/input_version_dialog.h"
#include "ui/message_box_presenter.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <memory>

namespace kestrane {
namespace {

const char* const kUsage =
    "usage: kestrane [-key COMPANY_KEY_FILE] [-wrapping TYPE [-version VERSION]] FILE\n"
    "  Without -key and -wrapping the dialogs open (they need a display).\n"
    "  TYPE: kernel, addon, webpage, brand, ocx, bootloader, dome7720, dome7760, emergency\n"
    "  -key FILE                 encrypt FILE (a wrapped file) for the company of COMPANY_KEY_FILE\n"
    "  -wrapping TYPE FILE       wrap FILE (a directory for webpage and addon) into FILE.wrp\n"
    "  -wrapping TYPE -key K FILE  wrap, then encrypt FILE.wrp for the company of K\n"
    "Options begin with - or --; a value follows as the next argument or after a colon (-key:K).\n";

// The file argument as a full path against the current directory, without resolving links.
std::string full_path(const std::string& file_argument)
{
    if (file_argument.empty())
        return {};
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

int run_gui_mode(bool display)
{
    (void)display;
    std::fputs(kUsage, stderr);
    return 2;
}

bool run_command(const CommandLine& command_line, int argc, char** argv)
{
    const std::string file_path = full_path(command_line.file_argument);
    if (command_line.wrapping_given)
        return run_wrap_command(file_path, command_line.wrapping_word, command_line.version_given,
                                command_line.version, command_line.key_given, command_line.key_file);
    return run_encrypt_command(file_path, command_line.key_file, typed_arguments(argc, argv));
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
    if (!command_line || (!command_line->key_given && !command_line->wrapping_given))
        return run_gui_mode(display);

    if (display) {
        install_message_box_presenter();
        install_dialog_version_prompt();
    } else {
        install_console_presenter();
        install_console_version_prompt();
    }
    return run_command(*command_line, argc, argv) ? 0 : 1;
}

} // namespace kestrane
