#include "app/startup.h"

#include "cli/command_start.h"
#include "cli/console.h"
#include "common/termination.h"
#include "ui/dialog_front_end.h"
#include "ui/main_dialog.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace kestrane {
namespace {

constexpr std::string_view kHeadlessPlatform = "offscreen";

std::string_view environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

[[maybe_unused]] bool set(const char* name) // the display variables: used on X11 and Wayland only
{
    return !environment(name).empty();
}

bool is_headless_platform(std::string_view platform)
{
    return platform.starts_with(kHeadlessPlatform) || platform.starts_with("minimal");
}

// The platforms Qt is to try for windows, "offscreen" last: a display that does not answer then
// leaves the program headless instead of ending it. Empty where the system's one platform always
// has a display (Windows, macOS).
std::string platforms_to_try()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    std::string platforms(environment("QT_QPA_PLATFORM"));
    if (platforms.empty()) {
        // Qt's own choice among the desktops whose variable is set.
        const bool wayland_first = environment("XDG_SESSION_TYPE") == "wayland";
        const std::string wayland = set("WAYLAND_DISPLAY") ? "wayland;" : "";
        const std::string xcb = set("DISPLAY") ? "xcb;" : "";
        platforms = wayland_first ? wayland + xcb : xcb + wayland;
    } else {
        platforms += ';';
    }
    return platforms + std::string(kHeadlessPlatform);
#else
    return {};
#endif
}

// Whether a window might be shown at all: without a display variable (or with Qt told to draw
// offscreen) not even a try is made.
bool display_may_answer()
{
    const std::string_view platform = environment("QT_QPA_PLATFORM");
    if (is_headless_platform(platform))
        return false;
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    return !platform.empty() || set("DISPLAY") || set("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

// The application object. With a display that answers (and windows wanted), a QApplication on it;
// otherwise a headless one. Qt sees only the program name (and the platforms to try): every other
// argument is ours, whatever Qt would make of it.
std::unique_ptr<QCoreApplication> make_application(char* program, bool windows_wanted, bool& display)
{
    static std::string platforms;
    static char platform_option[] = "-platform";
    static int argc = 1;
    static char* argv[] = {program, nullptr, nullptr, nullptr};
    display = false;
    if (!windows_wanted || !display_may_answer())
        return std::make_unique<QCoreApplication>(argc, argv);
    platforms = platforms_to_try();
    if (!platforms.empty()) {
        argv[1] = platform_option;
        argv[2] = platforms.data();
        argc = 3;
    }
    auto application = std::make_unique<QApplication>(argc, argv);
    display = QGuiApplication::platformName() != QLatin1String(kHeadlessPlatform.data(), kHeadlessPlatform.size());
    // Every window shows the program's own icon, message boxes of the command line too.
    QApplication::setWindowIcon(program_icon());
    return application;
}

// The main dialog, modal, until the user closes it.
int run_main_dialog(DialogFrontEnd& front)
{
    CKestraneDlg dialog(front);
    dialog.exec();
    return kExitSuccess;
}

} // namespace

int run_kestrane(int argc, char** argv)
{
    take_termination_signals();
    // The arguments are read before Qt starts: with -batch no display is even tried.
    const CommandStart start(ProgramKind::WithDialogs, program_arguments(argc, argv));
    bool display = false;
    const std::unique_ptr<QCoreApplication> application = make_application(argv[0], !start.batch(), display);
    QCoreApplication::setOrganizationName(QStringLiteral("Tev"));

    // Without a display the dialogs cannot open: the start then ends with the usage text.
    if (display) {
        DialogFrontEnd front;
        return start.opens_dialogs() ? run_main_dialog(front) : start.run(front);
    }
    ConsoleFrontEnd front(console_version_prompt());
    return start.run(front);
}

} // namespace kestrane
