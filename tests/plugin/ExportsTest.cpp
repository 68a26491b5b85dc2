#include "PluginLibrary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

TEST(Exports, TheLibraryExportsExactlyTheSixHostFunctions)
{
    const std::string command = "nm -D --defined-only " + TPluginLibrary::Path() + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> symbols;
    char line[512];
    while (std::fgets(line, sizeof(line), pipe)) {
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        if (!name.empty())
            symbols.insert(name);
    }
    ASSERT_EQ(::pclose(pipe), 0);
    const std::set<std::string> expected = {"ContentGetDetectString", "ContentGetSupportedField",
                                            "ContentSetDefaultParams", "ContentGetValueW", "ContentGetValue",
                                            "ContentSendStateInformationW"};
    EXPECT_EQ(symbols, expected);
}

TEST(Exports, DeclarationCallsThroughTheLoadedLibrary)
{
    TPluginLibrary plugin;
    ASSERT_TRUE(plugin.Library.IsLoaded()) << plugin.Library.ErrorText();
    char params[4108] = {};
    plugin.SetDefaultParams(params);

    char detect[256];
    plugin.GetDetectString(detect, sizeof(detect));
    EXPECT_STREQ(detect, "ext=\"XPI\"|ext=\"CRX\"|ext=\"CRX3\"");

    int count = 0;
    char name[64], units[64];
    while (plugin.GetSupportedField(count, name, units, sizeof(name)) == 11)
        ++count;
    EXPECT_EQ(count, 23);
}

TEST(Exports, DelayIfSlowIsAnsweredAtOnceEvenForMissingFiles)
{
    TPluginLibrary plugin;
    ASSERT_TRUE(plugin.Library.IsLoaded());
    char16_t value[64] = {u'#'};
    EXPECT_EQ(plugin.GetValueW(u"/no/such/file.xpi", 3, 0, value, sizeof(value), 1), 0);
    EXPECT_EQ(value[0], u'#');
    EXPECT_EQ(plugin.GetValueW(u"/no/such/file.xpi", 3, 0, value, sizeof(value), 0), -3);
    EXPECT_EQ(plugin.GetValueW(nullptr, 3, 0, value, sizeof(value), 0), -3);
    EXPECT_EQ(plugin.GetValue(nullptr, 3, 0, value, sizeof(value), 0), -3);
    EXPECT_EQ(value[0], u'#');
    plugin.SendStateInformationW(1, nullptr);
    plugin.SendStateInformationW(2, u"/");
}

// A host may end its process without unloading the plugin, and the C++
// runtime's clean-up of statics then races the library's own unload code.
TEST(ExportsDeathTest, ProcessExitWithThePluginLoadedEndsCleanly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto* plugin = new TPluginLibrary; // never unloaded, as at a host's exit
            char params[4108] = {};
            plugin->SetDefaultParams(params);
            char16_t value[64];
            const std::string example = std::string(ADDOSCOPE_EXAMPLES_DIR) + "/tab-tidy.xpi";
            const std::u16string name = addoscope::base::Utf8ToUtf16(example);
            const int32_t code = plugin->GetValueW(name.c_str(), 3, 0, value, sizeof(value), 0);
            std::exit(code == 11 ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}
