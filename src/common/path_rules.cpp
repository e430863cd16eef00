#include "common/path_rules.h"

namespace kestrane {
namespace {

// Length of a root ("/" or "C:\") and the index its separator stands at.
size_t root_length(PathStyle style)
{
    return style == PathStyle::Windows ? 3 : 1;
}

size_t root_separator_index(PathStyle style)
{
    return root_length(style) - 1;
}

} // namespace

char path_separator(PathStyle style)
{
    return style == PathStyle::Windows ? '\\' : '/';
}

std::string parent_directory(std::string_view path, PathStyle style)
{
    if (path.size() <= root_length(style))
        return std::string(path);
    const char separator = path_separator(style);
    std::string_view trimmed = path;
    if (trimmed.back() == separator)
        trimmed.remove_suffix(1);
    const size_t last = trimmed.rfind(separator);
    if (last == std::string_view::npos)
        return std::string(path);
    if (last == root_separator_index(style))
        return std::string(trimmed.substr(0, root_length(style)));
    return std::string(trimmed.substr(0, last));
}

std::string join_path(std::string_view directory, std::string_view name, PathStyle style)
{
    std::string joined(directory);
    if (joined.empty() || joined.back() != path_separator(style))
        joined += path_separator(style);
    joined += name;
    return joined;
}

std::string last_path_component(std::string_view path, PathStyle style)
{
    const size_t last = path.rfind(path_separator(style));
    return std::string(last == std::string_view::npos ? path : path.substr(last + 1));
}

} // namespace kestrane
