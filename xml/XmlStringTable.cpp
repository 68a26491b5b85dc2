#include "xml/XmlStringTable.h"

#include <bit>
#include <chrono>
#include <cstring>
#include <new>

namespace addoscope::xml {

namespace {

constexpr size_t BlockSize = 64 * 1024;
constexpr size_t InitialSlots = 1024; // a power of two, at most 2^32

inline uint64_t Avalanche(uint64_t h)
{
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

inline uint64_t Load64(const char* p)
{
    uint64_t value;
    std::memcpy(&value, p, 8);
    return value;
}

} // namespace

// The seed differs from table to table, so that no fixed set of names can
// be prepared to collide in every document.
TxSymbolTable::TxSymbolTable()
    : FSeed(reinterpret_cast<uintptr_t>(this) ^
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
            0x9E3779B97F4A7C15ull)
{
}

uint64_t TxSymbolTable::Hash(std::string_view text) const
{
    constexpr uint64_t Multiplier = 0x9E3779B97F4A7C15ull;
    uint64_t h = FSeed ^ (text.size() * Multiplier);
    const char* p = text.data();
    size_t n = text.size();
    for (; n >= 8; p += 8, n -= 8) {
        h = (h ^ Load64(p)) * Multiplier;
        h ^= h >> 29;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, p, n);
    return Avalanche(h ^ tail);
}

std::string_view TxSymbolTable::Store(std::string_view text)
{
    char* at;
    if (text.size() > BlockSize / 4) {
        // Long texts get a block of their own, so blocks are never mostly
        // wasted.
        FBlocks.emplace_back(new char[text.size()]);
        at = FBlocks.back().get();
    } else {
        if (text.size() > FBlockFree) {
            FBlocks.emplace_back(new char[BlockSize]);
            FBlockNext = FBlocks.back().get();
            FBlockFree = BlockSize;
        }
        at = FBlockNext;
        FBlockNext += text.size();
        FBlockFree -= text.size();
    }
    std::memcpy(at, text.data(), text.size());
    return std::string_view(at, text.size());
}

// A slot's place comes from the top bits of the hash, which the slot keeps,
// so growing never has to read the strings again.
void TxSymbolTable::Grow()
{
    if (uint64_t(FSlots.size()) >= (uint64_t(1) << 32))
        throw std::bad_alloc(); // IDs are 32-bit; the table can never need more
    std::vector<uint64_t> slots(FSlots.empty() ? InitialSlots : FSlots.size() * 2, 0);
    const int shift = 64 - std::countr_zero(slots.size());
    const size_t mask = slots.size() - 1;
    for (const uint64_t slot : FSlots) {
        if (slot == 0)
            continue;
        size_t i = static_cast<size_t>(slot >> shift);
        while (slots[i] != 0)
            i = (i + 1) & mask;
        slots[i] = slot;
    }
    FSlots.swap(slots);
}

uint32_t TxSymbolTable::AddString(std::string_view text)
{
    if (text.empty())
        return 0;
    if (FSlots.empty())
        Grow();
    const uint64_t hash = Hash(text);
    const uint64_t tag = hash & 0xFFFFFFFF00000000ull;
    const size_t mask = FSlots.size() - 1;
    size_t i = static_cast<size_t>(hash >> (64 - std::countr_zero(FSlots.size())));
    for (;;) {
        const uint64_t slot = FSlots[i];
        if (slot == 0)
            break;
        if ((slot & 0xFFFFFFFF00000000ull) == tag) {
            const uint32_t id = static_cast<uint32_t>(slot);
            if (FByID[id - 1] == text)
                return id;
        }
        i = (i + 1) & mask;
    }
    if (FByID.size() >= 0xFFFFFFFEu)
        throw std::bad_alloc();
    // Should the list fail to grow, the stored bytes are merely unused.
    FByID.push_back(Store(text));
    const uint32_t id = static_cast<uint32_t>(FByID.size());
    FSlots[i] = tag | id;
    // At most half full, so probe runs stay short.
    if (FByID.size() * 2 > FSlots.size())
        Grow();
    return id;
}

std::string_view TxSymbolTable::GetString(uint32_t id) const
{
    if (id == 0)
        return {};
    if (id > FByID.size()) {
        if (FDiagnostics)
            FDiagnostics->Send("string ID not found", wsWarn);
        return {};
    }
    return FByID[id - 1];
}

void TxSymbolTable::Clear()
{
    FByID.clear();
    FBlocks.clear();
    FBlockFree = 0;
    FBlockNext = nullptr;
    FSlots.clear();
}

} // namespace addoscope::xml
