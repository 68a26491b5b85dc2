#pragma once
// Finding messages in a messages file by their names: the path of a name
// walked over the tree, each object searched through an index once it is
// searched often.
#include "base/Budget.h"
#include "base/SeededHash.h"
#include "json/JsonValue.h"

#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace addoscope::package {

// Members of one object by name; the first member of a name wins, as with
// GetValue. The first look-ups scan the members; once scanning has cost a
// few times the member count, the names are indexed in a table with a
// seeded hash, so any number of look-ups costs time linear in the object
// and the names looked up.
class TMemberIndex {
public:
    explicit TMemberIndex(const json::TJSONObject& object) : FObject(object) {}
    TMemberIndex(const TMemberIndex&) = delete;
    TMemberIndex& operator=(const TMemberIndex&) = delete;

    const json::TJSONValue* Find(std::u16string_view name);
    bool Indexed() const { return !FSlots.empty(); }

private:
    void Build();

    const json::TJSONObject& FObject;
    size_t FScanned = 0;
    std::optional<base::TSeededHash> FHash; // drawn when the index is built
    std::vector<uint32_t> FSlots; // member index + 1; 0 is free
    base::TBudgetCharge FCharge;
};

// The value a message name reaches in the messages object, as FindValue
// walks it: "." and "[...]" step into members and elements. Each object
// met on the way keeps its own member index.
class TMessageIndex {
public:
    explicit TMessageIndex(const json::TJSONObject& messages) : FMessages(messages), FTop(messages) {}
    TMessageIndex(const TMessageIndex&) = delete;
    TMessageIndex& operator=(const TMessageIndex&) = delete;

    // nullptr when the walk finds nothing, and also for a name that is no
    // valid path or steps to a negative index, which find nothing either.
    const json::TJSONValue* Find(std::u16string_view name);

private:
    TMemberIndex& MembersOf(const json::TJSONObject& object);

    const json::TJSONObject& FMessages;
    TMemberIndex FTop; // of the messages object itself
    std::unordered_map<const json::TJSONObject*, std::unique_ptr<TMemberIndex>> FObjects; // nested ones
    std::vector<json::TJSONPathStep> FSteps;
};

} // namespace addoscope::package
