#include "package/MessageIndex.h"

namespace addoscope::package {

namespace {

// Scanning may cost this many times the member count before the index is
// built: a handful of look-ups in a small object never pay for a table.
constexpr size_t ScansBeforeIndex = 3;

} // namespace

const json::TJSONValue* TMemberIndex::Find(std::u16string_view name)
{
    const size_t count = static_cast<size_t>(FObject.Count());
    if (FSlots.empty() && FScanned < ScansBeforeIndex * count) {
        for (const json::TJSONPair& pair : FObject) {
            ++FScanned;
            if (pair.JsonString().Text() == name)
                return pair.JsonValue();
        }
        base::BudgetTick(static_cast<int64_t>(count / 8 + 1));
        return nullptr;
    }
    if (FSlots.empty())
        Build();
    const size_t mask = FSlots.size() - 1;
    for (size_t slot = (*FHash)(name) & mask;; slot = (slot + 1) & mask) {
        base::BudgetTick();
        const uint32_t entry = FSlots[slot];
        if (entry == 0)
            return nullptr;
        const json::TJSONPair& pair = FObject.GetPair(static_cast<int>(entry - 1));
        if (pair.JsonString().Text() == name)
            return pair.JsonValue();
    }
}

void TMemberIndex::Build()
{
    const size_t count = static_cast<size_t>(FObject.Count());
    size_t size = 16;
    while (size < 2 * count)
        size *= 2;
    FCharge.Resize(static_cast<int64_t>(size * sizeof(uint32_t)));
    FSlots.assign(size, 0);
    FHash.emplace();
    const size_t mask = size - 1;
    uint32_t index = 0;
    for (const json::TJSONPair& pair : FObject) {
        ++index;
        const std::u16string_view name = pair.JsonString().Text();
        for (size_t slot = (*FHash)(name) & mask;; slot = (slot + 1) & mask) {
            base::BudgetTick();
            const uint32_t entry = FSlots[slot];
            if (entry == 0) {
                FSlots[slot] = index;
                break;
            }
            // A repeated name keeps its first member.
            if (FObject.GetPair(static_cast<int>(entry - 1)).JsonString().Text() == name)
                break;
        }
    }
}

TMemberIndex& TMessageIndex::MembersOf(const json::TJSONObject& object)
{
    if (&object == &FMessages)
        return FTop;
    std::unique_ptr<TMemberIndex>& members = FObjects[&object];
    if (!members)
        members = std::make_unique<TMemberIndex>(object);
    return *members;
}

const json::TJSONValue* TMessageIndex::Find(std::u16string_view name)
{
    if (json::IsPlainMemberPath(name))
        return FTop.Find(name);
    try {
        if (!json::ParseJSONPath(name, FSteps))
            return nullptr;
    } catch (const json::EJSONPathException&) {
        return nullptr;
    }
    const json::TJSONValue* current = &FMessages;
    for (const json::TJSONPathStep& step : FSteps) {
        base::BudgetTick();
        if (!step.FIsIndex) {
            if (current->Kind() != json::TJSONKind::jkObject)
                return nullptr;
            current = MembersOf(*static_cast<const json::TJSONObject*>(current)).Find(step.FName);
        } else {
            if (current->Kind() != json::TJSONKind::jkArray)
                return nullptr;
            const auto* array = static_cast<const json::TJSONArray*>(current);
            if (step.FIndex < 0 || step.FIndex >= array->Count())
                return nullptr;
            current = array->Get(step.FIndex);
        }
        if (current == nullptr)
            return nullptr;
    }
    return current;
}

} // namespace addoscope::package
