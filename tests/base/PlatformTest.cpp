#include "base/Text.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace addoscope;
using platform::CompareTextLocale;
using platform::LowerCase;
using platform::UpperCase;

namespace {

// Sets an environment variable for one test and restores it afterwards.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const char* value) : FName(name)
    {
        if (const char* old = std::getenv(name))
            FOld = old, FHad = true;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~TScopedEnv()
    {
        if (FHad)
            ::setenv(FName.c_str(), FOld.c_str(), 1);
        else
            ::unsetenv(FName.c_str());
    }

private:
    std::string FName, FOld;
    bool FHad = false;
};

} // namespace

TEST(PlatformCase, NonAsciiLettersFoldAndCompare)
{
    EXPECT_EQ(LowerCase(u"ÄÖÜ ÉÈ ΑΒΓ АБВ Straße"), u"äöü éè αβγ абв straße");
    EXPECT_EQ(UpperCase(u"äöü αβγ абв"), u"ÄÖÜ ΑΒΓ АБВ");
    EXPECT_EQ(CompareTextLocale(u"Ä", u"ä"), 0);
    EXPECT_EQ(CompareTextLocale(u"INSTALL.RDF", u"install.rdf"), 0);
    EXPECT_NE(CompareTextLocale(u"a", u"b"), 0);
    EXPECT_LT(CompareTextLocale(u"a", u"B"), 0);
    // Text length in code units never changes, surrogate pairs included.
    const std::u16string astral = u"\U00010400x"; // DESERET CAPITAL LONG I
    EXPECT_EQ(LowerCase(astral).size(), astral.size());
    EXPECT_EQ(LowerCase(astral), u"\U00010428x");
}

// ASCII texts take a shorter way than texts with other units: both must
// map every ASCII unit alike.
TEST(PlatformCase, AsciiTextsMapAsMixedOnes)
{
    std::u16string ascii;
    for (char16_t c = 0; c < 0x80; ++c)
        ascii += c;
    const std::u16string mixed = ascii + u"\u00E9";
    const std::u16string upper = UpperCase(ascii);
    const std::u16string lower = LowerCase(ascii);
    EXPECT_EQ(upper + u"\u00C9", UpperCase(mixed));
    EXPECT_EQ(lower + u"\u00E9", LowerCase(mixed));
    for (char16_t c = 0; c < 0x80; ++c) {
        EXPECT_EQ(upper[c], addoscope::base::AsciiUpper(c)) << int(c);
        EXPECT_EQ(lower[c], addoscope::base::AsciiLower(c)) << int(c);
    }
}

TEST(PlatformLocale, LanguageNameFromEnvironment)
{
    TScopedEnv all("LC_ALL", nullptr);
    TScopedEnv messages("LC_MESSAGES", nullptr);
    {
        TScopedEnv lang("LANG", "de_DE.UTF-8");
        EXPECT_EQ(platform::UserDefaultLanguageName(), u"de");
    }
    {
        TScopedEnv lang("LANG", "pt_BR.UTF-8");
        TScopedEnv msg("LC_MESSAGES", "fr_CA");
        EXPECT_EQ(platform::UserDefaultLanguageName(), u"fr");
        TScopedEnv allOver("LC_ALL", "ru_RU@latin");
        EXPECT_EQ(platform::UserDefaultLanguageName(), u"ru");
    }
    for (const char* none : {"C", "POSIX", "C.UTF-8"}) {
        TScopedEnv lang("LANG", none);
        EXPECT_EQ(platform::UserDefaultLanguageName(), u"") << none;
    }
    TScopedEnv lang("LANG", nullptr);
    EXPECT_EQ(platform::UserDefaultLanguageName(), u"");
}

TEST(PlatformFiles, FindFileGivesSizeAndSubSecondTimeButNotDirectories)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "addoscope_platform_test";
    fs::create_directories(dir);
    const fs::path file = dir / "a.xpi";
    std::ofstream(file) << "hello";
    const auto name = base::Utf8ToUtf16(file.string());

    platform::TFindData a;
    ASSERT_TRUE(platform::FindFile(name, a));
    EXPECT_EQ(a.Size, 5);
    // A rewrite 300 ms later within the same second must still be seen.
    fs::last_write_time(file, fs::last_write_time(file) + std::chrono::milliseconds(300));
    platform::TFindData b;
    ASSERT_TRUE(platform::FindFile(name, b));
    EXPECT_EQ(b.LastWriteTime - a.LastWriteTime, 3000000);
    EXPECT_NE(platform::FileTimeToLocalDateTime(a.LastWriteTime), platform::FileTimeToLocalDateTime(b.LastWriteTime));

    EXPECT_TRUE(platform::FileExists(base::Utf8ToUtf16(dir.string())));
    platform::TFindData d;
    EXPECT_FALSE(platform::FindFile(base::Utf8ToUtf16(dir.string()), d));
    EXPECT_FALSE(platform::FileExists(base::Utf8ToUtf16((dir / "missing").string())));
    fs::remove_all(dir);
}

TEST(PlatformFiles, LocalTimeConversionFollowsTheZoneRulesOfTheDate)
{
    TScopedEnv tz("TZ", "Europe/Berlin");
    ::tzset();
    // 2021-01-15 12:00 UTC is 13:00 in winter; 2021-07-15 12:00 UTC is 14:00 in summer.
    const platform::TFileTime winter = (1610712000LL + 11644473600LL) * 10000000LL;
    const platform::TFileTime summer = (1626350400LL + 11644473600LL) * 10000000LL;
    EXPECT_NEAR(platform::FileTimeToLocalDateTime(winter), 44211.0 + 13.0 / 24, 1e-9);
    EXPECT_NEAR(platform::FileTimeToLocalDateTime(summer), 44392.0 + 14.0 / 24, 1e-9);
}

TEST(PlatformModule, ModuleFileNameIsThisProgram)
{
    const std::u16string path = platform::ModuleFileName();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path[0], u'/');
    EXPECT_NE(base::Utf16ToUtf8(path).find("base_tests"), std::string::npos);
}

TEST(PlatformCodePages, FixedAnsiAndOemTables)
{
    EXPECT_EQ(platform::AnsiToUnicode("\x80\xE9\x9F"), u"€éŸ");
    EXPECT_EQ(platform::OemToUnicode("\x82\x8E\xE1"), u"éÄß");
    EXPECT_EQ(platform::UnicodeToAnsi(u"a€é\u4E00"), "a\x80\xE9?");
}

TEST(PlatformVersion, CaseRuleAndPosix)
{
    EXPECT_FALSE(platform::WindowsVersionKeepsCase(6, 9600));
    EXPECT_FALSE(platform::WindowsVersionKeepsCase(10, 17133));
    EXPECT_TRUE(platform::WindowsVersionKeepsCase(10, 17134));
    EXPECT_TRUE(platform::WindowsVersionKeepsCase(11, 0));
    EXPECT_TRUE(platform::FileNamesKeepCase());
}

namespace {

std::string Hex(const platform::TSha256Digest& digest)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

} // namespace

// Expected digests from `sha256sum` and `openssl dgst -sha256`, not from the
// code under test: printf 'abc' | sha256sum, printf '' | sha256sum,
// python3 -c "print('a'*1000000,end='')" | sha256sum.
TEST(PlatformHash, Sha256MatchesAnIndependentTool)
{
    platform::TSha256Digest digest{};
    ASSERT_TRUE(platform::Sha256("abc", 3, digest));
    EXPECT_EQ(Hex(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    ASSERT_TRUE(platform::Sha256("", 0, digest));
    EXPECT_EQ(Hex(digest), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const std::string million(1000000, 'a');
    ASSERT_TRUE(platform::Sha256(million.data(), million.size(), digest));
    EXPECT_EQ(Hex(digest), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}
