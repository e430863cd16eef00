#include "cli/console.h"

#include "common/progress.h"
#include "common/text_format.h"

#include <optional>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kestrane {
namespace {

// The longest line read as a version: far beyond the longest version there is, so that a longer
// line is still refused as too long, while an endless one (/dev/zero) cannot fill the memory.
constexpr size_t kLongestLine = 4096;

// One line without its line end (a CR before it goes too); nothing at the end of input. Past
// kLongestLine bytes the rest of the line stays unread.
std::optional<std::string> read_line(std::FILE* in)
{
    std::string line;
    while (line.size() <= kLongestLine) {
        const int c = std::fgetc(in);
        if (c == EOF && line.empty())
            return std::nullopt;
        if (c == EOF || c == '\n')
            break;
        line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

class ConsoleProgress : public ProgressPresenter {
public:
    explicit ConsoleProgress(std::FILE* err) : m_err(err) {}

    void start(const std::string& title) override { m_title = escape_control_characters(title); }

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

ConsoleFrontEnd::ConsoleFrontEnd(VersionPrompt ask, std::FILE* out, std::FILE* err)
    : m_ask(std::move(ask)), m_out(out), m_progress(is_terminal(err) ? std::make_unique<ConsoleProgress>(err) : nullptr)
{}

void ConsoleFrontEnd::show_message(const std::string& text, MessageIcon)
{
    std::fputs(printable_message(text).c_str(), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
}

std::optional<std::string> ConsoleFrontEnd::ask_version(const std::string& path)
{
    return m_ask ? m_ask(*this, path) : std::nullopt;
}

bool is_terminal(std::FILE* stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

std::string escape_control_characters(std::string_view text)
{
    return escape_for_terminal(text);
}

std::string printable_message(std::string_view message)
{
    const size_t first_bracket = message.find('[');
    return escape_for_terminal(message, first_bracket == std::string_view::npos ? 0 : first_bracket);
}

void print_line(std::FILE* out, std::string_view text)
{
    std::fputs(escape_control_characters(text).c_str(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

VersionPrompt console_version_prompt(std::FILE* in, std::FILE* err)
{
    return [in, err](FrontEnd& front, const std::string& path) -> std::optional<std::string> {
        const bool terminal = is_terminal(in);
        while (true) {
            if (terminal)
                std::fprintf(err, "Version for %s: ", escape_control_characters(path).c_str());
            std::optional<std::string> line = read_line(in);
            if (!line) {
                // A script that forgot -version would otherwise end without a word.
                if (!terminal)
                    print_line(
                        err, format_text("-version was expected: no version on standard input[path:%s]", path.c_str()));
                return std::nullopt;
            }
            if (!line->empty())
                return line;
            front.show_message("Input version");
        }
    };
}

VersionPrompt refusing_version_prompt(std::FILE* err)
{
    return [err](FrontEnd&, const std::string& path) -> std::optional<std::string> {
        print_line(err, format_text("-version is needed: -batch asks no question[path:%s]", path.c_str()));
        return std::nullopt;
    };
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
