#pragma once

#include "cli/command_line.h"
#include "common/io_policy.h"
#include "ops/front_end.h"
#include "ops/run_record.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrane {

// The exit statuses of both programs.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1; // a command-line operation did not reach its success message
inline constexpr int kExitUsage = 2;   // a start the usage text does not describe

// The arguments after the program name as the system passed them: on POSIX the bytes of argv (a
// name that is not UTF-8 stays as it is), on Windows the command line in Unicode. Qt is handed
// none of them, so that it takes no option (-style, -platform) for its own.
std::vector<std::string> program_arguments(int argc, char** argv);

// One start of a program, as its arguments describe it.
class CommandStart {
public:
    // Its operation writes and starts threads through `io`.
    CommandStart(ProgramKind program, std::vector<std::string> arguments, IoPolicy& io = system_io());

    // Neither an operation nor the usage text nor the version: the dialogs (but for -batch).
    bool opens_dialogs() const { return m_operation == Operation::Dialogs && !batch(); }
    // -batch: headless even with a display, and no question.
    bool batch() const { return m_command_line && m_command_line->batch; }

    // Runs the start and answers the exit status: the usage text, the version, or one operation,
    // which tells `front` its messages and asks it for a version it is not given (with -batch,
    // the headless front end that asks nobody: refusing_version_prompt). A start that would open
    // the dialogs prints the usage text to standard error: the caller that can show them does so
    // instead.
    int run(FrontEnd& front) const;

private:
    int run_operation(FrontEnd& front) const;
    // The operation itself; `record`, when given, learns what it read and wrote (-manifest).
    int run_job(FrontEnd& front, RunRecord* record) const;
    // Prints the problem and the usage text to standard error: kExitUsage.
    int usage_error(const std::string& problem) const;

    ProgramKind m_program;
    std::vector<std::string> m_arguments;
    std::optional<CommandLine> m_command_line;
    Operation m_operation = Operation::Dialogs;
    std::string m_problem; // why the arguments describe no start, when they do not
    IoPolicy& m_io;
};

} // namespace kestrane
