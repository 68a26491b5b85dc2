#include "base/Arena.h"

#include <algorithm>

namespace addoscope::base {

TArena::TArena(size_t firstBlock, size_t largestBlock)
    : FFirstBlock(std::clamp<size_t>(firstBlock, 256, std::max<size_t>(largestBlock, 256))),
      FLargestBlock(std::max<size_t>(largestBlock, 256)), FNextBlock(FFirstBlock)
{
}

void* TArena::AllocateSlow(size_t size, size_t alignment)
{
    if (size > SIZE_MAX / 2 - alignment)
        throw std::bad_alloc();
    const size_t needed = size + alignment;
    if (needed > FNextBlock / 4) {
        // A large request gets a block of its own, so the current block
        // keeps its free space for the small allocations that follow.
        FBlocks.reserve(FBlocks.size() + 1);
        FCharge.Add(static_cast<int64_t>(needed));
        FBlocks.push_back(std::make_unique_for_overwrite<char[]>(needed));
        char* block = FBlocks.back().get();
        return block + (alignment - reinterpret_cast<uintptr_t>(block) % alignment) % alignment;
    }
    FBlocks.reserve(FBlocks.size() + 1);
    FCharge.Add(static_cast<int64_t>(FNextBlock));
    FBlocks.push_back(std::make_unique_for_overwrite<char[]>(FNextBlock));
    FNext = FBlocks.back().get();
    FLimit = FNext + FNextBlock;
    if (FNextBlock < FLargestBlock)
        FNextBlock = std::min(FNextBlock * 2, FLargestBlock);
    return Allocate(size, alignment);
}

void TArena::Clear()
{
    FBlocks.clear();
    FNext = FLimit = nullptr;
    FNextBlock = FFirstBlock;
    FCharge.Resize(0);
}

} // namespace addoscope::base
