#include "plugin/Lifecycle.h"

#include "package/Addoscope.h"

namespace addoscope::plugin {

TModuleState& Module()
{
    // Never destroyed by the C++ runtime: the library's unload hook empties
    // it, and the runtime's own clean-up of statics may run before or after
    // that hook, depending on how the host ends.
    static TModuleState& state = *new TModuleState;
    return state;
}

void ModuleInitialize(const std::u16string& moduleFileName)
{
    TModuleState& module = Module();
    module.PluginLock = std::make_unique<platform::TCriticalSection>();
    module.ModuleFileName = moduleFileName;
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
    module.LastFileName.clear();
    module.Settings.UseCurrentLocaleDescription.clear();
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
