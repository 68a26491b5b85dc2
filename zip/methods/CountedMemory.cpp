#include "zip/methods/CountedMemory.h"

#include <cstdlib>
#include <cstring>

namespace addoscope::zip {

namespace {

// Each block starts with its size, so that freeing it can return the count.
constexpr size_t HeaderSize = alignof(std::max_align_t);

} // namespace

void* TCountedMemory::Allocate(size_t size) noexcept
{
    if (size > SIZE_MAX - HeaderSize)
        return nullptr;
    try {
        FCharge.Add(static_cast<int64_t>(size));
    } catch (...) {
        return nullptr;
    }
    auto* block = static_cast<unsigned char*>(std::malloc(size + HeaderSize));
    if (!block) {
        FCharge.Resize(FCharge.Bytes() - static_cast<int64_t>(size));
        return nullptr;
    }
    std::memcpy(block, &size, sizeof size);
    return block + HeaderSize;
}

void TCountedMemory::Free(void* address) noexcept
{
    if (!address)
        return;
    unsigned char* block = static_cast<unsigned char*>(address) - HeaderSize;
    size_t size;
    std::memcpy(&size, block, sizeof size);
    // Shrinking a charge never raises.
    FCharge.Resize(FCharge.Bytes() - static_cast<int64_t>(size));
    std::free(block);
}

} // namespace addoscope::zip
