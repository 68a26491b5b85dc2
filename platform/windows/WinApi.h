#pragma once
// Shared by the Windows platform sources only: the Windows headers with
// their macros kept in check, and the text and error helpers every source
// needs.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <string_view>

namespace addoscope::platform::windows {

// UTF-16 in both: wchar_t is two bytes on Windows.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline const wchar_t* Wide(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline const wchar_t* Wide(std::u16string_view text)
{
    return reinterpret_cast<const wchar_t*>(text.data());
}

inline std::u16string FromWide(const wchar_t* text, size_t length)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// The system's text for an error code, in UTF-8, without the line break.
std::string ErrorText(DWORD code);

} // namespace addoscope::platform::windows
