// The system's ANSI and OEM code pages, for 8-bit names from the host and
// legacy names in zip archives.
#include "platform/Platform.h"
#include "platform/windows/WinApi.h"

#include <limits>

namespace addoscope::platform {

namespace {

std::u16string Decode(UINT codePage, std::string_view bytes)
{
    if (bytes.empty() || bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max()))
        return {};
    const int size = static_cast<int>(bytes.size());
    const int length = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0)
        return {};
    std::u16string out(static_cast<size_t>(length), u'\0');
    const int written =
        ::MultiByteToWideChar(codePage, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(out.data()), length);
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

} // namespace

unsigned AnsiCodePage()
{
    return ::GetACP();
}

unsigned OemCodePage()
{
    return ::GetOEMCP();
}

std::u16string AnsiToUnicode(std::string_view bytes)
{
    return Decode(CP_ACP, bytes);
}

std::u16string OemToUnicode(std::string_view bytes)
{
    return Decode(CP_OEMCP, bytes);
}

std::string UnicodeToAnsi(std::u16string_view text)
{
    if (text.empty() || text.size() > static_cast<size_t>(std::numeric_limits<int>::max()))
        return {};
    const int size = static_cast<int>(text.size());
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    // No "best fit" look-alikes: a character the code page lacks becomes '?'.
    // UTF-8 as the ANSI code page takes neither option (and lacks nothing).
    const bool utf8 = ::GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* fallback = utf8 ? nullptr : "?";
    const int length = ::WideCharToMultiByte(CP_ACP, flags, wide, size, nullptr, 0, fallback, nullptr);
    if (length <= 0)
        return {};
    std::string out(static_cast<size_t>(length), '\0');
    const int written = ::WideCharToMultiByte(CP_ACP, flags, wide, size, out.data(), length, fallback, nullptr);
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

std::u16string HostNameToUnicode(std::string_view name)
{
    return AnsiToUnicode(name);
}

} // namespace addoscope::platform
