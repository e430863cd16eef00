#include "common/text_format.h"

#include <cstdarg>
#include <cstdio>

namespace kestrane {
namespace {

// One character of UTF-8 text: its code point and how many bytes it takes; length 0 where the
// bytes at that place are no well-formed UTF-8 sequence.
struct Utf8Character {
    char32_t code_point = 0;
    size_t length = 0;
};

Utf8Character utf8_character_at(std::string_view text, size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80)
        return {lead, 1};
    // The lead byte's high bits give the length, its low bits the first bits of the code point.
    size_t length = 4;
    char32_t smallest = 0x10000; // below it the sequence is overlong
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        smallest = 0x800;
    } else if ((lead & 0xF8) != 0xF0) {
        return {};
    }
    char32_t code_point = lead & (0x7F >> length);
    if (text.size() - at < length)
        return {};
    for (size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[at + i]);
        if ((byte & 0xC0) != 0x80)
            return {};
        code_point = (code_point << 6) | (byte & 0x3F);
    }
    if (code_point < smallest || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF))
        return {};
    return {code_point, length};
}

bool acts_on_terminal(char32_t c)
{
    const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
    const bool bidirectional =
        c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
    return control || bidirectional;
}

void append_escaped_bytes(std::string& result, std::string_view bytes)
{
    for (const char byte : bytes)
        result += format_text("\\x%02x", static_cast<unsigned char>(byte));
}

} // namespace

std::string format_text(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);

    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    }
    va_end(args);
    return text;
}

std::string hex_of(const uint8_t* bytes, size_t count)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

std::string escape_for_terminal(std::string_view text, size_t keep_line_breaks_before)
{
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const Utf8Character character = utf8_character_at(text, i);
        if (character.length == 0) {
            // Not UTF-8: a byte that a terminal reading single bytes takes for a C1 control.
            const auto byte = static_cast<unsigned char>(text[i]);
            if (byte <= 0x9F)
                append_escaped_bytes(result, text.substr(i, 1));
            else
                result += text[i];
            ++i;
            continue;
        }
        const std::string_view bytes = text.substr(i, character.length);
        const bool kept_line_break = character.code_point == '\n' && i < keep_line_breaks_before;
        if (acts_on_terminal(character.code_point) && !kept_line_break)
            append_escaped_bytes(result, bytes);
        else
            result += bytes;
        i += character.length;
    }
    return result;
}

} // namespace kestrane
