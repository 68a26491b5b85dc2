#include "base/Budget.h"
#include "base/Text.h"
#include "base/Utf8.h"
#include "platform/Platform.h"
#include "zip/ZipRecords.h"

#include <cstdint>

namespace addoscope::zip {

TNameCharSet DetectNameCharSet(std::string_view bytes)
{
    // Nearly every stored name is plain ASCII: settle that in one tight
    // pass before walking the UTF-8 rules.
    size_t ascii = 0;
    while (ascii < bytes.size() && static_cast<uint8_t>(bytes[ascii]) < 0x80)
        ++ascii;
    if (ascii == bytes.size())
        return TNameCharSet::ascii;
    // Only the form of the bytes counts here (lead bytes C2-F4 and their
    // continuation bytes); overlong forms and surrogates are not looked at.
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data()) + ascii;
    const auto* end = reinterpret_cast<const uint8_t*>(bytes.data()) + bytes.size();
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const base::TUtf8Sequence sequence = base::DecodeUtf8(p, end);
        if (sequence.Fault != base::TUtf8Fault::ufNone || *p < 0xC2 || *p > 0xF4)
            return TNameCharSet::ansi;
        p += sequence.Length;
    }
    return TNameCharSet::utf8;
}

namespace {

// Letters of an OEM code page (O) and of the ANSI code page that goes with
// it (A), as bit sets over the byte values 0x80-0xBF and 0xC0-0xFF.
struct TOemLetterMasks {
    unsigned CodePage;
    uint64_t OemLow, OemHigh, AnsiLow, AnsiHigh;
};

constexpr TOemLetterMasks OemLetterMasks[] = {
    {437, 0x0000003F07FFFFFFull, 0x00006FFF00000000ull, 0x00200000D4005400ull, 0xFF7FFFFFFF7FFFFFull},
    {720, 0x00003FFFEFE81FACull, 0x0000FFFF00000000ull, 0x002004009501F402ull, 0x9A10FFFFFF7FFFFFull},
    {737, 0x0000FFFFFFFFFFFFull, 0x0031FFFF00000000ull, 0xD720000400000000ull, 0x7FFFFFFFFFFBFFFFull},
    {775, 0x61E0203F2FBFFFFFull, 0x00007FFF01FF80C0ull, 0x8500850000000000ull, 0x7F7FFFFFFF7FFFFFull},
    {850, 0x00E0003F2FFFFFFFull, 0x00003FFF41FF00C0ull, 0x00000000D4005400ull, 0xFF7FFFFFFF7FFFFFull},
    {852, 0x61E03BFFBFFFFFFFull, 0x38007FFF61FF00C0ull, 0xD6088428F400F400ull, 0x7F7FFFFFFF7FFFFFull},
    {855, 0x61E03FFFFFFFFFFFull, 0x1FFE7FFF61FF00C0ull, 0xF51C852EF401F40Bull, 0xFFFFFFFFFFFFFFFFull},
    {857, 0x00E000FFEFFFFFFFull, 0x00003E7F41DC00C0ull, 0x0000000094001400ull, 0xFF7FFFFFFF7FFFFFull},
    {862, 0x0000003F07FFFFFFull, 0x00006FFF00000000ull, 0x0020000000000000ull, 0x07FFFFFF00700000ull},
    {866, 0x0000FFFFFFFFFFFFull, 0x00FFFFFF00000000ull, 0xF53C852EF401F40Bull, 0xFFFFFFFFFFFFFFFFull},
};

bool InMask(uint8_t b, uint64_t low, uint64_t high)
{
    return b < 0xC0 ? ((low >> (b - 0x80)) & 1) != 0 : ((high >> (b - 0xC0)) & 1) != 0;
}

} // namespace

bool IsOemNameForCodePage(std::string_view bytes, unsigned oemCodePage)
{
    const TOemLetterMasks* masks = nullptr;
    for (const auto& m : OemLetterMasks)
        if (m.CodePage == oemCodePage)
            masks = &m;
    if (!masks)
        return false;
    bool anyHigh = false;
    bool outsideAnsi = false;
    for (const char ch : bytes) {
        const auto b = static_cast<uint8_t>(ch);
        if (b < 0x80)
            continue;
        anyHigh = true;
        if (!InMask(b, masks->OemLow, masks->OemHigh))
            return false;
        if (!InMask(b, masks->AnsiLow, masks->AnsiHigh))
            outsideAnsi = true;
    }
    return anyHigh && outsideAnsi;
}

bool IsOemName(std::string_view bytes)
{
    return IsOemNameForCodePage(bytes, platform::OemCodePage());
}

std::u16string DecodeStoredName(std::string_view bytes)
{
    base::BudgetTick(1 + static_cast<int64_t>(bytes.size() / 32));
    switch (DetectNameCharSet(bytes)) {
    case TNameCharSet::ascii:
        return base::Latin1ToUtf16(bytes);
    case TNameCharSet::utf8:
        return base::Utf8ToUtf16(bytes);
    case TNameCharSet::ansi:
        break;
    }
    return platform::AnsiToUnicode(bytes);
}

} // namespace addoscope::zip
