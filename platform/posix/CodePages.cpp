#include "platform/Platform.h"
#include "platform/posix/CodePageTables.h"

namespace addoscope::platform {

namespace {

std::u16string Decode(std::string_view bytes, const uint16_t (&high)[128])
{
    std::u16string out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<uint8_t>(bytes[i]);
        out[i] = b < 0x80 ? b : static_cast<char16_t>(high[b - 0x80]);
    }
    return out;
}

} // namespace

unsigned AnsiCodePage()
{
    return 1252;
}

unsigned OemCodePage()
{
    return 437;
}

std::u16string AnsiToUnicode(std::string_view bytes)
{
    return Decode(bytes, posix::Cp1252High);
}

std::u16string OemToUnicode(std::string_view bytes)
{
    return Decode(bytes, posix::Cp437High);
}

std::string UnicodeToAnsi(std::u16string_view text)
{
    std::string out(text.size(), '?');
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            out[i] = static_cast<char>(c);
        } else if (const uint8_t b = posix::TReverseCodePage<posix::Cp1252High>::ByteOf(c)) {
            out[i] = static_cast<char>(b);
        }
    }
    return out;
}

} // namespace addoscope::platform
