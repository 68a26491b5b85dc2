#include "json/JsonArena.h"

#include <algorithm>
#include <cstdint>

namespace addoscope::json::detail {

namespace {
// Blocks stop doubling here.
constexpr size_t MaxBlock = size_t(1) << 20;
} // namespace

TJSONArena::TJSONArena(size_t firstBlock) : FNextBlock(std::clamp<size_t>(firstBlock, 256, MaxBlock)) {}

void* TJSONArena::AllocateSlow(size_t size, size_t alignment)
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
        FReserved += needed;
        char* block = FBlocks.back().get();
        return block + (alignment - reinterpret_cast<uintptr_t>(block) % alignment) % alignment;
    }
    FBlocks.reserve(FBlocks.size() + 1);
    FCharge.Add(static_cast<int64_t>(FNextBlock));
    FBlocks.push_back(std::make_unique_for_overwrite<char[]>(FNextBlock));
    FReserved += FNextBlock;
    FNext = FBlocks.back().get();
    FLimit = FNext + FNextBlock;
    if (FNextBlock < MaxBlock)
        FNextBlock *= 2;
    return Allocate(size, alignment);
}

} // namespace addoscope::json::detail
