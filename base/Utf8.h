#pragma once
// The one UTF-8 decoder and encoder. The decoder reads one sequence and
// says what it spells and what is wrong with it, if anything; each reader
// then applies its own rules to that (the conversion below refuses
// overlong forms and surrogates, the JSON reader lets them pass, the zip
// name check looks only at the form of the bytes). Both are inline: the
// readers call them from their per-character loops.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace addoscope::base {

enum class TUtf8Fault : uint8_t {
    ufNone,
    ufLead,         // a byte that starts no sequence (80-BF, F8-FF)
    ufTooShort,     // the input ends inside the sequence
    ufContinuation, // a byte inside the sequence is no continuation byte
};

struct TUtf8Sequence {
    uint32_t CodePoint = 0;
    uint8_t Length = 0; // bytes the lead byte announces (2 to 4); 0 for ufLead
    uint8_t FaultOffset = 0; // for ufContinuation: the byte that is none
    TUtf8Fault Fault = TUtf8Fault::ufNone;

    // The value is written in more bytes than it needs (C0 80 for 0).
    bool Overlong() const
    {
        return CodePoint < (Length == 2 ? 0x80u : Length == 3 ? 0x800u : 0x10000u);
    }
    bool Surrogate() const { return CodePoint >= 0xD800 && CodePoint <= 0xDFFF; }
    bool BeyondUnicode() const { return CodePoint > 0x10FFFF; }
    // Well formed by every rule: the form, the shortest form, a scalar value.
    bool Valid() const { return Fault == TUtf8Fault::ufNone && !Overlong() && !Surrogate() && !BeyondUnicode(); }
};

// The sequence whose lead byte (80 hex or above) is at `p`; `end` is the end
// of the readable bytes. C0-DF announce two bytes, E0-EF three, F0-F7 four.
// The input's length is checked before the continuation bytes.
inline TUtf8Sequence DecodeUtf8(const uint8_t* p, const uint8_t* end)
{
    TUtf8Sequence sequence;
    const uint8_t lead = *p;
    if ((lead & 0xE0) == 0xC0) {
        sequence.Length = 2;
        sequence.CodePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        sequence.Length = 3;
        sequence.CodePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        sequence.Length = 4;
        sequence.CodePoint = lead & 0x07;
    } else {
        sequence.Fault = TUtf8Fault::ufLead;
        return sequence;
    }
    if (end - p < sequence.Length) {
        sequence.Fault = TUtf8Fault::ufTooShort;
        return sequence;
    }
    for (uint8_t i = 1; i < sequence.Length; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            sequence.Fault = TUtf8Fault::ufContinuation;
            sequence.FaultOffset = i;
            return sequence;
        }
        sequence.CodePoint = (sequence.CodePoint << 6) | (p[i] & 0x3F);
    }
    return sequence;
}

// Whether every sequence of the bytes is valid UTF-8 (Valid above).
bool IsValidUtf8(std::string_view bytes);

// Writes the UTF-8 form of a code point (at most 10FFFF) to `out`, which
// has room for four bytes; answers the bytes written.
inline size_t EncodeUtf8(uint32_t codePoint, char* out)
{
    if (codePoint < 0x80) {
        out[0] = static_cast<char>(codePoint);
        return 1;
    }
    if (codePoint < 0x800) {
        out[0] = static_cast<char>(0xC0 | (codePoint >> 6));
        out[1] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 2;
    }
    if (codePoint < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (codePoint >> 12));
        out[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (codePoint >> 18));
    out[1] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return 4;
}

// The UTF-16 form of a code point (at most 10FFFF): one unit, or a
// surrogate pair; answers the units written to `out`.
inline size_t EncodeUtf16(uint32_t codePoint, char16_t* out)
{
    if (codePoint < 0x10000) {
        out[0] = static_cast<char16_t>(codePoint);
        return 1;
    }
    codePoint -= 0x10000;
    out[0] = static_cast<char16_t>(0xD800 + (codePoint >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
    return 2;
}

} // namespace addoscope::base
