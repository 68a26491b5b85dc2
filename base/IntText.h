#pragma once
#include <cstdint>
#include <string_view>

namespace addoscope::base {

// The whole-text integer syntax shared by the add-on type names and the
// settings file: leading blanks skipped, one "+" or "-", hexadecimal after a
// "$", "x", "X", "0x" or "0X" prefix, decimal otherwise; nothing may follow
// the digits. Hexadecimal values fill all 32 bits, so "$FFFFFFFF" is -1.
// False for anything else, the empty text and overflow included.
bool TryStrToInt(std::u16string_view text, int32_t& value);

} // namespace addoscope::base
