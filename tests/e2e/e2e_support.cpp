#include "e2e/e2e_support.h"

#include "crypt/company_key_file.h"

#include <QFile>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <random>

#include <unistd.h>

namespace kestrane::test {

TestedProgram program_with_dialogs()
{
#ifdef KESTRANE_PROGRAM
    return {"kestrane", KESTRANE_PROGRAM};
#else
    return {"kestrane", ""};
#endif
}

std::vector<TestedProgram> command_line_programs()
{
    std::vector<TestedProgram> programs;
#ifdef KESTRANE_PROGRAM
    programs.push_back(program_with_dialogs());
#endif
#ifdef KESTRANE_CLI_PROGRAM
    programs.push_back({"kestrane-cli", KESTRANE_CLI_PROGRAM});
#endif
    return programs;
}

std::string tested_program_name(const testing::TestParamInfo<TestedProgram>& info)
{
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

ProgramTest::ProgramTest(TestedProgram tested) : m_program(m_program_dir.file(tested.name))
{
    if (!QFile::copy(QString::fromUtf8(tested.path), QString::fromStdString(m_program)))
        throw std::runtime_error(std::string("cannot copy the program ") + tested.path);
}

ProcessOptions ProgramTest::options(const std::string& working_directory) const
{
    ProcessOptions options;
    options.working_directory = working_directory.empty() ? m_work.path() : working_directory;
    options.unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    options.set = {{"XDG_CONFIG_HOME", m_config.path()}, {"HOME", m_config.path()}};
    options.timeout_ms = 60000;
    return options;
}

ProcessResult ProgramTest::run(const std::vector<std::string>& arguments, const std::string& standard_input,
                               const std::string& working_directory) const
{
    ProcessOptions options = this->options(working_directory);
    options.standard_input = bytes_of(standard_input);
    return run_program(m_program, arguments, options);
}

ProcessResult ProgramTest::run_on_terminal(const std::vector<std::string>& arguments) const
{
    std::vector<std::string> command = {"-c", "import pty, sys; sys.exit(pty.spawn(sys.argv[1:]) >> 8)", m_program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return run_program("python3", command, options({}));
}

std::string ProgramTest::make_key_file(const std::string& name, const std::string& company,
                                       const std::string& digits) const
{
    const std::string path = m_work.file(name);
    if (write_company_key_file("0000" + digits, company, path) != 1)
        throw std::runtime_error("cannot write a company key file");
    return path;
}

Bytes key_bytes(const std::string& digits)
{
    Bytes key = {0, 0};
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        key.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return key;
}

XvfbServer::XvfbServer() : m_server(std::make_unique<QProcess>())
{
    // A display number nobody else is likely to take; Xvfb refuses one that is in use, and then
    // the next is tried. -noreset: without it the server resets whenever its last client leaves
    // (after each xdotool call), refusing connections meanwhile.
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 10 && !m_running; ++attempt) {
        const int number = 1000 + static_cast<int>(random() % 30000);
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            continue;
        m_display = ":" + std::to_string(number);
        m_server->start(QStringLiteral("Xvfb"), {QString::fromStdString(m_display), QStringLiteral("-screen"),
                                                 QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                                                 QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                                 QStringLiteral("-noreset")});
        if (!m_server->waitForStarted(5000))
            return;
        for (int wait = 0; wait < 100 && !m_running && m_server->state() == QProcess::Running; ++wait) {
            m_running = x("xwininfo", {"-root"}, 2000).exit_code == 0;
            if (!m_running)
                QThread::msleep(50);
        }
        if (!m_running) {
            m_server->kill();
            m_server->waitForFinished(3000);
        }
    }
}

XvfbServer::~XvfbServer()
{
    if (m_server->state() != QProcess::NotRunning) {
        m_server->terminate();
        if (!m_server->waitForFinished(3000))
            m_server->kill();
        m_server->waitForFinished(3000);
    }
}

ProcessResult XvfbServer::x(const std::string& program, const std::vector<std::string>& arguments,
                            int timeout_ms) const
{
    ProcessOptions options;
    options.set = {{"DISPLAY", m_display}};
    options.unset = {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    options.timeout_ms = timeout_ms;
    return run_program(program, arguments, options);
}

std::string XvfbServer::wait_for_window(const std::string& name_pattern, int timeout_ms) const
{
    for (int waited = 0; waited < timeout_ms; waited += 100) {
        const ProcessResult found = x("xdotool", {"search", "--onlyvisible", "--name", name_pattern}, 5000);
        const std::vector<std::string> ids = lines_of(found.standard_output);
        if (!ids.empty())
            return ids.back();
        QThread::msleep(100);
    }
    // Say what is on the screen instead, for the failure message.
    const ProcessResult names = x("xdotool", {"search", "--name", ".", "getwindowname", "%@"}, 5000);
    std::fprintf(stderr, "no window named %s on %s; windows: %s\n", name_pattern.c_str(), m_display.c_str(),
                 names.standard_output.c_str());
    return {};
}

std::string success_line(const std::string& wrapped)
{
    return "wrapping file success. [path:" + wrapped + "]";
}

} // namespace kestrane::test
