#include "xml/XmlStringTable.h"

#include <bit>
#include <cstring>
#include <new>

namespace addoscope::xml {

namespace {

constexpr size_t BlockSize = 64 * 1024;
// A manifest holds some dozens of distinct strings: the first table is
// sized for them, and larger documents grow it by doubling.
constexpr size_t InitialSlots = 128; // a power of two, at most 2^32
constexpr size_t InitialIds = InitialSlots / 2;

} // namespace

TxSymbolTable::TxSymbolTable() = default;

void TxSymbolTable::Charge()
{
    FCharge.Resize(static_cast<int64_t>(FBlockBytes + FSlots.capacity() * sizeof(uint64_t) +
                                        FByID.capacity() * sizeof(std::string_view)));
}

inline std::string_view TxSymbolTable::Store(std::string_view text)
{
    if (text.size() <= FBlockFree && text.size() <= BlockSize / 4) {
        // The usual case: a short text with room in the current block.
        char* at = FBlockNext;
        FBlockNext += text.size();
        FBlockFree -= text.size();
        std::memcpy(at, text.data(), text.size());
        return std::string_view(at, text.size());
    }
    return StoreInNewBlock(text);
}

std::string_view TxSymbolTable::StoreInNewBlock(std::string_view text)
{
    char* at;
    if (text.size() > BlockSize / 4) {
        // Long texts get a block of their own, so blocks are never mostly
        // wasted.
        FBlocks.emplace_back(new char[text.size()]);
        at = FBlocks.back().get();
        FBlockBytes += text.size();
        Charge();
    } else {
        if (text.size() > FBlockFree) {
            FBlocks.emplace_back(new char[BlockSize]);
            FBlockNext = FBlocks.back().get();
            FBlockFree = BlockSize;
            FBlockBytes += BlockSize;
            Charge();
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
    base::BudgetTick(static_cast<int64_t>(FSlots.size() / 8));
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
    Charge();
}

inline uint32_t TxSymbolTable::Add(std::string_view text, bool tick)
{
    if (text.empty())
        return 0;
    if (FSlots.empty()) {
        FByID.reserve(InitialIds); // charged by Grow
        Grow();
    }
    if (tick)
        base::BudgetTick();
    const uint64_t hash = FHash(text);
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
    const size_t capacity = FByID.capacity();
    FByID.push_back(Store(text));
    if (FByID.capacity() != capacity)
        Charge();
    const uint32_t id = static_cast<uint32_t>(FByID.size());
    FSlots[i] = tag | id;
    // At most half full, so probe runs stay short.
    if (FByID.size() * 2 > FSlots.size())
        Grow();
    return id;
}

uint32_t TxSymbolTable::AddString(std::string_view text)
{
    return Add(text, true);
}

uint32_t TxSymbolTable::AddStringTicked(std::string_view text)
{
    return Add(text, false);
}

std::string_view TxSymbolTable::MissingString(uint32_t id) const
{
    if (id != 0 && FDiagnostics)
        FDiagnostics->Send("string ID not found", wsWarn);
    return {};
}

void TxSymbolTable::Clear()
{
    FByID = decltype(FByID)();
    FBlocks = decltype(FBlocks)();
    FBlockFree = 0;
    FBlockNext = nullptr;
    FSlots = decltype(FSlots)();
    FBlockBytes = 0;
    FCharge.Release();
    FHash = base::TSeededHash();
}

} // namespace addoscope::xml
