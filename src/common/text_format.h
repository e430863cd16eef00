#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrane {

// MinGW's printf family follows C99 (g++ turns on __USE_MINGW_ANSI_STDIO), but GCC checks "printf"
// formats there against Microsoft's, which knows no %zu: the formats are checked as GNU's.
#ifdef __MINGW32__
#define KESTRANE_PRINTF_FORMAT gnu_printf
#else
#define KESTRANE_PRINTF_FORMAT printf
#endif

// The lower-case letter of an ASCII capital; any other byte as it is, whatever the locale.
constexpr char ascii_lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// printf-style formatting into a std::string, for the system's message texts.
[[gnu::format(KESTRANE_PRINTF_FORMAT, 1, 2)]] std::string format_text(const char* format, ...);

// `count` bytes in lower-case hexadecimal, two digits a byte.
std::string hex_of(const uint8_t* bytes, size_t count);

// `text` as a terminal may show it: every character that acts instead of showing itself is
// written as its bytes in \xNN, so that a name from a file or an argument cannot end its line,
// drive the terminal or reorder what is shown (one company name read as another). These are the
// C0 and C1 control characters and DEL, the bidirectional controls (U+061C, U+200E, U+200F,
// U+202A-U+202E, U+2066-U+2069), and the bytes 0x80-0x9F outside a UTF-8 sequence (C1 controls to
// a terminal that does not read UTF-8). Line ends before `keep_line_breaks_before` stay.
std::string escape_for_terminal(std::string_view text, size_t keep_line_breaks_before = 0);

} // namespace kestrane
