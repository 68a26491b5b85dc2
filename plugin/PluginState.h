#pragma once
// Module-wide state and the value requests behind the exported functions.
#include <atomic>
#include <cstdint>

namespace addoscope::plugin {

// When false, file names are lower-cased before use. On Windows it is false
// until the host's ContentSetDefaultParams; where the file system tells
// names apart by case it is true from load on, since a lower-cased name
// there may name another file.
extern std::atomic<bool> KeepFileNameCase;

// Processor time and memory one package reading may take before it is
// ended as a broken package: the host waits on the plugin lock meanwhile.
inline constexpr int64_t ReadingCpuBudget = 1500 * int64_t(1000000); // nanoseconds
inline constexpr int64_t ReadingMemoryBudget = 150 * int64_t(1 << 20);

// For tests only: called inside each package reading's budget, before the
// package is read; null otherwise.
extern void (*ReadingTestHook)();

void SetDefaultParams();

int32_t GetValue(const char16_t* fileName, int32_t fieldIndex, int32_t unitIndex, void* fieldValue, int32_t maxlen,
                 int32_t flags);
int32_t GetValueAnsi(const char* fileName, int32_t fieldIndex, int32_t unitIndex, void* fieldValue, int32_t maxlen,
                     int32_t flags);
void SendStateInformation(int32_t state, const char16_t* path);

} // namespace addoscope::plugin
