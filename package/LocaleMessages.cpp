#include "package/LocaleMessages.h"

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

} // namespace addoscope::package
