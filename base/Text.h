#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace addoscope::base {

// UTF-8 to UTF-16. Malformed sequences become U+FFFD, one per bad byte.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// The same into `out`, whose storage is reused: no allocation once it has
// held a text as long.
void Utf16ToUtf8(std::u16string_view text, std::string& out);
// Widens 7-bit text; bytes above 0x7F are taken as Latin-1.
std::u16string Latin1ToUtf16(std::string_view text);
// Bytes widened to as many UTF-16 units (each byte its own code point, as
// Latin-1 and ASCII are), written to `to`.
void WidenBytes(const uint8_t* from, size_t length, char16_t* to);

// ASCII-only case folding and comparison.
char16_t AsciiUpper(char16_t c);
char16_t AsciiLower(char16_t c);
bool SameTextAscii(std::u16string_view a, std::u16string_view b);

// The blanks of XML and JSON text: SPACE, TAB, LF and CR.
constexpr bool IsBlank(uint32_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// What trimming removes from names and text: SPACE and every control
// character below it.
constexpr bool IsSpaceOrControl(uint32_t c)
{
    return c <= 0x20;
}

// Length of a zero-terminated UTF-16 string; 0 for a null pointer.
size_t WideLength(const char16_t* text);

} // namespace addoscope::base

// Short literal helper: u"..." is already std::u16string-compatible, this
// keeps call sites tidy where a std::u16string is wanted from UTF-8.
inline std::u16string operator""_u16(const char* text, size_t length)
{
    return addoscope::base::Utf8ToUtf16(std::string_view(text, length));
}
