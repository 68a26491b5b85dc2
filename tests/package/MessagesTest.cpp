#include "package/Messages.h"

#include "json/JsonParser.h"

#include <gtest/gtest.h>

#include <string_view>

namespace addoscope::package {
namespace {

class Messages : public ::testing::Test {
protected:
    void Load(std::string_view text)
    {
        FTree = json::ParseJSONValue(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
        ASSERT_NE(json::JsonCast<json::TJSONObject>(FTree.get()), nullptr);
    }
    const json::TJSONObject* Object() const { return json::JsonCast<json::TJSONObject>(FTree.get()); }
    std::u16string Resolve(const std::u16string& text) const { return ResolveMessage(Object(), text); }

    std::unique_ptr<json::TJSONValue> FTree;
};

TEST_F(Messages, ResolvesReferences)
{
    Load(R"({"appName":{"message":"My Add-on","description":"for translators"},
             "group":{"inner":{"message":"nested"}},
             "count":{"message":2.50},
             "App":{"message":"capital"}})");
    EXPECT_EQ(Resolve(u"__MSG_appName__"), u"My Add-on");
    EXPECT_EQ(Resolve(u"__MSG_App__"), u"capital");
    // Names are matched with case: a small-letter reference misses.
    EXPECT_EQ(Resolve(u"__MSG_appname__"), u"__MSG_appname__");
    // A name is a path: a dot walks into members.
    EXPECT_EQ(Resolve(u"__MSG_group.inner__"), u"nested");
    // A numeric message gives that number's text.
    EXPECT_EQ(Resolve(u"__MSG_count__"), u"2.5");
}

TEST_F(Messages, LeavesTextUnchanged)
{
    Load(R"({"noText":{"description":"x"},"plain":"not an object","message":{"message":"root"},
             "list":[{"message":"in array"}]})");
    EXPECT_EQ(Resolve(u"__MSG_missing__"), u"__MSG_missing__");
    EXPECT_EQ(Resolve(u"__MSG_noText__"), u"__MSG_noText__");
    EXPECT_EQ(Resolve(u"__MSG_plain__"), u"__MSG_plain__");
    EXPECT_EQ(Resolve(u"__MSG_list__"), u"__MSG_list__");
    EXPECT_EQ(Resolve(u""), u"");
    // Without messages, references stay visible.
    EXPECT_EQ(ResolveMessage(nullptr, u"__MSG_noText__"), u"__MSG_noText__");
    // Plain words are never looked up, not even when they are no valid path.
    EXPECT_EQ(Resolve(u".hidden[ name"), u".hidden[ name");
    // A reference without a name does not reach the messages object itself.
    EXPECT_EQ(Resolve(u"__MSG___"), u"__MSG___");
    EXPECT_EQ(Resolve(u"__MSG_ __"), u"__MSG_ __");
    EXPECT_EQ(Resolve(u"__MSG_"), u"__MSG_");
}

TEST_F(Messages, ReferenceInsideOtherText)
{
    // The name is the text without its first 6 and last 2 characters.
    Load(R"({"__MSG_x":{"message":"odd"}})");
    EXPECT_EQ(Resolve(u"Hello __MSG_x__"), u"odd");
}

TEST_F(Messages, MalformedNameRaises)
{
    Load(R"({"a":{"message":"x"}})");
    EXPECT_THROW(Resolve(u"__MSG_.a__"), json::EJSONPathException);
    EXPECT_THROW(Resolve(u"__MSG_a[__"), json::EJSONPathException);
}

TEST_F(Messages, Placeholders)
{
    Load(R"({"greet":{"message":"Hello $USER$, $User$ and $count$ of $Missing$!",
                      "placeholders":{"user":{"content":"Ann"},"count":{"content":3},
                                      "missing":{"example":"no content"},"plain":"not an object"}},
             "dollars":{"message":"$A$/$b$","placeholders":{"a":{"content":"$1 $$ $b$"},"b":{"content":"$A$"}}},
             "none":{"message":"$x$","placeholders":[{"content":"array"}]}})");
    // Placeholder names match in any letter case; each is replaced everywhere.
    EXPECT_EQ(Resolve(u"__MSG_greet__"), u"Hello Ann, Ann and 3 of $Missing$!");
    // Contents go in as they are ($1 and $$ mean nothing); each placeholder
    // works on the text the ones before it produced.
    EXPECT_EQ(Resolve(u"__MSG_dollars__"), u"$1 $$ $A$/$A$");
    EXPECT_EQ(Resolve(u"__MSG_none__"), u"$x$");
}

} // namespace
} // namespace addoscope::package
