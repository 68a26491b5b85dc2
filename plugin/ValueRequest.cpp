#include "plugin/ContentPlugin.h"
#include "plugin/PluginState.h"
#include "platform/Platform.h"

namespace addoscope::plugin {

std::atomic<bool> KeepFileNameCase {false};

void SetDefaultParams()
{
    KeepFileNameCase = platform::FileNamesKeepCase();
}

// NOT DONE YET: the package reading path (record cache, package opening) is
// still being built. Until then every request without the delay-if-slow flag
// answers that the field is empty.
int32_t GetValue(const char16_t*, int32_t, int32_t, void*, int32_t, int32_t flags)
{
    if (flags & CONTENT_DELAYIFSLOW)
        return ft_delayed;
    return ft_fieldempty;
}

int32_t GetValueAnsi(const char* fileName, int32_t fieldIndex, int32_t unitIndex, void* fieldValue, int32_t maxlen,
                     int32_t flags)
{
    const std::u16string name = fileName ? platform::HostNameToUnicode(fileName) : std::u16string();
    return GetValue(name.c_str(), fieldIndex, unitIndex, fieldValue, maxlen, flags);
}

// NOT DONE YET: there is no record cache to clear until the reading path exists.
void SendStateInformation(int32_t, const char16_t*) {}

} // namespace addoscope::plugin
