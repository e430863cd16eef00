// The program on a desktop: dialogs answered through a real X display, the window icon, and batch
// mode, which prints even where it could show.

#include "e2e/e2e_support.h"

#include <QDir>
#include <QStandardPaths>
#include <QThread>

using namespace kestrane::test;

namespace {

// The program as a user at a desk meets it: a real X display, windows, keys.
class WithDisplay : public ProgramTest {
protected:
    void SetUp() override
    {
        if (!m_x.running())
            GTEST_SKIP() << "Xvfb could not be started";
    }

    void TearDown() override
    {
        if (HasFailure())
            std::fprintf(stderr, "the program's standard error:\n%s\n", program_errors().c_str());
    }

    // Starts the program on the display; the caller answers its windows.
    void start(const std::vector<std::string>& arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("WAYLAND_DISPLAY");
        environment.remove("QT_QPA_PLATFORM");
        environment.insert("DISPLAY", QString::fromStdString(m_x.display()));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString(config().path()));
        m_program.setProcessEnvironment(environment);
        m_program.setWorkingDirectory(QString::fromStdString(work().path()));
        m_program.setStandardErrorFile(QString::fromStdString(work().file("kestrane.err")));
        QStringList list;
        for (const auto& argument : arguments)
            list << QString::fromStdString(argument);
        m_program.start(QString::fromStdString(program()), list);
        ASSERT_TRUE(m_program.waitForStarted(10000));
    }

    // Focuses a window and types into it with the X test extension, as a keyboard would.
    void keys(const std::string& window, const std::vector<std::string>& xdotool_words)
    {
        std::vector<std::string> arguments = {"windowfocus", "--sync", window};
        arguments.insert(arguments.end(), xdotool_words.begin(), xdotool_words.end());
        EXPECT_EQ(m_x.x("xdotool", arguments).exit_code, 0);
    }

    // Closes the next message box with Enter and checks that it was the application's.
    void dismiss_message_box()
    {
        const std::string box = m_x.wait_for_window("^kestrane$");
        ASSERT_FALSE(box.empty()) << "no message box appeared";
        keys(box, {"key", "Return"});
        QThread::msleep(200);
    }

    std::string program_errors() const
    {
        return QFile::exists(QString::fromStdString(work().file("kestrane.err")))
            ? std::string(reinterpret_cast<const char*>(read_bytes(work().file("kestrane.err")).data()),
                          read_bytes(work().file("kestrane.err")).size())
            : std::string();
    }

    XvfbServer m_x;
    QProcess m_program;
};

TEST_F(WithDisplay, VersionDialogAsksForTheVersionOfAWebDirectory)
{
    const std::string web = work().file("web");
    QDir().mkpath(QString::fromStdString(web));
    write_text(web + "/index.html", "<html></html>");
    start({"-wrapping", "webpage", "web"});

    const std::string dialog = m_x.wait_for_window("^Input version$");
    ASSERT_FALSE(dialog.empty()) << "the version dialog did not appear; windows: "
                                 << m_x.x("xdotool", {"search", "--name", "."}).standard_output
                                 << " program's standard error: " << program_errors();
    if (const char* shots = std::getenv("KESTRANE_SCREENSHOT_DIR"))
        m_x.x("import", {"-window", "root", std::string(shots) + "/input-version.png"});
    // Enter does nothing in the dialog; the version goes in, then Tab to "Wrapping" and Space.
    keys(dialog, {"type", "1.0"});
    keys(dialog, {"key", "Return"});
    EXPECT_FALSE(m_x.wait_for_window("^Input version$", 500).empty()) << "Enter closed the dialog";
    keys(dialog, {"key", "Tab", "space"});

    dismiss_message_box(); // "wrapping file success. [path:...]"
    dismiss_message_box(); // "Wrapping success"
    ASSERT_TRUE(m_program.waitForFinished(20000));
    EXPECT_EQ(m_program.exitCode(), 0);
    EXPECT_TRUE(wrapped_as(web + ".wrp", "WEB0", "", "1.0", nullptr));
    EXPECT_EQ(m_program.readAllStandardOutput().toStdString(), ""); // messages went to boxes
}

// An archiver that ends just as the progress window shows (after half a second): its end used to
// be noticed while the window was shown, and the wait for it then never ended. Each wrap ends
// with its messages.
TEST_F(WithDisplay, DirectoryWrapWithASlowArchiverEndsEveryTime)
{
    const std::string web = work().file("web");
    QDir().mkpath(QString::fromStdString(web));
    write_text(web + "/index.html", "<html></html>");
    const std::string tar = QStandardPaths::findExecutable("tar").toStdString();
    write_text(program_dir().file("tar"), "#!/bin/sh\nsleep 0.5\nexec \"" + tar + "\" \"$@\"\n");
    QFile::setPermissions(QString::fromStdString(program_dir().file("tar")), QFile::ReadOwner | QFile::ExeOwner);
    const QString wrapped = QString::fromStdString(web + ".wrp");
    for (int run = 0; run < 4; ++run) {
        SCOPED_TRACE(run);
        QFile::remove(wrapped);
        const std::string version = "1." + std::to_string(run);
        start({"-wrapping", "webpage", "-version", version, "web"});
        // The progress window bears the program's name too: the boxes come once the file is there.
        for (int waited = 0; waited < 10000 && !QFile::exists(wrapped); waited += 50)
            QThread::msleep(50);
        ASSERT_TRUE(QFile::exists(wrapped)) << "the wrap did not end";
        QThread::msleep(300);
        dismiss_message_box(); // "wrapping file success. [path:...]"
        dismiss_message_box(); // "Wrapping success"
        ASSERT_TRUE(m_program.waitForFinished(20000)) << "the program did not end";
        EXPECT_EQ(m_program.exitCode(), 0);
        EXPECT_TRUE(wrapped_as(web + ".wrp", "WEB0", "", version, nullptr));
        const Bytes file = read_bytes(web + ".wrp");
        EXPECT_EQ(run_process(tar, {"-tf", "-"}, Bytes(file.begin() + 140, file.end() - 16)).standard_output,
                  "./\n./index.html\n");
    }
    EXPECT_EQ(work().entries(), (std::vector<std::string>{"kestrane.err", "web", "web.wrp"})); // no temporary archive
}

TEST_F(WithDisplay, CancelledVersionDialogEndsWithoutWrapping)
{
    write_text(work().file("brand.conf"), "[brand]");
    start({"-wrapping", "brand", "brand.conf"});
    const std::string dialog = m_x.wait_for_window("^Input version$");
    ASSERT_FALSE(dialog.empty());
    keys(dialog, {"key", "Tab", "Tab", "space"}); // to "Cancel"
    ASSERT_TRUE(m_program.waitForFinished(20000));
    EXPECT_EQ(m_program.exitCode(), 1);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(work().file("brand.conf.wrp"))));
}

TEST_F(WithDisplay, NoArgumentsOpensTheMainDialogUntilExit)
{
    start({});
    // No company key file next to the program: reported once, in a box, before the window shows.
    dismiss_message_box();
    const std::string dialog = m_x.wait_for_window("^Kestrane\\(v1\\.2\\.3\\)$");
    ASSERT_FALSE(dialog.empty()) << "the main dialog did not appear";
    if (const char* shots = std::getenv("KESTRANE_SCREENSHOT_DIR"))
        m_x.x("import", {"-window", "root", std::string(shots) + "/main-dialog.png"});
    keys(dialog, {"key", "Escape"});
    keys(dialog, {"key", "Return"});
    EXPECT_FALSE(m_x.wait_for_window("^Kestrane\\(v1\\.2\\.3\\)$", 500).empty()) << "Esc or Enter closed it";
    EXPECT_EQ(m_program.state(), QProcess::Running);
    // "&File", "&Exit" by their mnemonics.
    keys(dialog, {"key", "--delay", "300", "alt+f", "e"});
    ASSERT_TRUE(m_program.waitForFinished(20000));
    EXPECT_EQ(m_program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_program.exitCode(), 0);
    EXPECT_EQ(m_program.readAllStandardOutput().toStdString(), "");
    EXPECT_EQ(m_program.readAllStandardError().toStdString().find("usage"), std::string::npos);
}

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

class BatchOnADesktop : public ProgramTest {};

// With a display that answers, -batch still prints every message and opens no window: not the
// version question either (it would wait for a user the timeout does not give it).
TEST_F(BatchOnADesktop, PrintsInsteadOfShowingAndAsksNothing)
{
    const XvfbServer x;
    if (!x.running())
        GTEST_SKIP() << "Xvfb could not be started";
    ProcessOptions options;
    options.working_directory = work().path();
    options.unset = {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    options.set = {{"DISPLAY", x.display()}, {"XDG_CONFIG_HOME", config().path()}};
    options.timeout_ms = 20000;
    write_text(work().file("brand.conf"), "[brand]");

    const ProcessResult wrapped =
        run_program(program(), {"-batch", "-wrapping", "brand", "-version", "1", "brand.conf"}, options);
    EXPECT_EQ(wrapped.exit_code, 0) << wrapped.standard_error;
    EXPECT_EQ(lines_of(wrapped.standard_output),
              (std::vector<std::string>{"wrapping file success. [path:" + work().file("brand.conf.wrp") + "]",
                                        "Wrapping success"}));
    const ProcessResult unasked = run_program(program(), {"-batch", "-wrapping", "ocx", "brand.conf"}, options);
    EXPECT_EQ(unasked.exit_code, 1);
    EXPECT_EQ(unasked.standard_output, "");
    EXPECT_NE(unasked.standard_error.find("-version is needed"), std::string::npos) << unasked.standard_error;
    const ProcessResult alone = run_program(program(), {"-batch"}, options);
    EXPECT_EQ(alone.exit_code, 2);
    EXPECT_NE(alone.standard_error.find("usage: kestrane"), std::string::npos);
}

} // namespace
