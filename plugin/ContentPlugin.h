#pragma once
// The host's content plugin interface: result codes, flags, the
// default-parameter structure and the calling convention of the exports.
#include <cstdint>

#if defined(_WIN32)
#define ADDOSCOPE_EXPORT extern "C" __declspec(dllexport)
#define ADDOSCOPE_STDCALL __stdcall
#else
#define ADDOSCOPE_EXPORT extern "C" __attribute__((visibility("default")))
#define ADDOSCOPE_STDCALL
#endif

namespace addoscope::plugin {

constexpr int32_t ft_nomorefields = 0;
constexpr int32_t ft_stringw = 11;
constexpr int32_t ft_delayed = 0;
constexpr int32_t ft_fieldempty = -3;

constexpr int32_t CONTENT_DELAYIFSLOW = 1;

constexpr int32_t contst_readnewdir = 1;
constexpr int32_t contst_refreshpressed = 2;

} // namespace addoscope::plugin

// What the host passes to ContentSetDefaultParams. Only its address is
// used; the plugin reads none of it (the settings file lives beside the
// module). Hosts size DefaultIniName by their own MAX_PATH (260 on Windows,
// 4096 for Double Commander on Linux).
struct ContentDefaultParamStruct {
    int32_t size;
    uint32_t PluginInterfaceVersionLow;
    uint32_t PluginInterfaceVersionHi;
    char DefaultIniName[260];
};
