#include "plugin/Settings.h"

#include "base/IntText.h"
#include "plugin/IniFile.h"

#include <algorithm>

namespace addoscope::plugin {

std::u16string SettingsFileName(std::u16string_view moduleFileName)
{
    const size_t separator = moduleFileName.find_last_of(u"/\\:");
    const size_t nameStart = separator == std::u16string_view::npos ? 0 : separator + 1;
    const size_t dot = moduleFileName.rfind(u'.');
    std::u16string result(moduleFileName);
    if (dot != std::u16string_view::npos && dot >= nameStart)
        result.resize(dot);
    result += u".ini";
    return result;
}

int32_t ReadIniInteger(const TIniFile& file, std::u16string_view section, std::u16string_view key,
                       int32_t defaultValue)
{
    const std::u16string text = file.ReadString(section, key, std::u16string());
    // A "0x"/"0X" prefix stands for "$"; the integer syntax reads both
    // spellings as hexadecimal already, so the text is used as it is.
    int32_t value;
    return base::TryStrToInt(text, value) ? value : defaultValue;
}

void LoadSettings(const std::u16string& moduleFileName, TSettings& settings)
{
    const TIniFile file = TIniFile::LoadFromFile(SettingsFileName(moduleFileName));
    const int32_t size = ReadIniInteger(file, SettingsSection, CacheSizeKey, TSettings::DefaultCacheSize);
    settings.CacheSize = std::clamp(size, TSettings::MinCacheSize, TSettings::MaxCacheSize);
    settings.UseCurrentLocaleDescription = file.ReadString(SettingsSection, LocaleKey, std::u16string());
}

TSettings LoadSettings(const std::u16string& moduleFileName)
{
    TSettings settings;
    LoadSettings(moduleFileName, settings);
    return settings;
}

} // namespace addoscope::plugin
