#pragma once
// Name interning for large inputs: a 32-bit hash per member name, with the
// text first stored under each hash.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace addoscope::json::detail {

// Member names seen so far, one per 32-bit hash: the first name stored under
// a hash stays there, later equal names share its text.
class TStringCache {
public:
    static uint32_t Hash(const char16_t* text, size_t length)
    {
        uint32_t hash = static_cast<uint32_t>(length);
        for (size_t i = 0; i < length; ++i) {
            hash ^= text[i];
            hash *= 16777619u;
        }
        return hash;
    }

    // The stored text with this hash, or nullptr when none is stored yet;
    // in that case `slot` tells where Store puts it.
    const std::u16string_view* Find(uint32_t hash, size_t& slot)
    {
        if (FEntries.empty())
            FEntries.resize(1024);
        const size_t mask = FEntries.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            TEntry& entry = FEntries[i];
            if (!entry.FUsed) {
                slot = i;
                return nullptr;
            }
            if (entry.FHash == hash)
                return &entry.FText;
        }
    }

    void Store(size_t slot, uint32_t hash, std::u16string_view text)
    {
        FEntries[slot] = TEntry{text, hash, true};
        if (++FCount * 2 > FEntries.size())
            Grow();
    }

private:
    struct TEntry {
        std::u16string_view FText;
        uint32_t FHash = 0;
        bool FUsed = false;
    };

    void Grow()
    {
        std::vector<TEntry> old(FEntries.size() * 2);
        old.swap(FEntries);
        const size_t mask = FEntries.size() - 1;
        for (const TEntry& entry : old) {
            if (!entry.FUsed)
                continue;
            size_t i = entry.FHash & mask;
            while (FEntries[i].FUsed)
                i = (i + 1) & mask;
            FEntries[i] = entry;
        }
    }

    std::vector<TEntry> FEntries;
    size_t FCount = 0;
};

} // namespace addoscope::json::detail
