// The user's locale services, as Windows offers them.
#include "base/Text.h"
#include "platform/Platform.h"
#include "platform/windows/WinApi.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace addoscope::platform {

using windows::FromWide;
using windows::Wide;

namespace {

std::u16string LocaleInfo(LCID locale, LCTYPE type)
{
    wchar_t buffer[200] = {};
    const int length = ::GetLocaleInfoW(locale, type, buffer, 200);
    if (length <= 1)
        return {};
    return FromWide(buffer, static_cast<size_t>(length - 1));
}

// Case mapping by CharLowerBuffW / CharUpperBuffW, which map in place and
// keep the length in code units.
std::u16string MapCase(std::u16string_view text, bool upper)
{
    std::u16string out(text);
    size_t done = 0;
    while (done < out.size()) {
        const auto chunk = static_cast<DWORD>(std::min<size_t>(out.size() - done, 1u << 30));
        auto* at = reinterpret_cast<wchar_t*>(out.data() + done);
        if (upper)
            ::CharUpperBuffW(at, chunk);
        else
            ::CharLowerBuffW(at, chunk);
        done += chunk;
    }
    return out;
}

std::atomic<char16_t> SeparatorOverride {0};

} // namespace

std::u16string UserDefaultLanguageName()
{
    return LocaleInfo(::GetUserDefaultLCID(), LOCALE_SISO639LANGNAME);
}

std::u16string LowerCase(std::u16string_view text)
{
    return MapCase(text, false);
}

std::u16string UpperCase(std::u16string_view text)
{
    return MapCase(text, true);
}

int CompareTextLocale(std::u16string_view a, std::u16string_view b)
{
    if (a.size() <= 0x7FFFFFFF && b.size() <= 0x7FFFFFFF) {
        const int result = ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, Wide(a), static_cast<int>(a.size()),
                                            Wide(b), static_cast<int>(b.size()));
        if (result != 0)
            return result - CSTR_EQUAL;
    }
    // Only reached when the system refuses the comparison.
    const std::u16string ua = UpperCase(a);
    const std::u16string ub = UpperCase(b);
    return ua.compare(ub) < 0 ? -1 : (ua == ub ? 0 : 1);
}

char16_t DecimalSeparator()
{
    const char16_t forced = SeparatorOverride.load(std::memory_order_relaxed);
    if (forced != 0)
        return forced;
    static const char16_t separator = [] {
        const std::u16string text = LocaleInfo(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL);
        return text.empty() ? u'.' : text[0];
    }();
    return separator;
}

void OverrideDecimalSeparator(char16_t separator)
{
    SeparatorOverride.store(separator, std::memory_order_relaxed);
}

bool FileNamesKeepCase()
{
    // RtlGetVersion tells the truth; GetVersionEx answers what the calling
    // program's manifest claims to support, which for an old host is 6.2.
    using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr)
        return false;
    const FARPROC address = ::GetProcAddress(ntdll, "RtlGetVersion");
    if (address == nullptr)
        return false;
    TRtlGetVersion rtlGetVersion;
    static_assert(sizeof(rtlGetVersion) == sizeof(address));
    std::memcpy(&rtlGetVersion, &address, sizeof(address));
    OSVERSIONINFOW info {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (rtlGetVersion(&info) != 0)
        return false;
    return WindowsVersionKeepsCase(info.dwMajorVersion, info.dwBuildNumber);
}

} // namespace addoscope::platform
