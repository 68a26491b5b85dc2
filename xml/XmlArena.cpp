#include "xml/XmlArena.h"

#include <bit>
#include <cstring>

namespace addoscope::xml {

namespace {
constexpr size_t BlockSize = 64 * 1024;
// Requests above this get a block of their own, so that a large array does
// not leave most of a block unused.
constexpr size_t OwnBlockSize = BlockSize / 4;
} // namespace

void* TxArena::AllocateSlow(size_t size)
{
    const bool own = size > OwnBlockSize;
    const size_t bytes = own ? size : BlockSize;
    FBlocks.reserve(FBlocks.size() + 1);
    auto block = std::make_unique_for_overwrite<std::byte[]>(bytes);
    FCharge.Add(static_cast<int64_t>(bytes));
    std::byte* start = block.get();
    FBlocks.push_back(std::move(block));
    if (own)
        return start;
    FNext = start + size;
    FLimit = start + bytes;
    return start;
}

TXmlNode** TxArena::AllocateArray(unsigned sizeClass)
{
    if (TXmlNode** spare = FSpare[sizeClass]) {
        FSpare[sizeClass] = reinterpret_cast<TXmlNode**>(spare[0]);
        return spare;
    }
    return static_cast<TXmlNode**>(Allocate(sizeof(TXmlNode*) << sizeClass));
}

void TxArena::Insert(TXmlNode**& items, uint32_t& count, uint32_t index, TXmlNode* node)
{
    if (index > count)
        index = count;
    if (count == 0 || std::has_single_bit(count)) {
        // Full: its capacity is the count itself.
        if (count >= (uint32_t(1) << 30))
            throw std::bad_alloc();
        const unsigned oldClass = count == 0 ? 0 : static_cast<unsigned>(std::countr_zero(count));
        TXmlNode** grown = AllocateArray(count == 0 ? 0 : oldClass + 1);
        if (count > 0) {
            std::memcpy(grown, items, count * sizeof(TXmlNode*));
            items[0] = reinterpret_cast<TXmlNode*>(FSpare[oldClass]);
            FSpare[oldClass] = items;
        }
        items = grown;
    }
    std::memmove(items + index + 1, items + index, (count - index) * sizeof(TXmlNode*));
    items[index] = node;
    ++count;
}

void TxArena::Clear()
{
    FBlocks.clear();
    FNext = FLimit = nullptr;
    for (TXmlNode**& spare : FSpare)
        spare = nullptr;
    FCharge.Resize(0);
}

} // namespace addoscope::xml
