#pragma once
// The settings file beside the module: how many package records to keep and
// which language localised add-on texts are preferred in. Read once, when
// the module is loaded; never written.
#include <cstdint>
#include <string>
#include <string_view>

namespace addoscope::plugin {

struct TSettings {
    static constexpr int32_t DefaultCacheSize = 1000;
    static constexpr int32_t MinCacheSize = 1;
    static constexpr int32_t MaxCacheSize = 32767;

    // Package records kept; the record cache holds one more.
    int32_t CacheSize = DefaultCacheSize;
    // "1" for the user's language, a locale name such as "pt_BR", or
    // anything shorter than two characters for none.
    std::u16string UseCurrentLocaleDescription;
};

inline constexpr char16_t SettingsSection[] = u"Addoscope";
// Each build has its own key, so that the 32-bit and 64-bit modules can
// share one file with different sizes.
inline constexpr const char16_t* CacheSizeKey = sizeof(void*) == 8 ? u"CacheSize_x64" : u"CacheSize_x86";
inline constexpr char16_t LocaleKey[] = u"UseCurrentLocaleDescription";

// The module's path with the extension of its file-name part replaced by
// ".ini" (appended when it has none).
std::u16string SettingsFileName(std::u16string_view moduleFileName);

// The settings read from the file beside the given module, filled into
// settings in order (cache size, then locale), so that values read before
// an error stay in force. Raises only std::bad_alloc.
void LoadSettings(const std::u16string& moduleFileName, TSettings& settings);
TSettings LoadSettings(const std::u16string& moduleFileName);

class TIniFile;
// An integer value: "0x" at the start of a text longer than two characters
// becomes "$", then the whole-text integer syntax applies; anything else
// gives the default.
int32_t ReadIniInteger(const TIniFile& file, std::u16string_view section, std::u16string_view key,
                       int32_t defaultValue);

} // namespace addoscope::plugin
