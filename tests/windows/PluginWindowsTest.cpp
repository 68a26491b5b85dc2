// The plugin DLL's handling of Windows file names, run under Wine by
// scripts/test-windows: names past MAX_PATH (the plugin must add the
// long-name prefix itself) and 8-bit names in the ANSI code page through
// ContentGetValue. The folder holds copies of one sample package:
// "short\sample.xpi", "d\xE4t\xE4.xpi", "sample.xpi" six folders deep, and
// "sample.xpi" in folders of x's that make the whole name exactly 256 and
// 300 characters long.
#include "platform/Platform.h"

#include <cstdint>
#include <cstdio>
#include <string>

using namespace addoscope;

namespace {

using TGetValueW = int32_t(__stdcall*)(const char16_t*, int32_t, int32_t, void*, int32_t, int32_t);
using TGetValue = int32_t(__stdcall*)(const char*, int32_t, int32_t, void*, int32_t, int32_t);
using TSetDefaultParams = void(__stdcall*)(void*);

constexpr int32_t ft_stringw = 11;
constexpr int32_t NameField = 3;

int Failures = 0;

void Check(bool ok, const char* what, int line)
{
    if (!ok) {
        ++Failures;
        std::printf("FAILED line %d: %s\n", line, what);
    }
}
#define CHECK(condition) Check((condition), #condition, __LINE__)

struct TAnswer {
    int32_t Result;
    std::u16string Text;
};

template <typename TFunction, typename TName>
TAnswer Ask(TFunction function, TName name, int32_t field)
{
    char16_t buffer[1024] = {};
    const int32_t result = function(name, field, 0, buffer, sizeof(buffer), 0);
    return {result, result == ft_stringw ? std::u16string(buffer) : std::u16string()};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::printf("usage: PluginWindowsTest PLUGIN FOLDER (both in ASCII)\n");
        return 100;
    }
    const std::string folder8 = argv[2];
    const std::u16string folder = platform::AnsiToUnicode(folder8);
    platform::TLibrary plugin(platform::AnsiToUnicode(argv[1]));
    if (!plugin.IsLoaded()) {
        std::printf("cannot load %s: %s\n", argv[1], plugin.ErrorText().c_str());
        return 100;
    }
    const auto getValueW = reinterpret_cast<TGetValueW>(plugin.Symbol("ContentGetValueW"));
    const auto getValue = reinterpret_cast<TGetValue>(plugin.Symbol("ContentGetValue"));
    const auto setDefaultParams = reinterpret_cast<TSetDefaultParams>(plugin.Symbol("ContentSetDefaultParams"));
    if (!getValueW || !getValue || !setDefaultParams) {
        std::printf("the plugin lacks a host function\n");
        return 100;
    }
    char params[4096 + 16] = {};
    setDefaultParams(params);

    const TAnswer reference = Ask(getValueW, (folder + u"\\short\\sample.xpi").c_str(), NameField);
    CHECK(reference.Result == ft_stringw && !reference.Text.empty());

    std::u16string deep = folder;
    for (int i = 0; i < 6; ++i)
        deep += u"\\a-folder-name-long-enough-to-pass-max-path-" + platform::AnsiToUnicode(std::to_string(i));
    deep += u"\\sample.xpi";
    CHECK(deep.size() > 300);
    const TAnswer longName = Ask(getValueW, deep.c_str(), NameField);
    CHECK(longName.Result == ft_stringw && longName.Text == reference.Text);
    // The same name written with the prefix already in place.
    const TAnswer prefixed = Ask(getValueW, (u"\\\\?\\" + deep).c_str(), NameField);
    CHECK(prefixed.Result == ft_stringw && prefixed.Text == reference.Text);

    // Names of exactly 256 and 300 characters: the first lengths that need
    // the prefix, and one well past MAX_PATH.
    for (const size_t length : {size_t(256), size_t(300)}) {
        const std::u16string tail = u"\\sample.xpi";
        const std::u16string exact = folder + u"\\" + std::u16string(length - folder.size() - 1 - tail.size(), u'x') + tail;
        CHECK(exact.size() == length);
        const TAnswer answer = Ask(getValueW, exact.c_str(), NameField);
        CHECK(answer.Result == ft_stringw && answer.Text == reference.Text);
    }

    // 8-bit names are in the ANSI code page (1252 here): E4 is "ä".
    const std::string ansiName = folder8 + "\\d\xE4t\xE4.xpi";
    const TAnswer ansi = Ask(getValue, ansiName.c_str(), NameField);
    const TAnswer wide = Ask(getValueW, (folder + u"\\dätä.xpi").c_str(), NameField);
    CHECK(wide.Result == ft_stringw && wide.Text == reference.Text);
    CHECK(ansi.Result == ft_stringw && ansi.Text == reference.Text);

    // A name that is not there, and a folder, give no value.
    CHECK(Ask(getValueW, (folder + u"\\missing.xpi").c_str(), NameField).Result == -3);
    CHECK(Ask(getValueW, (folder + u"\\short").c_str(), NameField).Result == -3);

    std::printf("%d failed\n", Failures);
    return Failures;
}
