#pragma once
// Memory for the node tree of one document. Nodes and their subnode arrays
// are carved from large blocks, which the document frees together: a node
// costs its own bytes and nothing for the allocator, no node is ever
// destroyed on its own (so freeing a tree a million levels deep needs no
// recursion), and the blocks are counted against the reading budget.
#include "base/Budget.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace addoscope::xml {

class TXmlNode;

class TxArena {
public:
    TxArena() = default;
    TxArena(const TxArena&) = delete;
    TxArena& operator=(const TxArena&) = delete;

    // Constructs a T; its destructor is never run, so it may own nothing.
    template <class T, class... TArgs>
    T* New(TArgs&&... args)
    {
        static_assert(alignof(T) <= Alignment);
        return ::new (Allocate(sizeof(T))) T(std::forward<TArgs>(args)...);
    }

    // A node array of `count` entries has room for std::bit_ceil(count):
    // the capacity is implied by the count. Inserts `node` at `index`
    // (0..count), moving the array to a larger one when it is full; the
    // array left behind is kept for the next array of its size.
    void Insert(TXmlNode**& items, uint32_t& count, uint32_t index, TXmlNode* node);

    // Frees every block.
    void Clear();
    // Bytes taken from the system.
    size_t Reserved() const { return static_cast<size_t>(FCharge.Bytes()); }

private:
    static constexpr size_t Alignment = alignof(std::max_align_t) < 8 ? 8 : alignof(std::max_align_t);

    void* Allocate(size_t size)
    {
        size = (size + Alignment - 1) & ~(Alignment - 1);
        if (size > static_cast<size_t>(FLimit - FNext))
            return AllocateSlow(size);
        void* result = FNext;
        FNext += size;
        return result;
    }
    void* AllocateSlow(size_t size);
    TXmlNode** AllocateArray(unsigned sizeClass);

    std::vector<std::unique_ptr<std::byte[]>> FBlocks;
    std::byte* FNext = nullptr;
    std::byte* FLimit = nullptr;
    // Arrays of 2^class entries given up by growth, chained through their
    // first entry.
    TXmlNode** FSpare[32] = {};
    base::TBudgetCharge FCharge;
};

} // namespace addoscope::xml
