#pragma once

#include "ops/front_end.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrane {

// A text for the console with every character that would act rather than show (a line end, an
// escape sequence, a C1 or bidirectional control) written as \xNN, so that a path or a name from
// outside cannot end its line, pass for another line or read as another name
// (escape_for_terminal).
std::string escape_control_characters(std::string_view text);

// A message as the console prints it: escaped, but for a line break before the message's first
// "[". The system's messages put every path and name in square brackets, and two of them break
// their own line before it ("Entered path is invalid\n[%s]").
std::string printable_message(std::string_view message);

// Whether `stream` is a terminal (a person reads and types there), not a file or a pipe.
bool is_terminal(std::FILE* stream);

// Prints `text`, escaped, and a line end; flushes.
void print_line(std::FILE* out, std::string_view text);

// How the headless front end asks for a version; it tells its messages to `front`. No value means
// Cancel.
using VersionPrompt = std::function<std::optional<std::string>(FrontEnd& front, const std::string& path)>;

// The headless front end: each message is printed to `out` as one line, exactly its text
// (escaped); long work shows "title: NN%" on one line of `err`, only when it is a terminal; a
// version is asked through `ask`.
class ConsoleFrontEnd : public FrontEnd {
public:
    explicit ConsoleFrontEnd(VersionPrompt ask, std::FILE* out = stdout, std::FILE* err = stderr);

    void show_message(const std::string& text, MessageIcon icon = MessageIcon::None) override;
    std::optional<std::string> ask_version(const std::string& path) override;
    ProgressPresenter* progress() override { return m_progress.get(); }

private:
    VersionPrompt m_ask;
    std::FILE* m_out;
    std::unique_ptr<ProgressPresenter> m_progress;
};

// Headless "Input version" question: one line from `in`; end of input is Cancel; an empty line
// shows "Input version" and asks again. A prompt goes to `err` when `in` is a terminal; when it
// is not, the end of input says there that -version was expected. A line is read up to a few
// KiB: a longer one stands for a version that is too long.
VersionPrompt console_version_prompt(std::FILE* in = stdin, std::FILE* err = stderr);

// The question of -batch: none. A missing version is Cancel, after a line on `err` that says
// -version is needed.
VersionPrompt refusing_version_prompt(std::FILE* err = stderr);

// The arguments after the program name as they would be typed: separated by spaces, an argument
// that is empty or holds white space in double quotes.
std::string typed_arguments(int argc, const char* const* argv);

} // namespace kestrane
