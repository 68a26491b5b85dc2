#include "package/LocaleMessages.h"

#include "base/Budget.h"
#include "base/Text.h"
#include "package/StringList.h"

#include <algorithm>

namespace addoscope::package {

namespace {

std::u16string MessagesItem(const std::u16string& locale)
{
    return u"_locales/" + locale + u"/messages.json";
}

} // namespace

std::u16string LocaleVariant(const std::u16string& locale)
{
    if (locale.size() != 5)
        return {};
    std::u16string variant = locale;
    if (locale.find(u'_') == 2)
        variant[2] = u'-';
    else if (locale.find(u'-') == 2)
        variant[2] = u'_';
    else
        return {};
    return variant;
}

int FindLocaleMessages(const zip::TZipArchive& archive, const std::vector<std::u16string>& candidates,
                       std::u16string& itemName)
{
    itemName.clear();
    for (const std::u16string& candidate : candidates) {
        if (candidate.empty())
            continue;
        for (const std::u16string& locale : {candidate, LocaleVariant(candidate)}) {
            if (locale.empty())
                continue;
            std::u16string name = MessagesItem(locale);
            const int index = archive.FindFile(name);
            if (index >= 0) {
                itemName = std::move(name);
                return index;
            }
        }
    }
    return -1;
}

std::u16string PackageLocales(const zip::TZipArchive& archive)
{
    constexpr std::u16string_view folder = u"_locales/";
    constexpr std::u16string_view file = u"/messages.json";
    std::vector<std::u16string_view> locales;
    const int count = archive.Count();
    for (int i = 0; i < count; ++i) {
        base::BudgetTick();
        const std::u16string_view name = archive.ItemName(i);
        if (name.size() <= folder.size() + file.size() ||
            !base::SameTextAscii(name.substr(0, folder.size()), folder) ||
            !base::SameTextAscii(name.substr(name.size() - file.size()), file))
            continue;
        const std::u16string_view locale = name.substr(folder.size(), name.size() - folder.size() - file.size());
        if (locale.find(u'/') == std::u16string_view::npos)
            locales.push_back(locale);
    }
    base::BudgetTick(static_cast<int64_t>(locales.size()) * 4);
    std::sort(locales.begin(), locales.end());
    TJoinedList joined;
    for (const std::u16string_view locale : locales)
        if (!joined.Add(locale))
            break;
    return joined.Text();
}

} // namespace addoscope::package
