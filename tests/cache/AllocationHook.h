#pragma once
// Replaces the global allocation functions of a test program so that tests
// can count allocations and frees and make the next allocation fail.
// Include in exactly one source file of a program.
#include <cstddef>
#include <cstdlib>
#include <new>

// GCC sees the replaced functions inlined as a malloc/free pair under
// operator new/delete and reports a mismatch that is not one.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace addoscope::testhooks {

struct TAllocationHook {
    static inline size_t Allocations = 0;
    static inline size_t Frees = 0;
    static inline size_t LastSize = 0;
    static inline bool FailNext = false;
    // When not 0: the next allocation of exactly this size fails.
    static inline size_t FailSize = 0;
};

// Counts what happens during its lifetime.
class TAllocationCounter {
public:
    TAllocationCounter()
        : FAllocations(TAllocationHook::Allocations), FFrees(TAllocationHook::Frees)
    {
    }
    size_t Allocations() const { return TAllocationHook::Allocations - FAllocations; }
    size_t Frees() const { return TAllocationHook::Frees - FFrees; }

private:
    size_t FAllocations;
    size_t FFrees;
};

} // namespace addoscope::testhooks

void* operator new(std::size_t size)
{
    using addoscope::testhooks::TAllocationHook;
    if (TAllocationHook::FailNext) {
        TAllocationHook::FailNext = false;
        throw std::bad_alloc();
    }
    if (TAllocationHook::FailSize != 0 && size == TAllocationHook::FailSize) {
        TAllocationHook::FailSize = 0;
        throw std::bad_alloc();
    }
    void* memory = std::malloc(size ? size : 1);
    if (!memory)
        throw std::bad_alloc();
    ++TAllocationHook::Allocations;
    TAllocationHook::LastSize = size;
    return memory;
}

void operator delete(void* memory) noexcept
{
    if (memory)
        ++addoscope::testhooks::TAllocationHook::Frees;
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    operator delete(memory);
}

// Array forms go through the same counting (a sanitizer runtime would
// otherwise serve them itself).
void* operator new[](std::size_t size)
{
    return operator new(size);
}

void operator delete[](void* memory) noexcept
{
    operator delete(memory);
}

void operator delete[](void* memory, std::size_t) noexcept
{
    operator delete(memory);
}
