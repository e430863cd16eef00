#pragma once

#include <cstdio>
#include <string>

namespace kestrane {

// True when a window can be shown: DISPLAY or WAYLAND_DISPLAY is set and Qt is not told to use
// its offscreen or minimal platform.
bool display_available();

// Headless presenter: each message is printed to `out` as one line, exactly its text.
void install_console_presenter(std::FILE* out = stdout);

// Headless "Input version" question: one line from `in`; end of input is Cancel; an empty line
// shows "Input version" and asks again. A prompt goes to standard error when `in` is a terminal.
void install_console_version_prompt(std::FILE* in = stdin);

// Headless progress: long work shows "title: NN%" on one line of `err`, only when it is a terminal.
void install_console_progress(std::FILE* err = stderr);

// The arguments after the program name as they would be typed: separated by spaces, an argument
// that is empty or holds white space in double quotes.
std::string typed_arguments(int argc, const char* const* argv);

} // namespace kestrane
