#pragma once
// Memory for the node tree of one document: the nodes and their subnode
// arrays come from one bump arena, which the document frees together, so a
// node costs its own bytes and nothing for the allocator. Subnode arrays
// grow by powers of two; an array given up by growth is kept for the next
// array of its size.
#include "base/Arena.h"

#include <cstddef>
#include <cstdint>
#include <utility>

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
        return FMemory.New<T>(std::forward<TArgs>(args)...);
    }

    // A node array of `count` entries has room for std::bit_ceil(count):
    // the capacity is implied by the count. Inserts `node` at `index`
    // (0..count), moving the array to a larger one when it is full.
    void Insert(TXmlNode**& items, uint32_t& count, uint32_t index, TXmlNode* node);
    // Inserts at the end; inline where the array has room (a count that is
    // not a power of two, nor 0, leaves room up to the next one).
    void Append(TXmlNode**& items, uint32_t& count, TXmlNode* node)
    {
        if ((count & (count - 1)) != 0) {
            items[count++] = node;
            return;
        }
        Insert(items, count, count, node);
    }

    // Frees every block.
    void Clear();
    // Bytes taken from the system.
    size_t Reserved() const { return FMemory.Reserved(); }

private:
    TXmlNode** AllocateArray(unsigned sizeClass);

    // Blocks of 64 KiB: a document of a few nodes stays small.
    base::TArena FMemory {64 * 1024, 64 * 1024};
    // Arrays of 2^class entries given up by growth, chained through their
    // first entry.
    TXmlNode** FSpare[32] = {};
};

} // namespace addoscope::xml
