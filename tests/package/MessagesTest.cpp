#include "package/Messages.h"

#include "base/Text.h"
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

TEST_F(Messages, NamesThatAreNoPathStayAsWritten)
{
    Load(R"({"a":{"message":"x"},"list":[{"message":"first"}]})");
    for (const std::u16string text : {u"__MSG_.a__", u"__MSG_a[__", u"__MSG_a..b__", u"__MSG_list[-1]__",
                                      u"__MSG_list[x]__", u"__MSG_['a__", u"__MSG_a.__", u"__MSG_a b__"})
        EXPECT_EQ(Resolve(text), text) << base::Utf16ToUtf8(text);
    // The path's own forms still reach what they name.
    EXPECT_EQ(Resolve(u"__MSG_['a']__"), u"x");
    EXPECT_EQ(Resolve(u"__MSG_list[0]__"), u"first");
}

TEST_F(Messages, FirstMemberOfANameWinsAlsoThroughTheIndex)
{
    // Enough members, and enough look-ups, for the objects to be indexed.
    std::string text = R"({"dup":{"message":"first"},"dup":{"message":"second"},"group":{)";
    for (int i = 0; i < 300; ++i)
        text += "\"g" + std::to_string(i) + "\":{\"message\":\"inner " + std::to_string(i) + "\"},";
    text += R"("g7":{"message":"later"}},)";
    for (int i = 0; i < 300; ++i)
        text += "\"m" + std::to_string(i) + "\":{\"message\":\"text " + std::to_string(i) + "\"},";
    text += R"("dup":{"message":"third"}})";
    Load(text);
    TMessageResolver resolver(Object(), static_cast<int64_t>(text.size()));
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 300; i += 7) {
            const std::u16string n = base::Utf8ToUtf16(std::to_string(i));
            EXPECT_EQ(resolver.Resolve(u"__MSG_m" + n + u"__"), u"text " + n);
            EXPECT_EQ(resolver.Resolve(u"__MSG_group.g" + n + u"__"), u"inner " + n);
        }
        EXPECT_EQ(resolver.Resolve(u"__MSG_dup__"), u"first");
        EXPECT_EQ(resolver.Resolve(u"__MSG_group.g7__"), u"inner 7");
        EXPECT_EQ(resolver.Resolve(u"__MSG_group.g300__"), u"__MSG_group.g300__");
        EXPECT_EQ(resolver.Resolve(u"__MSG_nothing__"), u"__MSG_nothing__");
    }
}

TEST_F(Messages, MessagesPastTheCapStayAsWritten)
{
    // Each placeholder doubles the text. The file is small, so the floor of
    // 4096 units is the cap: "fits" passes through at most 512 references
    // of five units; "grows" starts with four times as many.
    std::string placeholders;
    for (int i = 1; i <= 10; ++i) {
        const std::string next = "$p" + std::to_string(i + 1) + "$";
        placeholders += "\"p" + std::to_string(i) + "\":{\"content\":\"" + (i < 10 ? next + next : "ab") + "\"},";
    }
    placeholders.pop_back();
    Load(R"({"fits":{"message":"$p1$","placeholders":{)" + placeholders +
         R"(}},"grows":{"message":"$p0$","placeholders":{"p0":{"content":"$p1$$p1$$p1$$p1$"},)" + placeholders +
         "}}}");
    std::u16string fits;
    for (int i = 0; i < 512; ++i)
        fits += u"ab";
    EXPECT_EQ(Resolve(u"__MSG_fits__"), fits);
    EXPECT_EQ(Resolve(u"__MSG_grows__"), u"__MSG_grows__");
    // A larger messages file makes room.
    EXPECT_EQ(ResolveMessage(Object(), u"__MSG_grows__", 1 << 20), fits + fits + fits + fits);
}

TEST_F(Messages, NumbersWithoutTextLeaveTheReference)
{
    Load(R"({"bad":{"message":1e999},"badContent":{"message":"$a$","placeholders":{"a":{"content":1e999}}},
             "good":{"message":"ok"}})");
    EXPECT_EQ(Resolve(u"__MSG_bad__"), u"__MSG_bad__");
    EXPECT_EQ(Resolve(u"__MSG_badContent__"), u"__MSG_badContent__");
    EXPECT_EQ(Resolve(u"__MSG_good__"), u"ok");
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
