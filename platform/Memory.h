#pragma once
// Memory for large working areas that are read and written at random, such
// as a compression model: the system may back them with large pages.
#include <cstddef>

namespace addoscope::platform {

// An uninitialised block of `size` bytes, or nullptr when the memory cannot
// be had. With largePages, the system is asked to back the block with large
// pages where it can: far fewer page faults and TLB misses when most of the
// block is used, at the cost of memory committed in large steps when only
// a little of it is. Freed with FreeBlock.
void* AllocateBlock(size_t size, bool largePages);
void FreeBlock(void* block);

} // namespace addoscope::platform
