// The six functions the host finds by name. Each is a thin adapter over the
// plugin's logic and lets no exception escape.
#include "plugin/ContentPlugin.h"
#include "plugin/FieldTable.h"
#include "plugin/Lifecycle.h"
#include "plugin/PluginState.h"

using namespace addoscope::plugin;

#if defined(_WIN32)
// Addoscope.def names the exports. A dllexport would add the 32-bit build's
// decorated stdcall names (ContentGetValue@24) beside the plain ones.
#undef ADDOSCOPE_EXPORT
#define ADDOSCOPE_EXPORT extern "C"
#endif

// Module load and unload: the shared library's constructor and destructor
// run when the host loads and frees the library.
#if !defined(_WIN32)
__attribute__((constructor)) static void AddoscopeModuleLoad()
{
    try {
        ModuleInitialize(addoscope::platform::ModuleFileName());
    } catch (...) {
    }
}

__attribute__((destructor)) static void AddoscopeModuleUnload()
{
    try {
        ModuleFinalize();
    } catch (...) {
    }
}
#else
// The loader calls this under its lock: initialisation only creates the
// plugin lock and the cache and reads the small settings file; it starts no
// thread and loads no library.
extern "C" int __stdcall DllMain(void* /*module*/, unsigned long reason, void* reserved)
{
    constexpr unsigned long processAttach = 1; // DLL_PROCESS_ATTACH
    constexpr unsigned long processDetach = 0; // DLL_PROCESS_DETACH
    try {
        if (reason == processAttach) {
            ModuleInitialize(addoscope::platform::ModuleFileName());
        } else if (reason == processDetach && reserved == nullptr) {
            // Only on FreeLibrary. When the process ends, its other threads
            // are already gone, possibly in the middle of a request; freeing
            // what they held could deadlock, and the system reclaims it all.
            ModuleFinalize();
        }
    } catch (...) {
    }
    return 1;
}
#endif

ADDOSCOPE_EXPORT void ADDOSCOPE_STDCALL ContentGetDetectString(char* DetectString, int32_t maxlen)
{
    try {
        GetDetectString(DetectString, maxlen);
    } catch (...) {
    }
}

ADDOSCOPE_EXPORT int32_t ADDOSCOPE_STDCALL ContentGetSupportedField(int32_t FieldIndex, char* FieldName, char* Units,
                                                                    int32_t maxlen)
{
    try {
        return GetSupportedField(FieldIndex, FieldName, Units, maxlen);
    } catch (...) {
        return ft_nomorefields;
    }
}

ADDOSCOPE_EXPORT void ADDOSCOPE_STDCALL ContentSetDefaultParams(ContentDefaultParamStruct* /*dps*/)
{
    try {
        SetDefaultParams();
    } catch (...) {
    }
}

ADDOSCOPE_EXPORT int32_t ADDOSCOPE_STDCALL ContentGetValueW(const char16_t* FileName, int32_t FieldIndex,
                                                            int32_t UnitIndex, void* FieldValue, int32_t maxlen,
                                                            int32_t flags)
{
    try {
        return GetValue(FileName, FieldIndex, UnitIndex, FieldValue, maxlen, flags);
    } catch (...) {
        return ft_fieldempty;
    }
}

ADDOSCOPE_EXPORT int32_t ADDOSCOPE_STDCALL ContentGetValue(const char* FileName, int32_t FieldIndex, int32_t UnitIndex,
                                                           void* FieldValue, int32_t maxlen, int32_t flags)
{
    try {
        return GetValueAnsi(FileName, FieldIndex, UnitIndex, FieldValue, maxlen, flags);
    } catch (...) {
        return ft_fieldempty;
    }
}

ADDOSCOPE_EXPORT void ADDOSCOPE_STDCALL ContentSendStateInformationW(int32_t state, const char16_t* path)
{
    try {
        SendStateInformation(state, path);
    } catch (...) {
    }
}
