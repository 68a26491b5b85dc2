#include "JsonTestSupport.h"

#include <gtest/gtest.h>

namespace addoscope::json {
namespace {

class JsonPath : public ::testing::Test {
protected:
    void SetUp() override
    {
        FTree = test::Parse(R"({"a":{"b":"ab"},"list":["x","y",{"z":"deep"}],"app.name":"literal",
                                "app":{"name":"walked"},"q'uote":"q","":"empty","sp ace":"s"})");
        ASSERT_NE(FTree, nullptr);
    }

    std::u16string Find(std::u16string_view path)
    {
        const TJSONValue* value = FTree->FindValue(path);
        return value ? value->Value() : u"<none>";
    }

    std::string FaultOf(std::u16string_view path)
    {
        try {
            FTree->FindValue(path);
        } catch (const EJSONPathException& e) {
            return e.Message();
        }
        return {};
    }

    std::unique_ptr<TJSONValue> FTree;
};

TEST_F(JsonPath, Walks)
{
    EXPECT_EQ(FTree->FindValue(u""), FTree.get());
    EXPECT_EQ(FTree->FindValue(u"  "), FTree.get());
    EXPECT_EQ(Find(u"a.b"), u"ab");
    EXPECT_EQ(Find(u" a . b "), u"ab");
    EXPECT_EQ(Find(u"list[1]"), u"y");
    EXPECT_EQ(Find(u"list[ 2 ].z"), u"deep");
    EXPECT_EQ(Find(u"list[2]['z']"), u"deep");
    EXPECT_EQ(Find(u"['list'][0]"), u"x");
    EXPECT_EQ(Find(u"app.name"), u"walked");
    EXPECT_EQ(Find(u"['app.name']"), u"literal");
    EXPECT_EQ(Find(u"[\"app.name\"]"), u"literal");
    EXPECT_EQ(Find(u"['q\\'uote']"), u"q");
    EXPECT_EQ(Find(u"['']"), u"empty");
    EXPECT_EQ(Find(u"sp ace"), u"s");
    EXPECT_EQ(Find(u"list[$1]"), u"y"); // the integer syntax takes hexadecimal
}

TEST_F(JsonPath, FindsNothing)
{
    EXPECT_EQ(Find(u"list[9]"), u"<none>");
    EXPECT_EQ(Find(u"missing.b"), u"<none>");
    EXPECT_EQ(Find(u"A"), u"<none>");
    EXPECT_EQ(Find(u"a[0]"), u"<none>");     // an index on an object
    EXPECT_EQ(Find(u"list.x"), u"<none>");   // a name on an array
    EXPECT_EQ(Find(u"a.b.c"), u"<none>");    // a name on a string
    EXPECT_EQ(Find(u"a."), u"<none>");       // a path ending with a dot
}

TEST_F(JsonPath, NegativeIndexOnAnArrayRaises)
{
    const TJSONValue* list = FTree->FindValue(u"list");
    ASSERT_NE(list, nullptr);
    EXPECT_THROW(list->FindValue(u"[-1]"), EArgumentOutOfRangeException);
    EXPECT_THROW(FTree->FindValue(u"list[-1]"), EArgumentOutOfRangeException);
}

TEST_F(JsonPath, MalformedPathsRaise)
{
    EXPECT_EQ(FaultOf(u".a"), "Unexpected char for root element: .");
    EXPECT_EQ(FaultOf(u"a..b"), "Empty name not allowed in dot notation, use ['']");
    EXPECT_EQ(FaultOf(u"a. .b"), "Empty name not allowed in dot notation, use ['']");
    EXPECT_EQ(FaultOf(u"a['b"), "Path ended with an open string");
    EXPECT_EQ(FaultOf(u"a["), "Path ended with an open bracket");
    EXPECT_EQ(FaultOf(u"a[1"), "Path ended with an open bracket");
    EXPECT_EQ(FaultOf(u"a['b'"), "Path ended with an open bracket");
    EXPECT_EQ(FaultOf(u"a[x]"), "Invalid index for array: x");
    EXPECT_EQ(FaultOf(u"a[]"), "Invalid index for array: ");
    EXPECT_EQ(FaultOf(u"a['b'x]"), "Unexpected character while parsing indexer: x");
    EXPECT_EQ(FaultOf(u"list[0]x"), "Unexpected character while parsing indexer: x");
    // The whole path is read first: a fault after a missing member still raises.
    EXPECT_EQ(FaultOf(u"missing[0"), "Path ended with an open bracket");
}

TEST(JsonPathSteps, ReadsThePathAsFindValueWalksIt)
{
    std::vector<TJSONPathStep> steps;
    ASSERT_TRUE(ParseJSONPath(u" app . name ['x.y'][ 2 ]", steps));
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].FName, u"app");
    EXPECT_EQ(steps[1].FName, u"name");
    EXPECT_FALSE(steps[2].FIsIndex);
    EXPECT_EQ(steps[2].FName, u"x.y");
    EXPECT_TRUE(steps[3].FIsIndex);
    EXPECT_EQ(steps[3].FIndex, 2);
    // Steps of an earlier path do not stay behind.
    EXPECT_TRUE(ParseJSONPath(u"", steps));
    EXPECT_TRUE(steps.empty());
    EXPECT_FALSE(ParseJSONPath(u"a.", steps));
    EXPECT_THROW(ParseJSONPath(u".a", steps), EJSONPathException);
    EXPECT_THROW(ParseJSONPath(u"a[", steps), EJSONPathException);
}

} // namespace
} // namespace addoscope::json
