#pragma once
// The built plugin library, loaded the way a host loads it.
#include "base/Text.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

struct TPluginLibrary {
    using TGetDetectString = void (*)(char*, int32_t);
    using TGetSupportedField = int32_t (*)(int32_t, char*, char*, int32_t);
    using TSetDefaultParams = void (*)(void*);
    using TGetValueW = int32_t (*)(const char16_t*, int32_t, int32_t, void*, int32_t, int32_t);
    using TGetValue = int32_t (*)(const char*, int32_t, int32_t, void*, int32_t, int32_t);
    using TSendState = void (*)(int32_t, const char16_t*);

    static std::string Path()
    {
        return std::string(ADDOSCOPE_BIN_DIR) + (sizeof(void*) == 8 ? "/Addoscope.wdx64" : "/Addoscope.wdx");
    }

    TPluginLibrary() : TPluginLibrary(Path()) {}
    explicit TPluginLibrary(const std::string& path) : Library(addoscope::base::Utf8ToUtf16(path)) {}

    addoscope::platform::TLibrary Library;
    TGetDetectString GetDetectString = Get<TGetDetectString>("ContentGetDetectString");
    TGetSupportedField GetSupportedField = Get<TGetSupportedField>("ContentGetSupportedField");
    TSetDefaultParams SetDefaultParams = Get<TSetDefaultParams>("ContentSetDefaultParams");
    TGetValueW GetValueW = Get<TGetValueW>("ContentGetValueW");
    TGetValue GetValue = Get<TGetValue>("ContentGetValue");
    TSendState SendStateInformationW = Get<TSendState>("ContentSendStateInformationW");

    template <typename T>
    T Get(const char* name)
    {
        return reinterpret_cast<T>(Library.Symbol(name));
    }
};
