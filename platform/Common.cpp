// Platform rules that are the same on every system.
#include "platform/Platform.h"

namespace addoscope::platform {

bool WindowsVersionKeepsCase(uint32_t major, uint32_t build)
{
    return major > 10 || (major == 10 && build >= 17134);
}

} // namespace addoscope::platform
