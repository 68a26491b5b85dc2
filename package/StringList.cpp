#include "package/StringList.h"

#include "platform/Platform.h"

namespace addoscope::package {

namespace {

std::u16string_view NameOf(const std::u16string& entry)
{
    const size_t eq = entry.find(u'=');
    return std::u16string_view(entry).substr(0, eq == std::u16string::npos ? entry.size() : eq);
}

} // namespace

int TStringList::IndexOfName(std::u16string_view name) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].find(u'=') != std::u16string::npos && platform::SameTextLocale(NameOf(FItems[i]), name))
            return static_cast<int>(i);
    return -1;
}

std::u16string TStringList::ValueFromIndex(int index) const
{
    const std::u16string& entry = FItems[static_cast<size_t>(index)];
    const size_t eq = entry.find(u'=');
    return eq == std::u16string::npos ? std::u16string() : entry.substr(eq + 1);
}

} // namespace addoscope::package
