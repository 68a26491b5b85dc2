#include "platform/Memory.h"

#include <cstdlib>

#include <sys/mman.h>

namespace addoscope::platform {

namespace {
// Linux's transparent huge pages: a block aligned to their size can be
// backed by them entirely.
constexpr size_t LargePageSize = size_t(2) << 20;
} // namespace

void* AllocateBlock(size_t size, bool largePages)
{
#if defined(MADV_HUGEPAGE)
    if (largePages && size >= LargePageSize) {
        void* block = nullptr;
        if (posix_memalign(&block, LargePageSize, size) != 0)
            return nullptr;
        // Only advice: without huge pages the block still works.
        madvise(block, size, MADV_HUGEPAGE);
        return block;
    }
#else
    (void)largePages;
#endif
    return std::malloc(size);
}

void FreeBlock(void* block)
{
    std::free(block);
}

} // namespace addoscope::platform
