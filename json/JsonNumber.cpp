// Text form of number literals.
#include "base/Budget.h"
#include "json/JsonValue.h"
#include "platform/Platform.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

namespace addoscope::json {

namespace {

// Literal texts are plain ASCII by the grammar; anything else fails the
// conversions below.
std::string Narrow(std::u16string_view literal)
{
    // Every step below is linear in the literal, which may be megabytes long.
    base::BudgetTick(static_cast<int64_t>(literal.size() / 16));
    std::string text(literal.size(), '\0');
    for (size_t i = 0; i < literal.size(); ++i)
        text[i] = literal[i] < 0x80 ? static_cast<char>(literal[i]) : '?';
    return text;
}

// Whether a literal whose double conversion left the range is huge (true) or
// tiny (false): the decimal exponent of its first significant digit.
bool Overflows(const std::string& text)
{
    size_t i = text[0] == '-' ? 1 : 0;
    int64_t magnitude = 0; // digits before the point, or minus leading zeros after it
    bool seenDigit = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (text[i] != '0' || seenDigit) {
            seenDigit = true;
            ++magnitude;
        }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (!seenDigit && text[i] == '0')
                --magnitude;
            else
                seenDigit = true;
        }
    }
    int64_t exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool negative = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            ++i;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            if (exponent < 100000000)
                exponent = exponent * 10 + (text[i] - '0');
        if (negative)
            exponent = -exponent;
    }
    return magnitude + exponent > 0;
}

std::u16string Widen(const char* first, const char* last)
{
    return std::u16string(first, last);
}

} // namespace

std::u16string NumberText(std::u16string_view literal)
{
    const std::string text = Narrow(literal);
    char buffer[64];
    // Long integer literals are read back digit for digit, where a double
    // would lose them.
    if (text.size() > 11 && text.find_first_of(".eE") == std::string::npos) {
        int64_t integer = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), integer);
        if (error == std::errc() && end == text.data() + text.size()) {
            const auto printed = std::to_chars(buffer, buffer + sizeof buffer, integer);
            return Widen(buffer, printed.ptr);
        }
        // Beyond 64 bits the literal still has a value; the double below
        // gives it, rounded.
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end != text.data() + text.size() || text.empty() || (error != std::errc() && error != std::errc::result_out_of_range))
        throw EConvertError(base::FormatText("'%s' is not a valid floating point value", text.c_str()));
    if (error == std::errc::result_out_of_range) {
        if (Overflows(text))
            throw EConvertError(base::FormatText("'%s' is not a valid floating point value", text.c_str()));
        value = 0;
    }
    if (value == 0)
        value = 0; // no "-0"
    const auto printed = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::u16string result;
    result.reserve(static_cast<size_t>(printed.ptr - buffer));
    const char16_t separator = platform::DecimalSeparator();
    // Exponents are written as E, a minus sign when negative, and the digits
    // without leading zeros: 1E20, 1E-5.
    for (const char* p = buffer; p < printed.ptr; ++p) {
        if (*p == '.') {
            result += separator;
        } else if (*p == 'e') {
            result += u'E';
            ++p;
            if (*p == '-')
                result += u'-';
            ++p;
            while (p + 1 < printed.ptr && *p == '0')
                ++p;
            for (; p < printed.ptr; ++p)
                result += static_cast<char16_t>(*p);
            break;
        } else {
            result += static_cast<char16_t>(*p);
        }
    }
    return result;
}

std::u16string TJSONNumber::Value() const
{
    return NumberText(Text());
}

} // namespace addoscope::json
