// The system's random source, for hash seeds that no file can predict.
// rand_s asks the system's generator (RtlGenRandom) and lives in msvcrt,
// which the plugin imports already.
#define _CRT_RAND_S
#include <stdlib.h>

#include "platform/Platform.h"

#include <cstdint>
#include <cstring>

namespace addoscope::platform {

bool RandomBytes(void* buffer, size_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        unsigned int value = 0;
        if (rand_s(&value) != 0)
            return false;
        const size_t n = count < sizeof(value) ? count : sizeof(value);
        std::memcpy(out, &value, n);
        out += n;
        count -= n;
    }
    return true;
}

} // namespace addoscope::platform
