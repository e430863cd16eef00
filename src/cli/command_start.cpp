#include "cli/command_start.h"

#include "cli/command_operations.h"
#include "cli/console.h"
#include "cli/run_manifest.h"
#include "cli/verify_report.h"
#include "common/paths.h"
#include "common/text_format.h"

#include <QDir>

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <variant>

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

namespace kestrane {
namespace {

#ifndef _WIN32
// Whether `path` is a folder the system goes up from as written: an existing directory that is
// not a symbolic link (above a link, ".." leads to the parent of the link's target).
bool is_real_directory(const std::string& path)
{
    std::error_code error;
    const auto status = std::filesystem::symlink_status(path, error);
    return !error && std::filesystem::is_directory(status);
}

// `relative` below `base` without "." components and empty ones; a ".." is folded away only where
// the system would go up to the same folder.
std::string joined_as_the_system_resolves(std::string base, const std::string& relative)
{
    size_t start = 0;
    while (start <= relative.size()) {
        const size_t end = std::min(relative.find('/', start), relative.size());
        const std::string component = relative.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".")
            continue;
        if (component == ".." && base != "/" && is_real_directory(base)) {
            base.erase(std::max<size_t>(base.rfind('/'), 1));
            continue;
        }
        base += base.ends_with('/') ? component : "/" + component;
    }
    return base;
}
#endif

// A file argument as a full path that names the file the system opens for it. Nothing when it is
// relative and the current directory cannot be determined.
std::optional<std::string> full_path(const std::string& argument)
{
    if (argument.empty())
        return std::string();
    // Qt would replace the bytes of a name that is not UTF-8, naming another file: keep it as typed,
    // and every operation refuses it as a path it cannot open or create.
    if (!is_representable_path(argument))
        return argument;
#ifdef _WIN32
    // Windows itself folds ".." in a path as text. Messages show the path with its own separators.
    return QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromStdString(argument))))
        .toStdString();
#else
    if (argument.starts_with('/'))
        return joined_as_the_system_resolves("/", argument);
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    if (error || current.empty())
        return std::nullopt;
    return joined_as_the_system_resolves(current.string(), argument);
#endif
}

// Every file argument of an operation, each as a full path; the message that says which could not
// be made one ends the operation.
class FullPaths {
public:
    explicit FullPaths(FrontEnd& front) : m_front(front) {}

    std::string operator()(const std::string& argument)
    {
        std::optional<std::string> path = full_path(argument);
        if (!path) {
            if (m_resolved)
                m_front.show_message(format_text("Current directory unknown for path[%s]", argument.c_str()));
            m_resolved = false;
            return {};
        }
        return std::move(*path);
    }
    bool resolved() const { return m_resolved; }

private:
    FrontEnd& m_front;
    bool m_resolved = true;
};

// An option's value when it was given; `full` makes a path of it.
std::optional<std::string> given(const OptionValue& option)
{
    return option.given ? std::optional<std::string>(option.value) : std::nullopt;
}

std::optional<std::string> given(const OptionValue& option, FullPaths& full)
{
    return option.given ? std::optional<std::string>(full(option.value)) : std::nullopt;
}

std::vector<const char*> argument_vector(const std::vector<std::string>& arguments, const char* program)
{
    std::vector<const char*> argv = {program};
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    return argv;
}

// The company key files of an encryption, or the exit status that ends the start instead.
std::variant<CompanyKeys, int> company_keys(FrontEnd& front, const CommandLine& c, FullPaths& full,
                                            const std::function<int(const std::string&)>& usage_error)
{
    std::vector<std::string> key_files;
    for (const std::string& key_file : c.keys)
        key_files.push_back(full(key_file));
    const std::optional<std::string> key_folder = given(c.key_folder, full);
    if (!full.resolved())
        return kExitFailure;
    std::optional<CompanyKeys> keys = gather_company_keys(front, key_files, key_folder);
    if (!keys)
        return kExitFailure;
    if (const std::string problem = duplicate_company_problem(*keys); !problem.empty())
        return usage_error(problem);
    return std::move(*keys);
}

} // namespace

std::vector<std::string> program_arguments(int argc, char** argv)
{
#ifdef _WIN32
    // argv holds the arguments in the ANSI code page; the command line itself is Unicode.
    (void)argc;
    (void)argv;
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide && i < count; ++i)
        arguments.push_back(QString::fromWCharArray(wide[i]).toStdString());
    LocalFree(wide);
    return arguments;
#else
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
#endif
}

CommandStart::CommandStart(ProgramKind program, std::vector<std::string> arguments, IoPolicy& io)
    : m_program(program), m_arguments(std::move(arguments)), m_io(io)
{
    const std::vector<const char*> argv = argument_vector(m_arguments, program_name(m_program));
    m_command_line = parse_command_line(static_cast<int>(argv.size()), argv.data(), kNativeOptionSyntax, &m_problem);
    m_operation = m_command_line ? select_operation(*m_command_line) : Operation::Dialogs;
    if (m_command_line)
        m_problem = usage_problem(*m_command_line);
    if (m_problem.empty() && m_operation == Operation::Dialogs && !m_arguments.empty())
        m_problem = "no operation";
}

int CommandStart::run(FrontEnd& front) const
{
    switch (m_operation) {
    case Operation::Help:
        std::fputs(usage_text(m_program).c_str(), stdout);
        return kExitSuccess;
    case Operation::Version:
        std::fputs(version_text(m_program).c_str(), stdout);
        return kExitSuccess;
    case Operation::Dialogs:
    case Operation::Conflict:
        // What was wrong first, on a line of its own: a build log then says it without the reader
        // having to compare the arguments with the text.
        if (!m_problem.empty())
            print_line(stderr, std::string(program_name(m_program)) + ": " + m_problem);
        std::fputs(usage_text(m_program).c_str(), stderr);
        return kExitUsage;
    default:
        if (batch()) {
            ConsoleFrontEnd headless(refusing_version_prompt());
            return run_operation(headless);
        }
        return run_operation(front);
    }
}

int CommandStart::usage_error(const std::string& problem) const
{
    print_line(stderr, std::string(program_name(m_program)) + ": " + problem);
    std::fputs(usage_text(m_program).c_str(), stderr);
    return kExitUsage;
}

int CommandStart::run_operation(FrontEnd& front) const
{
    const OptionValue& manifest_path = m_command_line->manifest;
    if (!manifest_path.given)
        return run_job(front, nullptr);
    FullPaths full(front);
    const std::string path = full(manifest_path.value);
    std::optional<RunManifest> manifest;
    if (full.resolved())
        manifest = RunManifest::start(front, m_program, path);
    if (!manifest)
        return kExitFailure;
    // Written only once the whole operation succeeded, after its outputs are in place.
    const int status = run_job(front, manifest->record());
    if (status != kExitSuccess)
        return status;
    return manifest->write(front, m_io) ? kExitSuccess : kExitFailure;
}

int CommandStart::run_job(FrontEnd& front, RunRecord* record) const
{
    const auto status = [](bool success) { return success ? kExitSuccess : kExitFailure; };
    const CommandLine& c = *m_command_line;
    FullPaths full(front);
    switch (m_operation) {
    case Operation::Encrypt: {
        const std::string file = full(c.file_argument);
        const std::optional<std::string> destination = given(c.dest, full);
        const std::vector<const char*> argv = argument_vector(m_arguments, program_name(m_program));
        if (!full.resolved())
            return kExitFailure;
        std::variant<CompanyKeys, int> keys =
            company_keys(front, c, full, [this](const std::string& problem) { return usage_error(problem); });
        if (const int* exit_status = std::get_if<int>(&keys))
            return *exit_status;
        return status(run_encrypt_command(front, file, std::get<CompanyKeys>(keys),
                                          typed_arguments(static_cast<int>(argv.size()), argv.data()), destination,
                                          record, m_io));
    }
    case Operation::Wrap: {
        WrapCommand command{full(c.file_argument), c.wrapping.value, given(c.version), {}, given(c.dest, full)};
        command.record = record;
        if (!full.resolved())
            return kExitFailure;
        if (c.key.given || c.key_folder.given) {
            std::variant<CompanyKeys, int> keys =
                company_keys(front, c, full, [this](const std::string& problem) { return usage_error(problem); });
            if (const int* exit_status = std::get_if<int>(&keys))
                return *exit_status;
            command.keys = std::move(std::get<CompanyKeys>(keys));
        }
        return status(run_wrap_command(front, command, m_io));
    }
    case Operation::Info: {
        const std::string file = full(c.info.value);
        const InfoFormat format = c.json ? InfoFormat::Json : InfoFormat::Text;
        return status(full.resolved() && run_info_command(file, c.key.given, c.key.value, stdout, format));
    }
    case Operation::GenerateKey: {
        const std::string destination = full(c.file_argument);
        return status(full.resolved()
                      && run_genkey_command(
                          front, {c.genkey.value, given(c.company).value_or(""), destination, c.force}, stdout, m_io));
    }
    case Operation::Pack: {
        const std::string folder = full(c.pack.value);
        const std::string destination = full(c.dest.value);
        return status(full.resolved()
                      && run_pack_command(front, folder, c.version.given, c.version.value, c.dest.given, destination,
                                          c.key.given, c.key.value, record, m_io));
    }
    case Operation::Verify: {
        const VerifyCommand command{full(c.verify.value), full(c.private_key.value), given(c.passin), given(c.key),
                                    given(c.dest, full)};
        const InfoFormat format = c.json ? InfoFormat::Json : InfoFormat::Text;
        return status(full.resolved() && run_verify_command(command, stdout, format, m_io));
    }
    default:
        return kExitFailure;
    }
}

} // namespace kestrane
