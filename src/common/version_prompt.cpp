#include "common/version_prompt.h"

#include <utility>

namespace kestrane {
namespace {

VersionPrompt& current_prompt()
{
    static VersionPrompt prompt;
    return prompt;
}

} // namespace

std::optional<std::string> ask_version(const std::string& path)
{
    const VersionPrompt prompt = current_prompt();
    if (!prompt)
        return std::nullopt;
    return prompt(path);
}

VersionPrompt install_version_prompt(VersionPrompt prompt)
{
    return std::exchange(current_prompt(), std::move(prompt));
}

} // namespace kestrane
