#pragma once
// Module-wide state from load to unload: the plugin lock, the record cache,
// the settings and the last file asked about.
#include "platform/Platform.h"
#include "plugin/RecordCache.h"
#include "plugin/Settings.h"

#include <memory>
#include <string>

namespace addoscope::plugin {

struct TModuleState {
    std::unique_ptr<platform::TCriticalSection> PluginLock;
    std::unique_ptr<TwdxCache> RecordCache;
    TSettings Settings;
    std::u16string ModuleFileName;
    std::u16string LastFileName;
    // The current request's name as it is looked up (long-name prefix,
    // case); kept so that its storage is reused from request to request.
    std::u16string PreparedName;
    // The storage the prepared name is converted in for the file system.
    std::string NativeName;
};

// The one instance; its members are null before load and after unload.
TModuleState& Module();

// Load, in order: the lock; then, inside a guard that swallows any error,
// the record cache, the settings and the cache's capacity; then the table
// of known applications. `moduleFileName` locates the settings file.
void ModuleInitialize(const std::u16string& moduleFileName);

// Unload: destroys the lock, clears and destroys the cache (releasing every
// record), frees the known applications and forgets the file name and the
// locale setting.
void ModuleFinalize();

// Holds the plugin lock for a scope; does nothing when there is no lock.
class TPluginLockGuard {
public:
    TPluginLockGuard();
    ~TPluginLockGuard();
    TPluginLockGuard(const TPluginLockGuard&) = delete;
    TPluginLockGuard& operator=(const TPluginLockGuard&) = delete;

private:
    platform::TCriticalSection* FLock;
};

} // namespace addoscope::plugin
