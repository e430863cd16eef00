#include "cli/console.h"

#include "common/messages.h"
#include "common/progress.h"
#include "common/version_prompt.h"

#include <cstdlib>
#include <cstring>
#include <optional>

#include <unistd.h>

namespace kestrane {
namespace {

bool set(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// One line without its line end; nothing at the end of input.
std::optional<std::string> read_line(std::FILE* in)
{
    std::string line;
    int c;
    while ((c = std::fgetc(in)) != EOF && c != '\n')
        line += static_cast<char>(c);
    if (c == EOF && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

class ConsoleProgress : public ProgressPresenter {
public:
    explicit ConsoleProgress(std::FILE* err) : m_err(err) {}

    void start(const std::string& title) override { m_title = title; }

    void update(int permille) override
    {
        if (permille < 0)
            std::fprintf(m_err, "\r%s ...", m_title.c_str());
        else
            std::fprintf(m_err, "\r%s: %d%%", m_title.c_str(), permille / 10);
        std::fflush(m_err);
    }

    void stop() override
    {
        std::fputs("\r\033[K", m_err); // the line is cleared again: the messages stay as they are
        std::fflush(m_err);
    }

private:
    std::FILE* m_err;
    std::string m_title;
};

} // namespace

void install_console_progress(std::FILE* err)
{
    if (isatty(fileno(err)))
        install_progress_presenter(std::make_shared<ConsoleProgress>(err));
}

bool display_available()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && (std::strncmp(platform, "offscreen", 9) == 0 || std::strncmp(platform, "minimal", 7) == 0))
        return false;
    return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

void install_console_presenter(std::FILE* out)
{
    install_message_presenter([out](const std::string& text, MessageIcon) {
        std::fputs(text.c_str(), out);
        std::fputc('\n', out);
        std::fflush(out);
    });
}

void install_console_version_prompt(std::FILE* in)
{
    install_version_prompt([in](const std::string& path) -> std::optional<std::string> {
        const bool terminal = isatty(fileno(in));
        while (true) {
            if (terminal)
                std::fprintf(stderr, "Version for %s: ", path.c_str());
            std::optional<std::string> line = read_line(in);
            if (!line)
                return std::nullopt;
            if (!line->empty())
                return line;
            show_message("Input version");
        }
    });
}

std::string typed_arguments(int argc, const char* const* argv)
{
    std::string text;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (i > 1)
            text += ' ';
        const bool quote = argument.empty() || argument.find_first_of(" \t") != std::string::npos;
        text += quote ? '"' + argument + '"' : argument;
    }
    return text;
}

} // namespace kestrane
