// kestrane-cli: the operations of the command line without the dialogs, for build servers that
// have no display stack. It links Qt Core and the crypto library only.

#include "cli/command_start.h"
#include "cli/console.h"
#include "common/termination.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    kestrane::take_termination_signals();
    // Qt sees only the program name: every other argument is ours.
    int qt_argc = 1;
    char* qt_argv[] = {argv[0], nullptr};
    QCoreApplication application(qt_argc, qt_argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tev"));
    // The same profile as the program with the dialogs: the encrypt mode chosen there holds here.
    QCoreApplication::setApplicationName(QStringLiteral("kestrane"));

    const kestrane::CommandStart start(kestrane::ProgramKind::CommandLineOnly, kestrane::program_arguments(argc, argv));
    kestrane::ConsoleFrontEnd front(kestrane::console_version_prompt());
    return start.run(front);
}
