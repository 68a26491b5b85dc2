#pragma once
// Memory for the decoding libraries (bzip2, the LZMA SDK), counted against
// the reading's budget. The libraries call these through C function
// pointers, so nothing may be thrown: an allocation past the budget fails
// as if the memory were not there (and the budget stays spent), and the
// library reports that as its own memory error.
#include "base/Budget.h"

#include <cstddef>

namespace addoscope::zip {

class TCountedMemory {
public:
    TCountedMemory() = default;
    TCountedMemory(const TCountedMemory&) = delete;
    TCountedMemory& operator=(const TCountedMemory&) = delete;

    // Null when the memory cannot be had or is not in the budget.
    void* Allocate(size_t size) noexcept;
    void Free(void* block) noexcept;

    int64_t Bytes() const { return FCharge.Bytes(); }

private:
    base::TBudgetCharge FCharge;
};

} // namespace addoscope::zip
