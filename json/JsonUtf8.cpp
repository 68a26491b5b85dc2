#include "json/JsonUtf8.h"

#include "base/Exception.h"

namespace addoscope::json::detail {

TUtf8Char DecodeUtf8Char(const uint8_t* p, const uint8_t* end)
{
    TUtf8Char result;
    const uint8_t lead = *p;
    uint32_t codePoint;
    if ((lead & 0xE0) == 0xC0) {
        result.FLength = 2;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        result.FLength = 3;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        result.FLength = 4;
        codePoint = lead & 0x07;
    } else {
        result.FFault = TUtf8Fault::ufHeader;
        return result;
    }
    if (end - p < result.FLength) {
        result.FFault = TUtf8Fault::ufTooShort;
        return result;
    }
    for (int i = 1; i < result.FLength; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            result.FFault = TUtf8Fault::ufContinuation;
            result.FFaultOffset = i;
            return result;
        }
        codePoint = (codePoint << 6) | (p[i] & 0x3F);
    }
    // F4 90 .. F7 BF spell values beyond Unicode, which no surrogate pair
    // can carry.
    if (codePoint > 0x10FFFF) {
        result.FFault = TUtf8Fault::ufHeader;
        return result;
    }
    if (codePoint < 0x10000) {
        result.FUnits[0] = static_cast<char16_t>(codePoint);
        result.FUnitCount = 1;
    } else {
        codePoint -= 0x10000;
        result.FUnits[0] = static_cast<char16_t>(0xD800 + (codePoint >> 10));
        result.FUnits[1] = static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
        result.FUnitCount = 2;
    }
    return result;
}

std::string Utf8FaultText(const TUtf8Char& decoded)
{
    switch (decoded.FFault) {
    case TUtf8Fault::ufHeader:
        return "UTF8: Type cannot be determined out of header byte";
    case TUtf8Fault::ufTooShort:
        return "UTF8: A start byte not followed by enough continuation bytes";
    case TUtf8Fault::ufContinuation:
        return base::FormatText("UTF8: An unexpected continuation byte in %d-byte UTF8", decoded.FLength);
    case TUtf8Fault::ufNone:
        break;
    }
    return {};
}

} // namespace addoscope::json::detail
