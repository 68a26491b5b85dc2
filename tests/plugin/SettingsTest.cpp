#include "plugin/Settings.h"

#include "base/Text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

using namespace addoscope;
using plugin::LoadSettings;
using plugin::SettingsFileName;
using plugin::TSettings;

namespace {

// A folder of its own per test with a module path inside it; the settings
// file is written beside the (never created) module.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        FFolder = std::filesystem::temp_directory_path() /
                  ("addoscope-settings-" + std::to_string(std::random_device {}()) + "-" + info->name());
        std::filesystem::remove_all(FFolder);
        std::filesystem::create_directories(FFolder);
    }
    void TearDown() override { std::filesystem::remove_all(FFolder); }

    std::u16string Module() const { return base::Utf8ToUtf16((FFolder / "Addoscope.wdx64").string()); }
    void WriteIni(const std::string& bytes) const
    {
        std::ofstream(FFolder / "Addoscope.ini", std::ios::binary) << bytes;
    }
    TSettings LoadWith(const std::string& bytes) const
    {
        WriteIni(bytes);
        return LoadSettings(Module());
    }
    static std::string OwnKey() { return base::Utf16ToUtf8(plugin::CacheSizeKey); }
    static std::string OtherKey() { return sizeof(void*) == 8 ? "CacheSize_x86" : "CacheSize_x64"; }

    std::filesystem::path FFolder;
};

} // namespace

TEST(SettingsFile, ExtensionOfTheFileNamePartIsReplaced)
{
    EXPECT_EQ(SettingsFileName(u"/opt/tc/plugins/Addoscope.wdx64"), u"/opt/tc/plugins/Addoscope.ini");
    EXPECT_EQ(SettingsFileName(u"C:\\TC\\Plugins\\Addoscope.wdx"), u"C:\\TC\\Plugins\\Addoscope.ini");
    EXPECT_EQ(SettingsFileName(u"C:\\v1.2\\Addoscope"), u"C:\\v1.2\\Addoscope.ini");
    EXPECT_EQ(SettingsFileName(u"/v1.2/Addoscope"), u"/v1.2/Addoscope.ini");
    EXPECT_EQ(SettingsFileName(u"Addoscope.tar.gz"), u"Addoscope.tar.ini");
}

TEST_F(SettingsTest, MissingFileGivesDefaults)
{
    const TSettings settings = LoadSettings(Module());
    EXPECT_EQ(settings.CacheSize, 1000);
    EXPECT_EQ(settings.UseCurrentLocaleDescription, u"");
}

TEST_F(SettingsTest, CacheSizeSyntaxAndBounds)
{
    const std::pair<std::string, int32_t> cases[] = {
        {"0", 1},          {"-5", 1},       {"100000", 32767}, {"32767", 32767}, {"0x10", 16},
        {"0X10", 16},      {"$20", 32},     {"x1F", 31},       {"12abc", 1000},  {"", 1000},
        {"0x", 1000},      {"  42  ", 42},  {"\"7\"", 7},      {"+9", 9},        {"2147483648", 1000},
        {"$FFFFFFFF", 1},  {"-0x10", 1}, {"1.5", 1000},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(LoadWith("[Addoscope]\n" + OwnKey() + "=" + text + "\n").CacheSize, expected) << text;
}

TEST_F(SettingsTest, EachBuildReadsOnlyItsOwnKey)
{
    EXPECT_EQ(LoadWith("[Addoscope]\n" + OtherKey() + "=5\n").CacheSize, 1000);
    EXPECT_EQ(LoadWith("[Addoscope]\n" + OtherKey() + "=5\n" + OwnKey() + "=6\n").CacheSize, 6);
}

TEST_F(SettingsTest, LocaleTextIsTakenAsWritten)
{
    EXPECT_EQ(LoadWith("[Addoscope]\nUseCurrentLocaleDescription=1\n").UseCurrentLocaleDescription, u"1");
    EXPECT_EQ(LoadWith("[Addoscope]\nUseCurrentLocaleDescription=0\n").UseCurrentLocaleDescription, u"0");
    EXPECT_EQ(LoadWith("[Addoscope]\nUseCurrentLocaleDescription= \"pt_BR\" \n").UseCurrentLocaleDescription,
              u"pt_BR");
    EXPECT_EQ(LoadWith("[Other]\nUseCurrentLocaleDescription=fr\n").UseCurrentLocaleDescription, u"");
}

TEST_F(SettingsTest, WindowsEditorEncodings)
{
    // Section and key names in another case, as hand-edited files have them.
    const std::u16string key = sizeof(void*) == 8 ? u"cachesize_X64" : u"cachesize_X86";
    const std::u16string text = u"[ADDOSCOPE]\r\n" + key + u"=12\r\n"
                                u"usecurrentlocaledescription=\u0440\u0443\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : text)
        utf16 += static_cast<char>(c & 0xFF), utf16 += static_cast<char>(c >> 8);
    TSettings settings = LoadWith(utf16);
    EXPECT_EQ(settings.CacheSize, 12);
    EXPECT_EQ(settings.UseCurrentLocaleDescription, u"\u0440\u0443");

    settings = LoadWith("\xEF\xBB\xBF" + base::Utf16ToUtf8(text));
    EXPECT_EQ(settings.CacheSize, 12);
    EXPECT_EQ(settings.UseCurrentLocaleDescription, u"\u0440\u0443");
}

TEST_F(SettingsTest, SettingsPathThatIsNotAFileGivesDefaults)
{
    std::filesystem::create_directories(FFolder / "Addoscope.ini");
    EXPECT_EQ(LoadSettings(Module()).CacheSize, 1000);
}
