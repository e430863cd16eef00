#pragma once

#include <functional>
#include <optional>
#include <string>

namespace kestrane {

// How a wrapping without a version asks for one: the "Input version" dialog in the GUI, a line
// prompt on a headless command line, a scripted answer in tests. No value means Cancel.
using VersionPrompt = std::function<std::optional<std::string>(const std::string& path)>;

std::optional<std::string> ask_version(const std::string& path);

// Installs a prompt and returns the one it replaces. With no prompt, every question is cancelled.
VersionPrompt install_version_prompt(VersionPrompt prompt);

} // namespace kestrane
