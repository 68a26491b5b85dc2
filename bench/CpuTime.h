#pragma once
// Processor time for the benchmarks: on a shared machine, time spent waiting
// for a core must not count against either side.
#include <ctime>

namespace addoscope::bench {

// Seconds of processor time on `clock` (CLOCK_THREAD_CPUTIME_ID,
// CLOCK_PROCESS_CPUTIME_ID).
inline double CpuSeconds(clockid_t clock)
{
    timespec now {};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace addoscope::bench
