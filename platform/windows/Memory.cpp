#include "platform/Memory.h"

#include <cstdlib>

namespace addoscope::platform {

// Large pages on Windows need a privilege that a file manager's plugin
// does not hold, so every block is an ordinary one.
void* AllocateBlock(size_t size, bool)
{
    return std::malloc(size);
}

void FreeBlock(void* block)
{
    std::free(block);
}

} // namespace addoscope::platform
