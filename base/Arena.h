#pragma once
// Bump allocation for the parts of one parsed tree (JSON values, XML
// nodes). A tree is built once and freed as a whole, so its parts need no
// destructors of their own: the arena hands out memory from large blocks,
// counts the blocks against the reading's budget and releases them
// together, and freeing a tree a million levels deep needs no recursion.
#include "base/Budget.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace addoscope::base {

class TArena {
public:
    // Blocks start at `firstBlock` bytes and double up to `largestBlock`.
    explicit TArena(size_t firstBlock = 4096, size_t largestBlock = size_t(1) << 20);
    TArena(const TArena&) = delete;
    TArena& operator=(const TArena&) = delete;

    void* Allocate(size_t size, size_t alignment)
    {
        const size_t pad = (alignment - reinterpret_cast<uintptr_t>(FNext) % alignment) % alignment;
        if (size + pad > static_cast<size_t>(FLimit - FNext))
            return AllocateSlow(size, alignment);
        char* result = FNext + pad;
        FNext = result + size;
        return result;
    }

    // Constructs a T in the arena. Its destructor is never run, so it may
    // own nothing.
    template <class T, class... TArgs>
    T* New(TArgs&&... args)
    {
        return ::new (Allocate(sizeof(T), alignof(T))) T(std::forward<TArgs>(args)...);
    }

    template <class T>
    T* AllocateArray(size_t count)
    {
        if (count > SIZE_MAX / sizeof(T))
            throw std::bad_alloc();
        return static_cast<T*>(Allocate(count * sizeof(T), alignof(T)));
    }

    // Frees every block; the next block is again of the first size.
    void Clear();

    // Bytes taken from the system, all of them counted by the budget.
    size_t Reserved() const { return static_cast<size_t>(FCharge.Bytes()); }

private:
    void* AllocateSlow(size_t size, size_t alignment);

    std::vector<std::unique_ptr<char[]>> FBlocks;
    char* FNext = nullptr;
    char* FLimit = nullptr;
    const size_t FFirstBlock;
    const size_t FLargestBlock;
    size_t FNextBlock;
    TBudgetCharge FCharge;
};

} // namespace addoscope::base
