#pragma once
// Decoding one multi-byte UTF-8 character of a JSON text into UTF-16 units.
#include <cstdint>
#include <string>

namespace addoscope::json::detail {

enum class TUtf8Fault { ufNone, ufHeader, ufTooShort, ufContinuation };

struct TUtf8Char {
    TUtf8Fault FFault = TUtf8Fault::ufNone;
    int FLength = 0;      // bytes of the sequence
    int FFaultOffset = 0; // byte of the sequence where the fault lies
    int FUnitCount = 0;
    char16_t FUnits[2] = {0, 0};
};

// The character whose lead byte (80 hex or above) is at `p`; `end` is the
// end of the readable bytes. Overlong forms and encoded surrogates pass as
// the value they spell.
TUtf8Char DecodeUtf8Char(const uint8_t* p, const uint8_t* end);

// The reader's message for a fault.
std::string Utf8FaultText(const TUtf8Char& decoded);

} // namespace addoscope::json::detail
