#pragma once
// Name interning for large inputs: member names met again share the text
// stored the first time. It is only an optimisation (a messages file
// repeats "message" tens of thousands of times), so wherever it would cost
// more than it saves it simply does not intern: the hash is keyed afresh
// for every parse, so no file can be made whose names crowd one run of
// slots; a look-up gives up after a few slots; and the table stops taking
// names at a fixed size. A name not interned is stored on its own, which
// changes no result.
#include "base/Budget.h"
#include "base/SeededHash.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace addoscope::json::detail {

class TStringCache {
public:
    // The stored text equal to `text` when there is one; otherwise the
    // text `store()` makes, remembered when there is room for it.
    template <class TStore>
    std::u16string_view Intern(std::u16string_view text, TStore&& store)
    {
        if (FEntries.empty())
            Resize(InitialSlots);
        const uint32_t hash = static_cast<uint32_t>(FHash(text));
        const size_t mask = FEntries.size() - 1;
        size_t i = hash & mask;
        for (int probe = 0; probe < MaxProbe; ++probe, i = (i + 1) & mask) {
            TEntry& entry = FEntries[i];
            if (entry.FText == nullptr) {
                const std::u16string_view stored = store();
                if (stored.data() != nullptr) {
                    entry = TEntry {stored.data(), static_cast<uint32_t>(stored.size()), hash};
                    if (++FCount * 2 > FEntries.size() && FEntries.size() < MaxSlots)
                        Resize(FEntries.size() * 2);
                }
                return stored;
            }
            if (entry.FHash == hash && std::u16string_view(entry.FText, entry.FLength) == text)
                return std::u16string_view(entry.FText, entry.FLength);
        }
        return store();
    }

    size_t Count() const { return FCount; }

private:
    struct TEntry {
        const char16_t* FText = nullptr; // none: a free slot
        uint32_t FLength = 0;
        uint32_t FHash = 0;
    };

    static constexpr size_t InitialSlots = 1024;
    // 32,768 names at most half fill it: far more distinct member names than
    // any real manifest or messages file has, and 1 MiB of table.
    static constexpr size_t MaxSlots = 65536;
    // A keyed hash at most half full rarely leaves a run this long; when it
    // does, the name is just not shared.
    static constexpr int MaxProbe = 8;

    void Resize(size_t slots)
    {
        FCharge.Resize(static_cast<int64_t>(slots * sizeof(TEntry)));
        std::vector<TEntry> old(slots);
        old.swap(FEntries);
        FCount = 0;
        const size_t mask = FEntries.size() - 1;
        for (const TEntry& entry : old) {
            if (entry.FText == nullptr)
                continue;
            base::BudgetTick();
            size_t i = entry.FHash & mask;
            for (int probe = 0; probe < MaxProbe; ++probe, i = (i + 1) & mask) {
                if (FEntries[i].FText == nullptr) {
                    FEntries[i] = entry;
                    ++FCount;
                    break;
                }
            }
        }
    }

    std::vector<TEntry> FEntries;
    size_t FCount = 0;
    base::TSeededHash FHash;
    base::TBudgetCharge FCharge;
};

} // namespace addoscope::json::detail
