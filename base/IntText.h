#pragma once
#include <cstdint>
#include <string_view>

namespace addoscope::base {

// The value of one hexadecimal digit (0-9, a-f, A-F), or -1 for any other
// character.
constexpr int HexDigitValue(char32_t c)
{
    if (c >= U'0' && c <= U'9')
        return static_cast<int>(c - U'0');
    if (c >= U'a' && c <= U'f')
        return static_cast<int>(c - U'a') + 10;
    if (c >= U'A' && c <= U'F')
        return static_cast<int>(c - U'A') + 10;
    return -1;
}

// The whole-text integer syntax shared by the add-on type names and the
// settings file: leading blanks skipped, one "+" or "-", hexadecimal after a
// "$", "x", "X", "0x" or "0X" prefix, decimal otherwise; nothing may follow
// the digits. Hexadecimal values fill all 32 bits, so "$FFFFFFFF" is -1.
// False for anything else, the empty text and overflow included.
bool TryStrToInt(std::u16string_view text, int32_t& value);

} // namespace addoscope::base
