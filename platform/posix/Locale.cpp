// Locale services without touching the process-wide locale: everything goes
// through locale objects of our own (newlocale), never setlocale.
#include "base/Text.h"
#include "platform/Platform.h"

#include <atomic>
#include <cstdlib>
#include <cwctype>
#include <langinfo.h>
#include <locale.h>
#include <mutex>
#include <string>

namespace addoscope::platform {

namespace {

// Case mapping follows the Unicode tables, as CharLowerBuffW does on
// Windows; C.UTF-8 carries them and is built into the C library.
locale_t CaseLocale()
{
    static locale_t locale = [] {
        locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        if (l == static_cast<locale_t>(nullptr))
            l = ::newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(nullptr));
        return l;
    }();
    return locale;
}

template <typename Map>
std::u16string MapCase(std::u16string_view text, Map map)
{
    std::u16string out;
    out.reserve(text.size());
    const locale_t locale = CaseLocale();
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        const bool pair = cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                          text[i + 1] <= 0xDFFF;
        if (pair)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        char32_t mapped = cp;
        if (cp < 0x80)
            mapped = map(cp, static_cast<locale_t>(nullptr));
        else if (locale != static_cast<locale_t>(nullptr) && !(cp >= 0xD800 && cp <= 0xDFFF))
            mapped = map(cp, locale);
        // Keep the text's length in code units: a mapping that would change
        // between one and two units is not applied.
        if ((mapped >= 0x10000) != (cp >= 0x10000))
            mapped = cp;
        if (mapped >= 0x10000) {
            mapped -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (mapped >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (mapped & 0x3FF)));
            ++i;
        } else {
            out.push_back(static_cast<char16_t>(mapped));
            if (pair)
                ++i;
        }
    }
    return out;
}

char32_t Lower(char32_t c, locale_t locale)
{
    if (locale == static_cast<locale_t>(nullptr))
        return base::AsciiLower(static_cast<char16_t>(c));
    return static_cast<char32_t>(::towlower_l(static_cast<wint_t>(c), locale));
}

char32_t Upper(char32_t c, locale_t locale)
{
    if (locale == static_cast<locale_t>(nullptr))
        return base::AsciiUpper(static_cast<char16_t>(c));
    return static_cast<char32_t>(::towupper_l(static_cast<wint_t>(c), locale));
}

std::string EnvironmentLocale(const char* const* names)
{
    for (const char* const* name = names; *name; ++name) {
        const char* value = std::getenv(*name);
        if (value && *value)
            return value;
    }
    return {};
}

std::u16string DetectDecimalSeparator()
{
    static const char* const names[] = {"LC_ALL", "LC_NUMERIC", "LANG", nullptr};
    const std::string name = EnvironmentLocale(names);
    if (name.empty())
        return u".";
    locale_t locale = ::newlocale(LC_NUMERIC_MASK, name.c_str(), static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr))
        return u".";
    const char* radix = ::nl_langinfo_l(RADIXCHAR, locale);
    std::u16string result = radix ? base::Utf8ToUtf16(radix) : std::u16string();
    ::freelocale(locale);
    return result.empty() ? u"." : result;
}

} // namespace

// A text of ASCII alone (IDs, names, most paths) maps as MapCase maps its
// ASCII units, without the locale and in a string sized once: the
// package readers' look-ups fold every application ID and name this way.
template <char16_t (*Map)(char16_t)>
bool MapAscii(std::u16string_view text, std::u16string& out)
{
    for (const char16_t c : text)
        if (c >= 0x80)
            return false;
    out.assign(text);
    for (char16_t& c : out)
        c = Map(c);
    return true;
}

std::u16string LowerCase(std::u16string_view text)
{
    std::u16string out;
    if (MapAscii<base::AsciiLower>(text, out))
        return out;
    return MapCase(text, Lower);
}

std::u16string UpperCase(std::u16string_view text)
{
    std::u16string out;
    if (MapAscii<base::AsciiUpper>(text, out))
        return out;
    return MapCase(text, Upper);
}

int CompareTextLocale(std::u16string_view a, std::u16string_view b)
{
    const std::u16string ua = UpperCase(a);
    const std::u16string ub = UpperCase(b);
    return ua.compare(ub) < 0 ? -1 : (ua == ub ? 0 : 1);
}

std::u16string UserDefaultLanguageName()
{
    static const char* const names[] = {"LC_ALL", "LC_MESSAGES", "LANG", nullptr};
    const std::string value = EnvironmentLocale(names);
    if (value.empty() || value == "C" || value == "POSIX" || value.rfind("C.", 0) == 0)
        return {};
    const size_t end = value.find_first_of("_.@");
    return base::Utf8ToUtf16(value.substr(0, end));
}

namespace {
std::atomic<char16_t> SeparatorOverride {0};
}

char16_t DecimalSeparator()
{
    const char16_t forced = SeparatorOverride.load(std::memory_order_relaxed);
    if (forced != 0)
        return forced;
    static const char16_t separator = DetectDecimalSeparator()[0];
    return separator;
}

void OverrideDecimalSeparator(char16_t separator)
{
    SeparatorOverride.store(separator, std::memory_order_relaxed);
}

std::u16string HostNameToUnicode(std::string_view name)
{
    return base::Utf8ToUtf16(name);
}

bool FileNamesKeepCase()
{
    return true;
}

} // namespace addoscope::platform
