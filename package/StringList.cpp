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

bool TJoinedList::Add(std::u16string_view text)
{
    if (FFull)
        return false;
    base::BudgetTick(4 + static_cast<int64_t>(text.size() / 32));
    FOffered += text.size() + 1;
    if (FOffered > 4 * MaxJoinedLength) {
        FFull = true;
        return false;
    }
    if (FSeen.find(text) != FSeen.end())
        return true;
    const size_t separator = FText.empty() ? 0 : 2;
    if (FText.size() + separator + text.size() > MaxJoinedLength) {
        FFull = true;
        return false;
    }
    FSeen.emplace(text);
    if (separator)
        FText.append(u", ");
    FText.append(text);
    return true;
}

} // namespace addoscope::package
