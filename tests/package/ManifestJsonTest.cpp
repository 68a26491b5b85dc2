#include "package/ManifestJson.h"

#include "base/Budget.h"
#include "base/MemoryStream.h"
#include "json/JsonParser.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace addoscope::package {
namespace {

std::unique_ptr<base::TMemoryStream> StreamOf(std::string_view text)
{
    auto stream = std::make_unique<base::TMemoryStream>();
    stream->LoadFromBuffer(text.data(), text.size());
    stream->SetPosition(static_cast<int64_t>(text.size())); // the reader must rewind
    return stream;
}

struct TReading {
    bool FOk;
    TAddoscope FRecord;
};

TReading Read(std::string_view manifest, const char* messages = nullptr)
{
    TReading reading{false, {}};
    auto description = StreamOf(manifest);
    auto messagesStream = messages ? StreamOf(messages) : nullptr;
    reading.FOk = ReadManifestJson(*description, messagesStream.get(), reading.FRecord);
    return reading;
}

TEST(ManifestJson, ReadsTheSixMembers)
{
    platform::OverrideDecimalSeparator(u'.');
    const TReading r = Read(R"({"manifest_version":2,"name":"Tab Tidy","description":"Tidies tabs",
        "author":"Jo","version":1.50,"homepage_url":"https://example.org/","update_url":null,
        "applications":{"gecko":{"id":"tidy@example.org"}},"Name":"capital","developer":{"name":"Dev"}})");
    platform::OverrideDecimalSeparator(0);
    ASSERT_TRUE(r.FOk);
    EXPECT_EQ(r.FRecord.Name, u"Tab Tidy");
    EXPECT_EQ(r.FRecord.Description, u"Tidies tabs");
    EXPECT_EQ(r.FRecord.Creator, u"Jo");
    EXPECT_EQ(r.FRecord.Version, u"1.5"); // the number's text, not the file's characters
    EXPECT_EQ(r.FRecord.HomePageURL, u"https://example.org/");
    EXPECT_EQ(r.FRecord.UpdateURL, u"null");
    // Nothing nested or differently spelled is read.
    EXPECT_EQ(r.FRecord.ID, u"");
    EXPECT_EQ(r.FRecord.Developer, u"");
    EXPECT_EQ(r.FRecord.AddonType, u"");
}

TEST(ManifestJson, ValueKinds)
{
    const TReading r = Read(R"({"author":{"name":"Jo"},"description":["a"],"name":"first","name":"second",
                               "version":true,"homepage_url":false})");
    ASSERT_TRUE(r.FOk);
    EXPECT_EQ(r.FRecord.Creator, u"");     // an object is skipped
    EXPECT_EQ(r.FRecord.Description, u""); // so is an array
    EXPECT_EQ(r.FRecord.Name, u"second");  // the last of repeated members wins
    EXPECT_EQ(r.FRecord.Version, u"true");
    EXPECT_EQ(r.FRecord.HomePageURL, u"false");
}

TEST(ManifestJson, RefusesWhatIsNoManifest)
{
    EXPECT_FALSE(Read("").FOk);
    EXPECT_FALSE(Read("[{\"name\":\"x\"}]").FOk);
    EXPECT_FALSE(Read("\"name\"").FOk);
    EXPECT_FALSE(Read("{\"name\":\"x\",}").FOk);
    EXPECT_FALSE(Read("{\"name\":\"x\"} trailing").FOk);
    EXPECT_TRUE(Read("\xEF\xBB\xBF{\"name\":\"x\"}\r\n").FOk);
}

TEST(ManifestJson, ResolvesMessages)
{
    const char* messages = R"({"extName":{"message":"Localised"},"extDesc":{"message":"Says $what$",
        "placeholders":{"what":{"content":"hello"}}},"ver":{"message":"2.0"}})";
    const TReading r = Read(R"({"name":"__MSG_extName__","description":"__MSG_extDesc__",
                               "version":"__MSG_ver__","author":"__MSG_missing__"})",
                            messages);
    ASSERT_TRUE(r.FOk);
    EXPECT_EQ(r.FRecord.Name, u"Localised");
    EXPECT_EQ(r.FRecord.Description, u"Says hello");
    EXPECT_EQ(r.FRecord.Version, u"2.0");
    EXPECT_EQ(r.FRecord.Creator, u"__MSG_missing__");
}

TEST(ManifestJson, BadMessagesAreDropped)
{
    const char* manifest = R"({"name":"__MSG_extName__"})";
    for (const char* messages : {"", "not json", "[{\"extName\":{\"message\":\"x\"}}]", "{\"extName\":"}) {
        const TReading r = Read(manifest, messages);
        EXPECT_TRUE(r.FOk) << messages;
        EXPECT_EQ(r.FRecord.Name, u"__MSG_extName__") << messages;
    }
}

TEST(ManifestJson, ErrorWhileReadingFailsButKeepsEarlierFields)
{
    // A number that does not convert ends the reading; members stored
    // before stay, resolved, and later ones are not read.
    const TReading badNumber = Read(R"({"name":"kept","description":"__MSG_d__","version":1e999,"author":"never",
                                       "name":"never"})",
                                    R"({"d":{"message":"resolved"}})");
    EXPECT_FALSE(badNumber.FOk);
    EXPECT_EQ(badNumber.FRecord.Name, u"kept");
    EXPECT_EQ(badNumber.FRecord.Description, u"resolved");
    EXPECT_EQ(badNumber.FRecord.Creator, u"");
    // Even one that a later member would overwrite.
    const TReading overwritten = Read(R"({"name":"kept","version":1e999,"version":"1.0"})");
    EXPECT_FALSE(overwritten.FOk);
    EXPECT_EQ(overwritten.FRecord.Name, u"kept");
    EXPECT_EQ(overwritten.FRecord.Version, u"");
}

TEST(ManifestJson, NamesThatAreNoPathStayAsWritten)
{
    const TReading r = Read(R"({"name":"__MSG_.x__","description":"__MSG_a[__","author":"__MSG_a[-1]__",
                               "version":"__MSG_v__","homepage_url":"__MSG_a..b__"})",
                            R"({"v":{"message":"2.0"},"a":[{"message":"no"}]})");
    ASSERT_TRUE(r.FOk);
    EXPECT_EQ(r.FRecord.Name, u"__MSG_.x__");
    EXPECT_EQ(r.FRecord.Description, u"__MSG_a[__");
    EXPECT_EQ(r.FRecord.Creator, u"__MSG_a[-1]__");
    EXPECT_EQ(r.FRecord.Version, u"2.0");
    EXPECT_EQ(r.FRecord.HomePageURL, u"__MSG_a..b__");
}

TEST(ManifestJson, RepeatedMembersKeepTheLast)
{
    std::string manifest = "{";
    for (int i = 0; i < 1000; ++i)
        manifest += "\"name\":\"__MSG_m" + std::to_string(i) + "__\",\"description\":{\"x\":" +
                    std::to_string(i) + "},";
    manifest += R"("description":"__MSG_nested.inner__","name":{"object":"skipped"},"author":"__MSG_m3__"})";
    std::string messages = "{";
    for (int i = 0; i < 1000; ++i)
        messages += "\"m" + std::to_string(i) + "\":{\"message\":\"text " + std::to_string(i) + "\"},";
    messages += R"("nested":{"inner":{"message":"deep $X$","placeholders":{"x":{"content":"down"}}}}})";
    const TReading r = Read(manifest, messages.c_str());
    ASSERT_TRUE(r.FOk);
    // An object value leaves the last simple one in place.
    EXPECT_EQ(r.FRecord.Name, u"text 999");
    EXPECT_EQ(r.FRecord.Description, u"deep down");
    EXPECT_EQ(r.FRecord.Creator, u"text 3");
}

TEST(ManifestJson, MessagesPastTheCapShowTheReference)
{
    // A content of 100 units used 50 times passes the 4096-unit floor of a
    // small file; the other fields are resolved as usual.
    std::string uses;
    for (int i = 0; i < 50; ++i)
        uses += "$c$";
    const std::string messages = R"({"big":{"message":")" + uses + R"(","placeholders":{"c":{"content":")" +
                                 std::string(100, 'c') + R"("}}},"n":{"message":"Name"}})";
    const TReading r = Read(R"({"name":"__MSG_n__","description":"__MSG_big__"})", messages.c_str());
    ASSERT_TRUE(r.FOk);
    EXPECT_EQ(r.FRecord.Name, u"Name");
    EXPECT_EQ(r.FRecord.Description, u"__MSG_big__");
}

TEST(ManifestJson, MatchSimplePairAndIsSimpleValue)
{
    const std::string_view text = R"({"name":"n","name2":{},"list":[1,null]})";
    auto tree = json::ParseJSONValue(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    const auto* object = json::JsonCast<json::TJSONObject>(tree.get());
    ASSERT_NE(object, nullptr);
    std::u16string out = u"stale";
    EXPECT_TRUE(MatchSimplePair(object->GetPair(0), nullptr, u"name", out));
    EXPECT_EQ(out, u"n");
    EXPECT_FALSE(MatchSimplePair(object->GetPair(0), nullptr, u"Name", out));
    EXPECT_EQ(out, u"");
    EXPECT_FALSE(MatchSimplePair(object->GetPair(1), nullptr, u"name2", out));

    const auto* list = json::JsonCast<json::TJSONArray>(object->GetValue(u"list"));
    EXPECT_TRUE(IsSimpleValue(list->Get(0)));
    EXPECT_TRUE(IsSimpleValue(list->Get(1)));
    EXPECT_FALSE(IsSimpleValue(list));
    EXPECT_FALSE(IsSimpleValue(object));
    EXPECT_FALSE(IsSimpleValue(nullptr));
}

// Work units the readers tick while `read` runs outside any budget, where
// the counter only runs down: a measure of work that is not a clock.
template <class TRead>
int64_t WorkOf(TRead&& read)
{
    const int64_t before = base::detail::State().TicksLeft;
    read();
    return before - base::detail::State().TicksLeft;
}

// A manifest of `names` distinct top-level members besides its fields, the
// fields first given early and then again after all the others, when the
// reader's name table has long stopped taking names.
std::string ManifestWithNames(int names)
{
    std::string text = R"({"name":"early","version":"0.1",)";
    for (int i = 0; i < names; ++i)
        text.append("\"member").append(std::to_string(i)).append("\":[\"value\",").append(std::to_string(i)).append("],");
    text += R"("name":"Late Name","version":"2.0.1","description":"Late text","author":"Ann",)"
            R"("homepage_url":"https://example.org/late"})";
    return text;
}

TEST(ManifestJson, ManyDistinctNamesInAManifestOverAMegabyte)
{
    const std::string small = ManifestWithNames(30000);
    const std::string large = ManifestWithNames(60000);
    ASSERT_GT(large.size(), 1000000u);
    TReading smallReading {false, {}};
    TReading largeReading {false, {}};
    const int64_t smallWork = WorkOf([&] { smallReading = Read(small); });
    const int64_t largeWork = WorkOf([&] { largeReading = Read(large); });
    for (const TReading* r : {&smallReading, &largeReading}) {
        ASSERT_TRUE(r->FOk);
        EXPECT_EQ(r->FRecord.Name, u"Late Name");
        EXPECT_EQ(r->FRecord.Version, u"2.0.1");
        EXPECT_EQ(r->FRecord.Description, u"Late text");
        EXPECT_EQ(r->FRecord.Creator, u"Ann");
        EXPECT_EQ(r->FRecord.HomePageURL, u"https://example.org/late");
    }
    // Twice the names, twice the work: growing and filling the name table
    // stays linear.
    EXPECT_GT(smallWork, 0);
    EXPECT_LT(largeWork, smallWork * 5 / 2);
    EXPECT_LT(largeWork, static_cast<int64_t>(large.size()));
}

TEST(ManifestJson, WebExtensionFields)
{
    const char* messages = R"({"perm":{"message":"storage"},"loc":{"message":"de"},"v":{"message":"3"}})";
    const TReading r = Read(R"({"manifest_version":"__MSG_v__","default_locale":"__MSG_loc__",
        "permissions":["tabs","__MSG_perm__",{"fileSystem":["write"]},"tabs",7,"","<all_urls>"],
        "host_permissions":["storage","*://*.example.org/*"],
        "optional_permissions":["bookmarks"],"optional_host_permissions":["https://a.example/*","bookmarks"],
        "browser_specific_settings":{"gecko":{"id":"bss@example.org","strict_max_version":"128.*"},
                                     "gecko_android":{"strict_min_version":"120.0"}},
        "applications":{"gecko":{"id":"old@example.org","strict_min_version":"60.0"}},
        "minimum_chrome_version":"102"})",
                            messages);
    ASSERT_TRUE(r.FOk);
    EXPECT_EQ(r.FRecord.ManifestVersion, u"3");
    EXPECT_EQ(r.FRecord.DefaultLocale, u"de");
    // File order, each once across both lists; objects and empty texts are
    // skipped, numbers are texts like the other simple values.
    EXPECT_EQ(r.FRecord.Permissions, u"tabs, storage, 7, <all_urls>, *://*.example.org/*");
    EXPECT_EQ(r.FRecord.OptionalPermissions, u"bookmarks, https://a.example/*");
    // browser_specific_settings wins over applications, for the ID and for
    // the versions.
    EXPECT_EQ(r.FRecord.ExtensionID, u"bss@example.org");
    EXPECT_EQ(r.FRecord.TargetVersions, u"Gecko <= 128.*, Firefox for Android >= 120.0, Chrome >= 102");
    // None of the sixteen fields is touched.
    EXPECT_EQ(r.FRecord.ID, u"");
    EXPECT_EQ(r.FRecord.Compatibility, u"");
    EXPECT_EQ(r.FRecord.Locales, u""); // the opener's, from the archive
}

TEST(ManifestJson, WebExtensionFieldsOfTheWrongTypeStayEmpty)
{
    const TReading r = Read(R"({"name":"n","manifest_version":[2],"default_locale":{"l":"en"},
        "permissions":{"tabs":true},"host_permissions":"https://*/*","optional_permissions":[["tabs"]],
        "browser_specific_settings":["gecko"],"applications":{"gecko":"x"},"minimum_chrome_version":{},
        "key":12})");
    ASSERT_TRUE(r.FOk);
    EXPECT_EQ(r.FRecord.Name, u"n");
    for (const std::u16string* field : {&r.FRecord.ManifestVersion, &r.FRecord.DefaultLocale, &r.FRecord.Permissions,
                                        &r.FRecord.OptionalPermissions, &r.FRecord.ExtensionID,
                                        &r.FRecord.TargetVersions})
        EXPECT_EQ(*field, u"");

    // A number without a text form is skipped too: it must not fail a
    // reading that the sixteen fields would pass.
    const TReading number = Read(R"({"name":"n","manifest_version":1e999,"permissions":[1e999,"tabs"]})");
    ASSERT_TRUE(number.FOk);
    EXPECT_EQ(number.FRecord.ManifestVersion, u"");
    EXPECT_EQ(number.FRecord.Permissions, u"tabs");
}

TEST(ManifestJson, ExtensionIdFallsBackToApplicationsThenTheKey)
{
    // browser_specific_settings without an ID: applications' ID, while the
    // versions come from the gecko object that is there.
    const TReading applications = Read(R"({"browser_specific_settings":{"gecko":{"strict_min_version":"91.0"}},
        "applications":{"gecko":{"id":"apps@example.org","strict_min_version":"60.0","strict_max_version":"70"}}})");
    ASSERT_TRUE(applications.FOk);
    EXPECT_EQ(applications.FRecord.ExtensionID, u"apps@example.org");
    EXPECT_EQ(applications.FRecord.TargetVersions, u"Gecko >= 91.0");
    const TReading both = Read(R"({"applications":{"gecko":{"strict_min_version":"60.0","strict_max_version":"70"}}})");
    EXPECT_EQ(both.FRecord.TargetVersions, u"Gecko 60.0 - 70");

    // The Chrome ID of "key", the base64 of examples/keys/crx2-test-public.der;
    // the expected ID from openssl (see CrxHeaderTest).
    const TReading key = Read(R"({"key":"MIGfMA0GCSqGSIb3DQEBAQUAA4GNADCBiQKBgQDecR3iJPGcEOT5fGnvT4C4+eRTpaqGft1nIcf6XQ4YhAZ4OjoJDBXfg3FPkv8rKZtnAbEVlip2zupxa4ECUq4omKHVevZPGIoL9o9Is28RLu30PYwCd9O2/RRy7s2FEkXB0NPF7wrhxGjuPDiIIRp71MR248Uhtjfxn62E8yiN3wIDAQAB"})");
    EXPECT_EQ(key.FRecord.ExtensionID, u"djhkcpoibgplkkdchkganhnecikdndcc");
    EXPECT_EQ(Read(R"({"key":"***"})").FRecord.ExtensionID, u"");
    // A gecko ID comes before the key.
    EXPECT_EQ(Read(R"({"key":"YWJj","applications":{"gecko":{"id":"g@x"}}})").FRecord.ExtensionID, u"g@x");
}

TEST(ManifestJson, CommentsInManifestAndMessages)
{
    const char* messages = "// the messages\n{\"n\": {\"message\": \"Named // with slashes\"} // after\n}\n//";
    const TReading r = Read("// a manifest\n{\n  \"name\": \"__MSG_n__\", // name\n  // \"name\": \"old\",\n"
                            "  \"version\": \"1.0\" // version\n}\n////",
                            messages);
    ASSERT_TRUE(r.FOk);
    EXPECT_EQ(r.FRecord.Name, u"Named // with slashes");
    EXPECT_EQ(r.FRecord.Version, u"1.0");
}

} // namespace
} // namespace addoscope::package
