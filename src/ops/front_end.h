#pragma once

#include <functional>
#include <optional>
#include <string>

namespace kestrane {

// How a wrapping without a version asks the front end for one: the "Input version" dialog in the
// GUI, a line prompt on a headless command line, none with -batch, a scripted answer in tests. No
// value means Cancel. An empty prompt cancels every question.
using VersionPrompt = std::function<std::optional<std::string>(const std::string& path)>;

} // namespace kestrane
