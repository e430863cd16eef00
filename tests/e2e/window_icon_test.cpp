#include "e2e/e2e_support.h"

using namespace kestrane::test;

namespace {

class WindowIcon : public ProgramTest {};

// Set at start-up, the program's icon is on every window, the message boxes of the command line
// too (Qt names none of its own: without it the box has no _NET_WM_ICON).
TEST_F(WindowIcon, MessageBoxesOfTheCommandLineCarryIt)
{
    const XvfbServer x;
    if (!x.running())
        GTEST_SKIP() << "Xvfb could not be started";
    QProcess process;
    ProcessOptions options;
    options.working_directory = work().path();
    options.unset = {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    options.set = {{"DISPLAY", x.display()}, {"XDG_CONFIG_HOME", config().path()}};
    start_program(process, program(), {"-key", "missing.wrp", "fw.wrp"}, options);
    const std::string box = x.wait_for_window("^kestrane$");
    ASSERT_FALSE(box.empty()) << process.readAllStandardError().toStdString();
    // xprop draws each image the property holds ("Icon (32 x 32):"); a property without one is empty.
    const ProcessResult icon = x.x("xprop", {"-id", box, "_NET_WM_ICON"});
    EXPECT_EQ(icon.standard_output.rfind("_NET_WM_ICON(CARDINAL) = ", 0), 0u) << icon.standard_output.substr(0, 200);
    EXPECT_NE(icon.standard_output.find("Icon (32 x 32):"), std::string::npos) << icon.standard_output.substr(0, 200);
    x.x("xdotool", {"windowfocus", "--sync", box, "key", "Return"});
    EXPECT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 1);
}

} // namespace
