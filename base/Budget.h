#pragma once
// The budget of one package reading: processor time and memory.
//
// The plugin runs inside the host under one lock, so a reading that takes
// seconds or gigabytes stalls or endangers the whole host. The readers are
// built to cost time and memory linear in their input and bounded by the
// extraction caps; the budget is the backstop behind that for anything
// they miss. A reading runs inside a TReadingBudget; every loop that input
// can lengthen calls BudgetTick, and the big allocations of the reading
// path (streams, arenas, trees, the zip directory, decoder models) are
// counted through TBudgetCharge. Once either limit is passed, the budget is
// spent for good: EBudgetExceeded is raised at the passing point and again
// at every later tick or charge, so catch-alls along the way cannot keep
// the reading going, and the reader of the whole package, seeing
// Exceeded(), treats the package as broken.
//
// Outside a TReadingBudget nothing is limited and the calls cost a counter
// decrement.
#include "base/Exception.h"

#include <cstdint>
#include <limits>

namespace addoscope::base {

class EBudgetExceeded : public Exception {
public:
    explicit EBudgetExceeded(const char* what);
};

namespace detail {

struct TBudgetState {
    // Work units left until the thread's processor clock is read again.
    int64_t TicksLeft = std::numeric_limits<int64_t>::max();
    uint64_t Generation = 0; // of the active budget; 0 when none
    bool Exceeded = false;
    int64_t CpuDeadline = 0; // thread processor time, nanoseconds
    int64_t MemoryUsed = 0;
    int64_t MemoryPeak = 0;
    int64_t MemoryLimit = 0;
};

// Constant-initialised, so that reaching it from a hot loop costs no
// initialisation check.
inline constinit thread_local TBudgetState BudgetState {};

inline TBudgetState& State()
{
    return BudgetState;
}

void TickSlow();

} // namespace detail

// Installs a budget on the calling thread for the scope's lifetime. Scopes
// do not nest: an inner one leaves the outer budget in force.
class TReadingBudget {
public:
    TReadingBudget(int64_t cpuNanoseconds, int64_t memoryBytes);
    ~TReadingBudget();
    TReadingBudget(const TReadingBudget&) = delete;
    TReadingBudget& operator=(const TReadingBudget&) = delete;

    // Whether the reading passed either limit.
    bool Exceeded() const;
    // Memory counted now, and the most counted at any time (for tests and
    // measurements).
    int64_t MemoryUsed() const;
    int64_t MemoryPeak() const;

private:
    bool FInstalled = false;
};

// About this many work units pass between two looks at the processor clock.
// A unit is roughly one pass of a light loop (tens of nanoseconds); loops
// whose passes are heavier give a larger count.
inline constexpr int64_t BudgetClockInterval = 4096;

// Accounts `work` units of work; raises EBudgetExceeded when the budget's
// time is spent (or the budget is spent already).
inline void BudgetTick(int64_t work = 1)
{
    detail::TBudgetState& state = detail::State();
    if ((state.TicksLeft -= work) <= 0)
        detail::TickSlow();
}

// Whether the calling thread's budget is spent.
bool BudgetExceeded();

// Memory counted against the budget that was active when it was charged.
// Released when the charge is destroyed or released; a charge made outside
// any budget, or under an earlier one, counts for nothing now and is
// charged afresh by the next Resize.
class TBudgetCharge {
public:
    TBudgetCharge() = default;
    ~TBudgetCharge() { Release(); }
    TBudgetCharge(const TBudgetCharge&) = delete;
    TBudgetCharge& operator=(const TBudgetCharge&) = delete;
    TBudgetCharge(TBudgetCharge&& other) noexcept;
    TBudgetCharge& operator=(TBudgetCharge&& other) noexcept;

    // Makes the charge `bytes` in all; raises EBudgetExceeded (leaving the
    // charge as it was) when that passes the memory limit.
    void Resize(int64_t bytes);
    void Add(int64_t bytes) { Resize(FBytes + bytes); }
    void Release() noexcept;
    int64_t Bytes() const { return FBytes; }

private:
    uint64_t FGeneration = 0;
    int64_t FBytes = 0;
};

} // namespace addoscope::base
