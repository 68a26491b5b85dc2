#include "base/Text.h"

#include "base/Utf8.h"

namespace addoscope::base {

namespace {

constexpr char16_t Replacement = 0xFFFD;

} // namespace

std::u16string Utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        if (*p < 0x80) {
            out.push_back(*p++);
            continue;
        }
        const TUtf8Sequence sequence = DecodeUtf8(p, end);
        if (!sequence.Valid()) {
            out.push_back(Replacement);
            ++p;
            continue;
        }
        char16_t units[2];
        out.append(units, EncodeUtf16(sequence.CodePoint, units));
        p += sequence.Length;
    }
    return out;
}

bool IsValidUtf8(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const TUtf8Sequence sequence = DecodeUtf8(p, end);
        if (!sequence.Valid())
            return false;
        p += sequence.Length;
    }
    return true;
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    Utf16ToUtf8(text, out);
    return out;
}

void Utf16ToUtf8(std::u16string_view text, std::string& out)
{
    const size_t n = text.size();
    // The ASCII run at the start (often the whole text: paths, names) goes
    // over unit by unit into a string sized once.
    size_t ascii = 0;
    while (ascii < n && text[ascii] < 0x80)
        ++ascii;
    out.resize(ascii);
    for (size_t i = 0; i < ascii; ++i)
        out[i] = static_cast<char>(text[i]);
    if (ascii == n)
        return;
    out.reserve(ascii + 3 * (n - ascii));
    for (size_t i = ascii; i < n; ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = Replacement;
        }
        char bytes[4];
        out.append(bytes, EncodeUtf8(cp, bytes));
    }
}

std::u16string Latin1ToUtf16(std::string_view text)
{
    std::u16string out(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = static_cast<uint8_t>(text[i]);
    return out;
}

char16_t AsciiUpper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

char16_t AsciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

bool SameTextAscii(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    return true;
}

size_t WideLength(const char16_t* text)
{
    size_t n = 0;
    if (text)
        while (text[n])
            ++n;
    return n;
}

} // namespace addoscope::base
