#pragma once
// Bump allocation for the nodes and texts of one parsed tree. A tree is
// built once and freed as a whole, so its parts need no destructors of
// their own: the arena hands out memory in growing blocks and releases
// every block together.
#include "base/Budget.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace addoscope::json::detail {

class TJSONArena {
public:
    // firstBlock: size of the first block in bytes; later blocks double.
    explicit TJSONArena(size_t firstBlock = 4096);
    TJSONArena(const TJSONArena&) = delete;
    TJSONArena& operator=(const TJSONArena&) = delete;

    void* Allocate(size_t size, size_t alignment)
    {
        const size_t pad = (alignment - reinterpret_cast<uintptr_t>(FNext) % alignment) % alignment;
        if (size + pad > static_cast<size_t>(FLimit - FNext))
            return AllocateSlow(size, alignment);
        char* result = FNext + pad;
        FNext = result + size;
        return result;
    }

    // Constructs a T in the arena. Its destructor is never run.
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

    // Total bytes reserved from the system.
    size_t Reserved() const { return FReserved; }
    // What the reading budget is charged for the blocks.
    int64_t Charged() const { return FCharge.Bytes(); }

private:
    void* AllocateSlow(size_t size, size_t alignment);

    std::vector<std::unique_ptr<char[]>> FBlocks;
    char* FNext = nullptr;
    char* FLimit = nullptr;
    size_t FNextBlock;
    size_t FReserved = 0;
    base::TBudgetCharge FCharge; // the blocks; released with the tree
};

} // namespace addoscope::json::detail
