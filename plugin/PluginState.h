#pragma once
// Module-wide state and the value requests behind the exported functions.
#include <atomic>
#include <cstdint>

namespace addoscope::plugin {

// False until the host's ContentSetDefaultParams; when false, file names are
// lower-cased before use.
extern std::atomic<bool> KeepFileNameCase;

void SetDefaultParams();

int32_t GetValue(const char16_t* fileName, int32_t fieldIndex, int32_t unitIndex, void* fieldValue, int32_t maxlen,
                 int32_t flags);
int32_t GetValueAnsi(const char* fileName, int32_t fieldIndex, int32_t unitIndex, void* fieldValue, int32_t maxlen,
                     int32_t flags);
void SendStateInformation(int32_t state, const char16_t* path);

} // namespace addoscope::plugin
