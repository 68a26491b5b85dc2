#include "package/StringList.h"

#include "base/Budget.h"
#include "platform/Platform.h"

namespace addoscope::package {

void TStringList::Add(std::u16string text)
{
    base::BudgetTick(4);
    const size_t eq = text.find(u'=');
    // Entries without "=" have no name and are never found by name.
    if (eq != std::u16string::npos)
        FFirstByName.emplace(platform::UpperCase(std::u16string_view(text).substr(0, eq)), Count());
    FItems.push_back(std::move(text));
}

int TStringList::IndexOfName(std::u16string_view name) const
{
    base::BudgetTick(4);
    const auto found = FFirstByName.find(platform::UpperCase(name));
    return found == FFirstByName.end() ? -1 : found->second;
}

std::u16string TStringList::ValueFromIndex(int index) const
{
    const std::u16string& entry = FItems[static_cast<size_t>(index)];
    const size_t eq = entry.find(u'=');
    return eq == std::u16string::npos ? std::u16string() : entry.substr(eq + 1);
}

} // namespace addoscope::package
