#pragma once
// A content plugin loaded the way a file manager loads it: through its
// exported functions only.
#include "platform/Platform.h"
#include "plugin/ContentPlugin.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace addoscope::tools {

struct THostField {
    std::string Name;
    int32_t Type = 0;
};

class THostPlugin {
public:
    // Loads the library and resolves the six exports; IsLoaded() tells
    // whether that worked and ErrorText() why not.
    explicit THostPlugin(const std::u16string& path);

    bool IsLoaded() const { return FError.empty(); }
    const std::string& ErrorText() const { return FError; }

    // ContentSetDefaultParams, ContentGetDetectString and the field list.
    void Start();
    const std::string& DetectString() const { return FDetectString; }
    const std::vector<THostField>& Fields() const { return FFields; }

    // Asks for one field first with the delay-if-slow flag, then again
    // without it, as a file manager's background thread does. Empty text
    // means the plugin answered that the field is empty.
    std::u16string Value(const std::u16string& fileName, int32_t fieldIndex);

private:
    // The exports' own calling convention: on 32-bit Windows the callee
    // pops its arguments, and a caller that expects otherwise loses track
    // of its stack after the first call.
    using TGetDetectString = void(ADDOSCOPE_STDCALL*)(char*, int32_t);
    using TGetSupportedField = int32_t(ADDOSCOPE_STDCALL*)(int32_t, char*, char*, int32_t);
    using TSetDefaultParams = void(ADDOSCOPE_STDCALL*)(void*);
    using TGetValueW = int32_t(ADDOSCOPE_STDCALL*)(const char16_t*, int32_t, int32_t, void*, int32_t, int32_t);

    std::unique_ptr<platform::TLibrary> FLibrary;
    std::string FError;
    TGetDetectString FGetDetectString = nullptr;
    TGetSupportedField FGetSupportedField = nullptr;
    TSetDefaultParams FSetDefaultParams = nullptr;
    TGetValueW FGetValueW = nullptr;
    std::string FDetectString;
    std::vector<THostField> FFields;
    std::vector<char16_t> FBuffer; // the value buffer, reused for every request
};

// The extensions a detect string accepts (ext="XPI"|ext="CRX"), upper case.
std::vector<std::string> DetectExtensions(const std::string& detectString);

} // namespace addoscope::tools
