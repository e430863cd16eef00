#pragma once

#include <string>

namespace kestrane {

// MinGW's printf family follows C99 (g++ turns on __USE_MINGW_ANSI_STDIO), but GCC checks "printf"
// formats there against Microsoft's, which knows no %zu: the formats are checked as GNU's.
#ifdef __MINGW32__
#define KESTRANE_PRINTF_FORMAT gnu_printf
#else
#define KESTRANE_PRINTF_FORMAT printf
#endif

// printf-style formatting into a std::string, for the system's message texts.
[[gnu::format(KESTRANE_PRINTF_FORMAT, 1, 2)]] std::string format_text(const char* format, ...);

} // namespace kestrane
