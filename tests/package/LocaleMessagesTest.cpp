#include "package/LocaleMessages.h"

#include "base/MemoryStream.h"
#include "base/Text.h"
#include "tests/zip/ZipTestWriter.h"

#include <gtest/gtest.h>

namespace addoscope::package {
namespace {

// A package holding a messages.json under each of the given locale folders.
class LocaleMessages : public ::testing::Test {
protected:
    void Open(std::initializer_list<const char*> folders)
    {
        ziptest::TTestZip zip;
        zip.Entries.push_back(ziptest::TTestEntry{.Name = "manifest.json", .Data = "{}"});
        for (const char* folder : folders)
            zip.Entries.push_back(
                ziptest::TTestEntry{.Name = std::string("_locales/") + folder + "/messages.json", .Data = "{}"});
        const std::string bytes = zip.Build();
        FStream.LoadFromBuffer(bytes.data(), bytes.size());
        FArchive = zip::TZipArchive::CreateFromStream(FStream, u"test.xpi");
        FArchive->Load();
    }

    // The item name found for the candidates, or "none".
    std::u16string Find(std::vector<std::u16string> candidates)
    {
        std::u16string name = u"stale";
        const int index = FindLocaleMessages(*FArchive, candidates, name);
        if (index < 0) {
            EXPECT_EQ(name, u"");
            return u"none";
        }
        // The name as the candidate spells it; the archive matches it
        // without regard to case.
        EXPECT_TRUE(base::SameTextAscii(FArchive->ItemName(index), name));
        return name;
    }

    static std::vector<std::u16string> Candidates(const std::u16string& preferred)
    {
        return {preferred, u"en", u"en_US", u"en_GB"};
    }

    base::TMemoryStream FStream;
    std::unique_ptr<zip::TZipArchive> FArchive;
};

TEST_F(LocaleMessages, PreferredLocaleFirst)
{
    Open({"en", "de", "en_US"});
    EXPECT_EQ(Find(Candidates(u"de")), u"_locales/de/messages.json");
    // "en" comes before "en_US" whenever the preferred one is missing.
    EXPECT_EQ(Find(Candidates(u"fr")), u"_locales/en/messages.json");
    EXPECT_EQ(Find(Candidates(u"")), u"_locales/en/messages.json");
}

TEST_F(LocaleMessages, VariantSpelling)
{
    Open({"pt-BR", "zh_CN", "en_GB"});
    EXPECT_EQ(Find(Candidates(u"pt_BR")), u"_locales/pt-BR/messages.json");
    EXPECT_EQ(Find(Candidates(u"zh-CN")), u"_locales/zh_CN/messages.json");
    // The English fallbacks reach en_GB last.
    EXPECT_EQ(Find(Candidates(u"ja")), u"_locales/en_GB/messages.json");
}

TEST_F(LocaleMessages, NoMatch)
{
    Open({"de"});
    EXPECT_EQ(Find(Candidates(u"")), u"none");
    EXPECT_EQ(Find({}), u"none");
}

TEST_F(LocaleMessages, FolderCaseDoesNotMatter)
{
    Open({"EN"});
    EXPECT_EQ(Find(Candidates(u"")), u"_locales/en/messages.json");
}

TEST(LocaleVariant, OnlyFiveCharactersWithSeparatorThird)
{
    EXPECT_EQ(LocaleVariant(u"pt_BR"), u"pt-BR");
    EXPECT_EQ(LocaleVariant(u"pt-BR"), u"pt_BR");
    EXPECT_EQ(LocaleVariant(u"p_t-B"), u"");  // the first "_" is not third
    EXPECT_EQ(LocaleVariant(u"ptB_R"), u"");
    EXPECT_EQ(LocaleVariant(u"es_419"), u"");
    EXPECT_EQ(LocaleVariant(u"en"), u"");
}

} // namespace
} // namespace addoscope::package
