#pragma once

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <memory>
#include <ostream>

namespace kestrane::test {

// A program the tests run: its test copy (which carries the development sealing key) and the name
// it is installed under.
struct TestedProgram {
    const char* name;
    const char* path;
};

// Test names show the program by its name.
inline void PrintTo(const TestedProgram& program, std::ostream* out)
{
    *out << program.name;
}

// kestrane, the program with the dialogs.
TestedProgram program_with_dialogs();
// The programs that run the command line: kestrane and kestrane-cli, as far as they are built.
std::vector<TestedProgram> command_line_programs();
// A test's name for each program, for INSTANTIATE_TEST_SUITE_P.
std::string tested_program_name(const testing::TestParamInfo<TestedProgram>& info);

// Runs the built program as a user would: its own copy in a temporary program directory, a
// temporary profile (XDG_CONFIG_HOME), no display, a temporary working folder.
class ProgramTest : public testing::Test {
protected:
    explicit ProgramTest(TestedProgram tested = program_with_dialogs());

    ProcessResult run(const std::vector<std::string>& arguments, const std::string& standard_input = {},
                      const std::string& working_directory = {}) const;
    // The same with standard input and output on a pseudo-terminal (made by Python's pty module).
    ProcessResult run_on_terminal(const std::vector<std::string>& arguments) const;

    const std::string& program() const { return m_program; }
    const TempDir& program_dir() const { return m_program_dir; }
    const TempDir& config() const { return m_config; }
    const TempDir& work() const { return m_work; }

    // A company key file with key bytes 00 00 followed by the 12 hex digits.
    std::string make_key_file(const std::string& name, const std::string& company, const std::string& digits) const;

private:
    ProcessOptions options(const std::string& working_directory) const;

    TempDir m_program_dir;
    TempDir m_config;
    TempDir m_work;
    std::string m_program;
};

// The tests of the command line, each run against every command-line program.
class CommandLineProgramTest : public ProgramTest, public testing::WithParamInterface<TestedProgram> {
protected:
    CommandLineProgramTest() : ProgramTest(GetParam()) {}
};

#define KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(suite)                                                        \
    INSTANTIATE_TEST_SUITE_P(Programs, suite, testing::ValuesIn(kestrane::test::command_line_programs()),      \
                             kestrane::test::tested_program_name)

// The message of a wrap that succeeded.
std::string success_line(const std::string& wrapped);

// Wrapping, encryption and the conventions of the command line; its cases are spread over the files of
// each operation.
class CommandLineMode : public CommandLineProgramTest {
protected:
    // A kernel image whose name carries version 1.2.3 (characters 20 on: "1r2r3").
    std::string make_kernel(const std::string& name = "image.krn") const
    {
        const std::string path = work().file(name);
        make_uimage(path, "Linux image HW 0000 1r2r3", pattern_bytes(3000, 11));
        return path;
    }
    std::string make_web_directory() const
    {
        const std::string root = work().file("web");
        QDir().mkpath(QString::fromStdString(root + "/css"));
        write_text(root + "/index.html", "<html></html>");
        write_text(root + "/css/site.css", "body{}");
        return root;
    }
};

// The command line as a build server drives it, scripts included; its cases are spread over the files of
// each operation.
class BuildServer : public CommandLineProgramTest {
protected:
    std::string make_kernel(const std::string& name) const
    {
        const std::string path = work().file(name);
        make_uimage(path, "Linux image HW 0000 1r5r2", pattern_bytes(40000, 11));
        return path;
    }
    ProcessResult release(const std::vector<std::string>& arguments) const
    {
        ProcessOptions options;
        options.working_directory = work().path();
        options.unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
        options.set = {{"KESTRANE", program()}, {"XDG_CONFIG_HOME", config().path()}};
        std::vector<std::string> command = {KESTRANE_RELEASE_SCRIPT};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return run_program("bash", command, options);
    }
    // An encrypted package of the given type, made by the program itself; only the package stays.
    void make_package(const std::string& directory, const std::string& name, const std::string& word,
                      const std::string& key) const
    {
        const std::string source = directory + "/" + name;
        write_bytes(source, pattern_bytes(500, 9));
        EXPECT_EQ(run({"-wrapping", word, "-version", "2.0", "-key", key, source}).exit_code, 0);
        QFile::remove(QString::fromStdString(source));
        QFile::remove(QString::fromStdString(source + ".wrp"));
    }
};

Bytes key_bytes(const std::string& digits);

// A private X server (Xvfb) for tests that need a real display; stopped with the object.
class XvfbServer {
public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool running() const { return m_running; }
    const std::string& display() const { return m_display; }

    // Runs an X client (xdotool, import, ...) on this display; gives up after `timeout_ms`.
    ProcessResult x(const std::string& program, const std::vector<std::string>& arguments,
                    int timeout_ms = 20000) const;
    // The id of the first window whose name matches the pattern, waiting for it to appear.
    std::string wait_for_window(const std::string& name_pattern, int timeout_ms = 20000) const;

private:
    std::unique_ptr<QProcess> m_server;
    std::string m_display;
    bool m_running = false;
};

} // namespace kestrane::test
