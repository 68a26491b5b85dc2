#include "plugin/FieldTable.h"

#include "plugin/ContentPlugin.h"

#include <algorithm>
#include <cstring>

namespace addoscope::plugin {

using package::TAddoscope;

const std::array<TFieldRow, FieldCount> FieldTable = {{
    {"Type", ft_stringw, &TAddoscope::SetupType},
    {"File Type", ft_stringw, &TAddoscope::FileType},
    {"ID", ft_stringw, &TAddoscope::ID},
    {"Name", ft_stringw, &TAddoscope::Name},
    {"Version", ft_stringw, &TAddoscope::Version},
    {"Description", ft_stringw, &TAddoscope::Description},
    {"Addon Type", ft_stringw, &TAddoscope::AddonType},
    {"Creator", ft_stringw, &TAddoscope::Creator},
    {"Contributor", ft_stringw, &TAddoscope::Contributor},
    {"Developer", ft_stringw, &TAddoscope::Developer},
    {"Translator", ft_stringw, &TAddoscope::Translator},
    {"Homepage URL", ft_stringw, &TAddoscope::HomePageURL},
    {"Update URL", ft_stringw, &TAddoscope::UpdateURL},
    {"Target Platform", ft_stringw, &TAddoscope::TargetPlatform},
    {"Application", ft_stringw, &TAddoscope::Application},
    {"Compatibility", ft_stringw, &TAddoscope::Compatibility},
    {"Extension ID", ft_stringw, &TAddoscope::ExtensionID},
    {"Manifest Version", ft_stringw, &TAddoscope::ManifestVersion},
    {"Permissions", ft_stringw, &TAddoscope::Permissions},
    {"Optional Permissions", ft_stringw, &TAddoscope::OptionalPermissions},
    {"Default Locale", ft_stringw, &TAddoscope::DefaultLocale},
    {"Locales", ft_stringw, &TAddoscope::Locales},
    {"Target Versions", ft_stringw, &TAddoscope::TargetVersions},
}};

const std::u16string& FieldText(const TAddoscope& record, int32_t fieldIndex)
{
    static const std::u16string empty;
    if (fieldIndex < 0 || fieldIndex >= FieldCount)
        return empty;
    return record.*FieldTable[static_cast<size_t>(fieldIndex)].Field;
}

void CopyAnsiText(char* target, const char* text, int32_t maxlen)
{
    if (!target || maxlen <= 0)
        return;
    const size_t n = std::min(std::strlen(text), static_cast<size_t>(maxlen) - 1);
    std::memcpy(target, text, n);
    target[n] = '\0';
}

void GetDetectString(char* target, int32_t maxlen)
{
    CopyAnsiText(target, DetectString, maxlen);
}

int32_t GetSupportedField(int32_t fieldIndex, char* fieldName, char* units, int32_t maxlen)
{
    const auto index = static_cast<uint32_t>(fieldIndex);
    if (index >= static_cast<uint32_t>(FieldCount))
        return ft_nomorefields;
    const TFieldRow& row = FieldTable[index];
    CopyAnsiText(fieldName, row.Name, maxlen);
    CopyAnsiText(units, "", maxlen);
    return row.Type;
}

void CopyFieldValue(const std::u16string& text, void* fieldValue, int32_t maxlen)
{
    if (!fieldValue || maxlen < static_cast<int32_t>(sizeof(char16_t)))
        return;
    const int32_t room = std::max(0, maxlen / 2 - 2);
    const size_t n = std::min(text.size(), static_cast<size_t>(room));
    auto* target = static_cast<char*>(fieldValue);
    std::memcpy(target, text.data(), n * sizeof(char16_t));
    const char16_t zero = 0;
    std::memcpy(target + n * sizeof(char16_t), &zero, sizeof(zero));
}

} // namespace addoscope::plugin
