#include "xml/XmlValue.h"

#include "base/Budget.h"
#include "base/IntText.h"
#include "base/Utf8.h"
#include "xml/XmlStreams.h"

#include <cstring>

namespace addoscope::xml {

namespace {

std::string ConvertLineEnds(std::string_view text, TxEolStyle eolStyle)
{
    if (eolStyle == esLF || text.find('\n') == std::string_view::npos)
        return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c != '\n')
            out.push_back(c);
        else if (eolStyle == esCRLF)
            out.append("\r\n");
        else
            out.push_back('\r');
    }
    return out;
}

// The body between "&#" and ";": decimal digits, or "x"/"X" and hex digits.
// False when malformed or above FFFF hex.
bool ParseCharRef(std::string_view body, uint32_t& unit)
{
    int base = 10;
    if (!body.empty() && (body[0] == 'x' || body[0] == 'X')) {
        base = 16;
        body.remove_prefix(1);
    }
    if (body.empty())
        return false;
    uint32_t value = 0;
    for (const char c : body) {
        const int digit = base == 16 ? base::HexDigitValue(static_cast<unsigned char>(c)) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0)
            return false;
        value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
        if (value > 0xFFFF)
            return false;
    }
    unit = value;
    return true;
}

void WriteUnit(TxFastMemStream& out, uint32_t unit)
{
    // A reference to CR passes through the same line-end rule as the input.
    if (unit == '\r')
        unit = '\n';
    char bytes[4];
    out.Write(bytes, base::EncodeUtf8(unit, bytes));
}

// Writes the replacement of one reference "&...;"; false when it is not one
// the reader expands.
bool ExpandReference(std::string_view reference, TxFastMemStream& out)
{
    static const struct {
        const char* Name;
        char Replacement;
    } predefined[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}};
    for (const auto& entity : predefined) {
        if (reference == entity.Name) {
            out.WriteByte(static_cast<uint8_t>(entity.Replacement));
            return true;
        }
    }
    if (reference.size() > 3 && reference[1] == '#') {
        uint32_t unit = 0;
        if (ParseCharRef(reference.substr(2, reference.size() - 3), unit)) {
            WriteUnit(out, unit);
            return true;
        }
    }
    return false;
}

} // namespace

std::string ExpandText(std::string_view stored, TxEolStyle eolStyle)
{
    // Each byte is looked at a bounded number of times below.
    base::BudgetTick(static_cast<int64_t>(stored.size() / 16) + 1);
    std::string text = ConvertLineEnds(stored, eolStyle);
    if (text.find('&') == std::string::npos)
        return text;
    TxFastMemStream out(text.size());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        if (text[i] != '&') {
            const size_t next = text.find('&', i);
            const size_t end = next == std::string::npos ? n : next;
            out.Write(text.data() + i, end - i);
            i = end;
            continue;
        }
        // A reference runs to the next ";" unless another "&" or the end of
        // the text comes first; then the "&" is an ordinary character.
        size_t j = i + 1;
        while (j < n && text[j] != ';' && text[j] != '&')
            ++j;
        if (j >= n || text[j] == '&') {
            out.WriteByte('&');
            ++i;
            continue;
        }
        const std::string_view reference(text.data() + i, j - i + 1);
        if (!ExpandReference(reference, out))
            out.Write(reference.data(), reference.size());
        i = j + 1;
    }
    return std::string(out.Memory(), out.Size());
}

} // namespace addoscope::xml
