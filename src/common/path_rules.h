#pragma once

#include <string>
#include <string_view>

namespace kestrane {

// Path rules of the system, for either separator style. On POSIX "/" is the separator and the
// root "/" plays the part that a drive root such as "C:\" plays on Windows.
enum class PathStyle { Posix, Windows };

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

char path_separator(PathStyle style = kNativePathStyle);

// The parent-directory rule: a root (or anything as short) stays as it is; otherwise one trailing
// separator is dropped and the path is cut at its last separator, keeping the root whole.
std::string parent_directory(std::string_view path, PathStyle style = kNativePathStyle);

// Joins a directory and a name with exactly one separator.
std::string join_path(std::string_view directory, std::string_view name,
                      PathStyle style = kNativePathStyle);

// The text after the last separator; the whole path when it has none.
std::string last_path_component(std::string_view path, PathStyle style = kNativePathStyle);

} // namespace kestrane
