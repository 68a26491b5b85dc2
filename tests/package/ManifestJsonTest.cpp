#include "package/ManifestJson.h"

#include "base/MemoryStream.h"
#include "json/JsonParser.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

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
    // A message name that is no path, and a number that does not convert,
    // end the reading; members stored before stay.
    const TReading badPath = Read(R"({"name":"kept","description":"__MSG_.x__","author":"never"})", "{}");
    EXPECT_FALSE(badPath.FOk);
    EXPECT_EQ(badPath.FRecord.Name, u"kept");
    EXPECT_EQ(badPath.FRecord.Creator, u"");

    const TReading badNumber = Read(R"({"name":"kept","version":1e999})");
    EXPECT_FALSE(badNumber.FOk);
    EXPECT_EQ(badNumber.FRecord.Name, u"kept");
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

} // namespace
} // namespace addoscope::package
