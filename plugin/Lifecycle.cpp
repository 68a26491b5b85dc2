#include "plugin/Lifecycle.h"

#include "package/Addoscope.h"
#include "plugin/PluginState.h"

#include <new>

namespace addoscope::plugin {

TModuleState& Module()
{
    // Never destroyed by the C++ runtime: the library's unload hook empties
    // it, and the runtime's own clean-up of statics may run before or after
    // that hook, depending on how the host ends.
    // It lives in static storage rather than on the heap, so nothing of it
    // is left allocated once the library is unloaded.
    alignas(TModuleState) static unsigned char storage[sizeof(TModuleState)];
    static TModuleState& state = *new (storage) TModuleState;
    return state;
}

void ModuleInitialize(const std::u16string& moduleFileName)
{
    TModuleState& module = Module();
    module.PluginLock = std::make_unique<platform::TCriticalSection>();
    module.ModuleFileName = moduleFileName;
    // Lower-casing a name where case tells files apart would answer from
    // another file, whether or not the host ever sets its parameters.
    KeepFileNameCase = platform::FileNameCaseMatters;
    try {
        module.RecordCache = std::make_unique<TwdxCache>(TwdxCache::DefaultHashSize);
        LoadSettings(moduleFileName, module.Settings);
        module.RecordCache->SetMaxCount(module.Settings.CacheSize + 1);
    } catch (...) {
        // The module runs with the settings read so far and, when the
        // capacity was not set, an unbounded cache.
    }
    package::BuildKnownApplications();
}

void ModuleFinalize()
{
    TModuleState& module = Module();
    module.PluginLock.reset();
    if (module.RecordCache) {
        module.RecordCache->Clear();
        module.RecordCache.reset();
    }
    package::FreeKnownApplications();
    // Release the texts' memory too, not just their contents.
    std::u16string().swap(module.LastFileName);
    std::u16string().swap(module.PreparedName);
    std::string().swap(module.NativeName);
    std::u16string().swap(module.ModuleFileName);
    std::u16string().swap(module.Settings.UseCurrentLocaleDescription);
}

TPluginLockGuard::TPluginLockGuard() : FLock(Module().PluginLock.get())
{
    if (FLock)
        FLock->Enter();
}

TPluginLockGuard::~TPluginLockGuard()
{
    if (FLock)
        FLock->Leave();
}

} // namespace addoscope::plugin
