#include "base/Budget.h"

#include "platform/Platform.h"

#include <atomic>
#include <limits>
#include <utility>

namespace addoscope::base {

namespace {

std::atomic<uint64_t> Generations {0};

[[noreturn]] void Spend(detail::TBudgetState& state, const char* what)
{
    state.Exceeded = true;
    state.TicksLeft = 0; // every later tick comes back here
    throw EBudgetExceeded(what);
}

} // namespace

EBudgetExceeded::EBudgetExceeded(const char* what) : Exception(FormatText("Reading budget exceeded: %s", what)) {}

namespace detail {

void TickSlow()
{
    TBudgetState& state = State();
    if (state.Generation == 0) {
        state.TicksLeft = std::numeric_limits<int64_t>::max();
        return;
    }
    if (state.Exceeded)
        Spend(state, "already spent");
    state.TicksLeft = BudgetClockInterval;
    const int64_t now = platform::ThreadCpuNanoseconds();
    if (now >= 0 && now > state.CpuDeadline)
        Spend(state, "processor time");
}

} // namespace detail

TReadingBudget::TReadingBudget(int64_t cpuNanoseconds, int64_t memoryBytes)
{
    detail::TBudgetState& state = detail::State();
    if (state.Generation != 0)
        return;
    FInstalled = true;
    state.Generation = Generations.fetch_add(1, std::memory_order_relaxed) + 1;
    state.Exceeded = false;
    const int64_t now = platform::ThreadCpuNanoseconds();
    // Without a thread clock only the memory limit applies.
    state.CpuDeadline = now >= 0 ? now + cpuNanoseconds : std::numeric_limits<int64_t>::max();
    state.MemoryUsed = 0;
    state.MemoryPeak = 0;
    state.MemoryLimit = memoryBytes;
    state.TicksLeft = BudgetClockInterval;
}

TReadingBudget::~TReadingBudget()
{
    if (!FInstalled)
        return;
    detail::TBudgetState& state = detail::State();
    state = detail::TBudgetState();
}

bool TReadingBudget::Exceeded() const
{
    return detail::State().Exceeded;
}

int64_t TReadingBudget::MemoryUsed() const
{
    return detail::State().MemoryUsed;
}

int64_t TReadingBudget::MemoryPeak() const
{
    return detail::State().MemoryPeak;
}

bool BudgetExceeded()
{
    const detail::TBudgetState& state = detail::State();
    return state.Generation != 0 && state.Exceeded;
}

TBudgetCharge::TBudgetCharge(TBudgetCharge&& other) noexcept
    : FGeneration(std::exchange(other.FGeneration, 0)), FBytes(std::exchange(other.FBytes, 0))
{
}

TBudgetCharge& TBudgetCharge::operator=(TBudgetCharge&& other) noexcept
{
    if (this != &other) {
        Release();
        FGeneration = std::exchange(other.FGeneration, 0);
        FBytes = std::exchange(other.FBytes, 0);
    }
    return *this;
}

void TBudgetCharge::Resize(int64_t bytes)
{
    detail::TBudgetState& state = detail::State();
    if (state.Generation == 0) {
        FGeneration = 0;
        FBytes = bytes;
        return;
    }
    // What this charge counts under the current budget.
    const int64_t counted = FGeneration == state.Generation ? FBytes : 0;
    if (state.Exceeded && bytes > counted)
        Spend(state, "already spent");
    const int64_t used = state.MemoryUsed - counted + bytes;
    if (bytes > counted && used > state.MemoryLimit)
        Spend(state, "memory");
    state.MemoryUsed = used;
    if (used > state.MemoryPeak)
        state.MemoryPeak = used;
    FGeneration = state.Generation;
    FBytes = bytes;
}

void TBudgetCharge::Release() noexcept
{
    detail::TBudgetState& state = detail::State();
    if (FGeneration != 0 && FGeneration == state.Generation)
        state.MemoryUsed -= FBytes;
    FGeneration = 0;
    FBytes = 0;
}

} // namespace addoscope::base
