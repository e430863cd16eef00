#pragma once

#include <string>

namespace kestrane {

// printf-style formatting into a std::string, for the system's message texts.
[[gnu::format(printf, 1, 2)]] std::string format_text(const char* format, ...);

} // namespace kestrane
