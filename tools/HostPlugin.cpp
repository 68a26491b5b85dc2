#include "tools/HostPlugin.h"

#include "base/Text.h"

#include <cstring>
#include <vector>

namespace addoscope::tools {

namespace {

// The host interface's codes, as a host knows them.
constexpr int32_t ft_nomorefields = 0;
constexpr int32_t ft_delayed = 0;
constexpr int32_t ft_stringw = 11;
constexpr int32_t CONTENT_DELAYIFSLOW = 1;

// Room for long descriptions: 32 Ki characters.
constexpr int32_t ValueBufferBytes = 65536;

// The default-parameter structure with the Linux hosts' path length; a
// plugin must not read beyond what it needs.
struct THostDefaultParams {
    int32_t size;
    uint32_t PluginInterfaceVersionLow;
    uint32_t PluginInterfaceVersionHi;
    char DefaultIniName[4096];
};

template <typename T>
T Resolve(const platform::TLibrary& library, const char* name, std::string& missing)
{
    void* symbol = library.Symbol(name);
    if (!symbol && missing.empty())
        missing = name;
    return reinterpret_cast<T>(symbol);
}

} // namespace

THostPlugin::THostPlugin(const std::u16string& path) : FLibrary(std::make_unique<platform::TLibrary>(path))
{
    if (!FLibrary->IsLoaded()) {
        FError = FLibrary->ErrorText();
        return;
    }
    std::string missing;
    FGetDetectString = Resolve<TGetDetectString>(*FLibrary, "ContentGetDetectString", missing);
    FGetSupportedField = Resolve<TGetSupportedField>(*FLibrary, "ContentGetSupportedField", missing);
    FSetDefaultParams = Resolve<TSetDefaultParams>(*FLibrary, "ContentSetDefaultParams", missing);
    FGetValueW = Resolve<TGetValueW>(*FLibrary, "ContentGetValueW", missing);
    if (!missing.empty())
        FError = "the library does not export " + missing;
}

void THostPlugin::Start()
{
    THostDefaultParams params {};
    params.size = sizeof(params);
    params.PluginInterfaceVersionLow = 10;
    params.PluginInterfaceVersionHi = 2;
    std::strcpy(params.DefaultIniName, "contplug.ini");
    FSetDefaultParams(&params);

    char detect[2048] = {};
    FGetDetectString(detect, sizeof(detect));
    FDetectString = detect;

    FFields.clear();
    for (int32_t index = 0;; ++index) {
        char name[256] = {};
        char units[256] = {};
        const int32_t type = FGetSupportedField(index, name, units, sizeof(name));
        if (type == ft_nomorefields)
            break;
        FFields.push_back({name, type});
    }
}

std::u16string THostPlugin::Value(const std::u16string& fileName, int32_t fieldIndex)
{
    std::vector<char16_t>& buffer = FBuffer;
    buffer.resize(ValueBufferBytes / sizeof(char16_t));
    int32_t result = FGetValueW(fileName.c_str(), fieldIndex, 0, buffer.data(), ValueBufferBytes, CONTENT_DELAYIFSLOW);
    if (result == ft_delayed)
        result = FGetValueW(fileName.c_str(), fieldIndex, 0, buffer.data(), ValueBufferBytes, 0);
    if (result != ft_stringw)
        return {};
    buffer.back() = u'\0';
    return std::u16string(buffer.data());
}

std::vector<std::string> DetectExtensions(const std::string& detectString)
{
    std::vector<std::string> result;
    size_t at = 0;
    const std::string key = "EXT=\"";
    std::string upper = detectString;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    while ((at = upper.find(key, at)) != std::string::npos) {
        at += key.size();
        const size_t end = upper.find('"', at);
        if (end == std::string::npos)
            break;
        result.push_back(upper.substr(at, end - at));
        at = end + 1;
    }
    return result;
}

} // namespace addoscope::tools
