#include "JsonTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace addoscope::json {
namespace {

using test::Bytes;
using test::FaultOf;
using test::Parse;

const TJSONObject* AsObject(const std::unique_ptr<TJSONValue>& value)
{
    return JsonCast<TJSONObject>(value.get());
}

TEST(JsonParser, EmptyContainers)
{
    auto object = Parse("{}");
    ASSERT_NE(AsObject(object), nullptr);
    EXPECT_EQ(AsObject(object)->Count(), 0);
    auto array = Parse(" [ ] ");
    ASSERT_TRUE(JsonIs<TJSONArray>(array.get()));
    EXPECT_EQ(JsonCast<TJSONArray>(array.get())->Count(), 0);
}

TEST(JsonParser, MembersKeepDocumentOrderAndDuplicates)
{
    auto value = Parse("{\"b\":1,\"a\":\"x\",\"a\":2,\"c\":[true,false,null]}");
    const TJSONObject* object = AsObject(value);
    ASSERT_NE(object, nullptr);
    ASSERT_EQ(object->Count(), 4);
    EXPECT_EQ(object->GetPair(0).JsonString().Value(), u"b");
    EXPECT_EQ(object->GetPair(2).JsonString().Value(), u"a");
    EXPECT_EQ(object->GetPair(2).JsonValue()->Value(), u"2");
    // The first of repeated names wins, and names compare with case.
    EXPECT_EQ(object->GetValue(u"a")->Value(), u"x");
    EXPECT_EQ(object->GetValue(u"A"), nullptr);
    EXPECT_EQ(object->GetValue(u"missing"), nullptr);
    EXPECT_THROW(object->GetPair(4), EArgumentOutOfRangeException);
    EXPECT_THROW(object->GetPair(-1), EArgumentOutOfRangeException);

    const auto* list = JsonCast<TJSONArray>(object->GetValue(u"c"));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->Count(), 3);
    EXPECT_EQ(list->Get(0)->Kind(), TJSONKind::jkTrue);
    EXPECT_EQ(list->Get(1)->Kind(), TJSONKind::jkFalse);
    EXPECT_TRUE(list->Get(2)->IsNull());
    EXPECT_EQ(list->Get(0)->Value(), u"true");
    EXPECT_EQ(list->Get(2)->Value(), u"null");
    EXPECT_THROW(list->Get(3), EArgumentOutOfRangeException);
}

TEST(JsonParser, ClassTestsFollowTheBases)
{
    auto value = Parse("[1,\"s\",true,{}]");
    const auto* list = JsonCast<TJSONArray>(value.get());
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(JsonIs<TJSONString>(list->Get(0)));  // a number is a string
    EXPECT_TRUE(JsonIs<TJSONNumber>(list->Get(0)));
    EXPECT_FALSE(JsonIs<TJSONNumber>(list->Get(1)));
    EXPECT_TRUE(JsonIs<TJSONBool>(list->Get(2)));
    EXPECT_TRUE(JsonIs<TJSONTrue>(list->Get(2)));
    EXPECT_EQ(list->Get(3)->Value(), u"");

    auto plain = ParseJSONValue(Bytes("[true,false]"), 0, 12, TJSONParseOption::IsUTF8 | TJSONParseOption::UseBool);
    const auto* bools = JsonCast<TJSONArray>(plain.get());
    ASSERT_NE(bools, nullptr);
    EXPECT_EQ(bools->Get(0)->Kind(), TJSONKind::jkBool);
    EXPECT_TRUE(JsonCast<TJSONBool>(bools->Get(0))->AsBoolean());
    EXPECT_EQ(bools->Get(1)->Value(), u"false");
}

TEST(JsonParser, WholeTextRule)
{
    // Containers take the whitespace after them, scalars do not.
    EXPECT_NE(Parse("{\"a\":1}\r\n"), nullptr);
    EXPECT_NE(Parse("\t[1] \n"), nullptr);
    EXPECT_TRUE(JsonIs<TJSONString>(Parse("\"text\"").get()));
    EXPECT_EQ(Parse("\"text\" "), nullptr);
    EXPECT_EQ(Parse("12 "), nullptr);
    EXPECT_EQ(Parse("true "), nullptr);
    EXPECT_EQ(Parse("").get(), nullptr);
    EXPECT_EQ(Parse("   "), nullptr);
    EXPECT_EQ(Parse(std::string("{}\0", 3)), nullptr);
    EXPECT_EQ(Parse("{} {}"), nullptr);
    EXPECT_EQ(Parse("1 2"), nullptr);
    EXPECT_EQ(Parse("{\"a\":1} x"), nullptr);
    // Faults of structure have no text of their own.
    EXPECT_EQ(FaultOf("{\"a\":1,}"), "The input value is not a valid JSON");
    EXPECT_EQ(FaultOf("7 "), "The input value is not a valid JSON");
}

TEST(JsonParser, ByteOrderMark)
{
    auto value = Parse("\xEF\xBB\xBF{\"a\":1}");
    ASSERT_NE(AsObject(value), nullptr);
    EXPECT_EQ(AsObject(value)->GetValue(u"a")->Value(), u"1");
    EXPECT_EQ(Parse("\xEF\xBB\xBF"), nullptr);
    EXPECT_EQ(Parse("\xEF\xBB"), nullptr);
    EXPECT_EQ(Parse(" \xEF\xBB\xBF{}"), nullptr); // only at the very start
    // Without IsUTF8 the mark is no mark.
    EXPECT_EQ(ParseJSONValue(Bytes("\xEF\xBB\xBF{}"), 0, 5, TJSONParseOptions()), nullptr);
}

TEST(JsonParser, OffsetAndLengthSelectTheRange)
{
    const std::string_view text = "xx{\"a\":[1]}yy";
    EXPECT_NE(ParseJSONValue(Bytes(text), 2, 11, TJSONParseOption::IsUTF8), nullptr);
    EXPECT_EQ(ParseJSONValue(Bytes(text), 2, 12, TJSONParseOption::IsUTF8), nullptr);
    // The bytes after the range are never read: "1" then an unreadable rest.
    EXPECT_EQ(ParseJSONValue(Bytes("12"), 0, 1, TJSONParseOption::IsUTF8)->Value(), u"1");
    // Ranges that leave no bytes or lie outside the buffer give no value.
    EXPECT_EQ(ParseJSONValue(Bytes(text), 11, 11, TJSONParseOption::IsUTF8), nullptr);
    EXPECT_EQ(ParseJSONValue(Bytes(text), -1, 11, TJSONParseOption::IsUTF8), nullptr);
    EXPECT_EQ(ParseJSONValue(Bytes("{}"), 0, 3, TJSONParseOption::IsUTF8), nullptr);
    EXPECT_EQ(ParseJSONValue(std::span<const uint8_t>(), 0, 0, TJSONParseOption::IsUTF8), nullptr);
}

TEST(JsonParser, StringEscapes)
{
    auto value = Parse(R"(["\"\\\/\b\f\n\r\t", "\u00e9\u00C9", "\ud83d\ude00", "\udc00x", ""])");
    const auto* list = JsonCast<TJSONArray>(value.get());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Get(0)->Value(), u"\"\\/\b\f\n\r\t");
    EXPECT_EQ(list->Get(1)->Value(), u"\u00e9\u00c9");
    EXPECT_EQ(list->Get(2)->Value(), u"\U0001F600");
    // A lone surrogate half is kept as it came.
    EXPECT_EQ(list->Get(3)->Value(), std::u16string({char16_t(0xDC00), u'x'}));
    EXPECT_EQ(list->Get(4)->Value(), u"");

    for (const char* text : {R"("\x")", R"("\u12")", R"("\u12G4")", R"("\U0041")", "\"\\", "\"\\u00"})
        EXPECT_EQ(Parse(text), nullptr) << text;
    // Control characters stand for themselves.
    EXPECT_EQ(Parse("\"a\tb\x01\"")->Value(), u"a\tb\x01");
}

TEST(JsonParser, Utf8Decoding)
{
    // An escape and the raw letter give the same single unit.
    EXPECT_EQ(Parse("\"\\u00E9\"")->Value(), Parse("\"\xC3\xA9\"")->Value());
    EXPECT_EQ(Parse("\"\xC3\xA9\"")->Value().size(), 1u);
    EXPECT_EQ(Parse("\"\xE2\x82\xAC\"")->Value(), u"\u20AC");
    // Four bytes give a surrogate pair.
    EXPECT_EQ(Parse("\"\xF0\x9F\x98\x80\"")->Value(), u"\U0001F600");
    EXPECT_EQ(Parse("\"\xF4\x8F\xBF\xBF\"")->Value(), u"\U0010FFFF");
    // Overlong forms and encoded surrogates pass as the value they spell.
    EXPECT_EQ(Parse("\"\xC1\x81\"")->Value(), u"A");
    EXPECT_EQ(Parse("\"\xED\xA0\x80\"")->Value(), std::u16string(1, char16_t(0xD800)));
    EXPECT_EQ(Parse("\"\xF0\x80\x81\x81\"")->Value(), u"A");
    // Names are decoded the same way.
    auto value = Parse("{\"\xC3\xA9t\xC3\xA9\":1}");
    ASSERT_NE(AsObject(value), nullptr);
    EXPECT_NE(AsObject(value)->GetValue(u"\u00e9t\u00e9"), nullptr);
}

TEST(JsonParser, Utf8Faults)
{
    const std::string header = "UTF8: Type cannot be determined out of header byte";
    const std::string shortText = "UTF8: A start byte not followed by enough continuation bytes";
    EXPECT_EQ(FaultOf("\"\xC3"), shortText);
    EXPECT_EQ(FaultOf("\"\xF0\x9F\x98"), shortText);
    EXPECT_EQ(FaultOf("\"\x80\""), header);
    EXPECT_EQ(FaultOf("\"\xF8\x88\x80\x80\x80\""), header);
    EXPECT_EQ(FaultOf("\"\xFF\""), header);
    EXPECT_EQ(FaultOf("\"\xE2\x41\x41\""), "UTF8: An unexpected continuation byte in 3-byte UTF8");
    EXPECT_EQ(FaultOf("\"\xC3\x28\""), "UTF8: An unexpected continuation byte in 2-byte UTF8");
    // Beyond U+10FFFF no surrogate pair can carry the value.
    EXPECT_EQ(FaultOf("\"\xF4\x90\x80\x80\""), header);
    // The same faults outside strings, and a valid letter outside a string.
    EXPECT_EQ(FaultOf("[\x80]"), header);
    EXPECT_EQ(FaultOf("\xC3"), shortText);
    EXPECT_EQ(FaultOf("[\xC3\xA9]"), "The input value is not a valid JSON");
    EXPECT_EQ(FaultOf("{\"a\":1}\xC3\xA9"), "The input value is not a valid JSON");
    // A raw character is no escape letter.
    EXPECT_EQ(FaultOf("\"\\\xC3\xA9\""), "The input value is not a valid JSON");
    // Faults give no value without RaiseExc.
    EXPECT_EQ(Parse("\"\xE2\x41\""), nullptr);
}

TEST(JsonParser, FaultLocation)
{
    try {
        ParseJSONValue(Bytes("{\"a\":\n  {\"b\":[1,x]}}"), 0, 20, TJSONParseOption::IsUTF8 | TJSONParseOption::RaiseExc);
        FAIL() << "no fault raised";
    } catch (const EJSONParseException& e) {
        EXPECT_EQ(e.Offset(), 16);
        EXPECT_EQ(e.Line(), 2);
        EXPECT_EQ(e.Position(), 11);
        EXPECT_EQ(e.Path(), "a.b[1]");
        EXPECT_STREQ(e.what(), "The input value is not a valid JSON. Path 'a.b[1]', line 2, position 11 (offset 16)");
    }
}

std::string Nested(const std::string& open, const std::string& close, int depth)
{
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += open;
    for (int i = 0; i < depth; ++i)
        text += close;
    return text;
}

TEST(JsonParser, NestingLimit)
{
    EXPECT_NE(Parse(Nested("[", "]", 512)), nullptr);
    EXPECT_EQ(Parse(Nested("[", "]", 513)), nullptr);
    EXPECT_EQ(FaultOf(Nested("[", "]", 513)), "The nesting level of JSON arrays / objects is greater than 512");
    // Objects and arrays count together.
    EXPECT_NE(Parse(Nested("{\"a\":[", "]}", 256)), nullptr);
    EXPECT_EQ(Parse("[" + Nested("{\"a\":[", "]}", 256) + "]"), nullptr);
    // A siblings' depth does not add up.
    EXPECT_NE(Parse("[" + Nested("[", "]", 511) + "," + Nested("[", "]", 511) + "]"), nullptr);
    // Far deeper input fails without exhausting anything.
    EXPECT_EQ(Parse(std::string(1000000, '[')), nullptr);
}

TEST(JsonParser, DeepTreeIsWalkedAndFreed)
{
    auto value = Parse(Nested("[", "]", 512));
    const TJSONValue* current = value.get();
    int depth = 0;
    while (const auto* array = JsonCast<TJSONArray>(current)) {
        ++depth;
        current = array->Count() ? array->Get(0) : nullptr;
    }
    EXPECT_EQ(depth, 512);
}

// Large inputs intern their member names; the tree must read the same.
TEST(JsonParser, LargeInputReadsLikeSmall)
{
    std::string small = "{\"description\":\"d\",\"n\\u00e4me\":[1,2],\"description\":{\"x\":\"y\"}}";
    std::string large = "[";
    while (large.size() < 1100000)
        large += small + ",";
    large += small + "]";
    auto tree = Parse(large);
    const auto* list = JsonCast<TJSONArray>(tree.get());
    ASSERT_NE(list, nullptr);
    ASSERT_GT(list->Count(), 10000);
    for (int i : {0, list->Count() / 2, list->Count() - 1}) {
        const auto* object = JsonCast<TJSONObject>(list->Get(i));
        ASSERT_NE(object, nullptr);
        ASSERT_EQ(object->Count(), 3);
        EXPECT_EQ(object->GetPair(0).JsonString().Value(), u"description");
        EXPECT_EQ(object->GetPair(1).JsonString().Value(), u"n\u00e4me");
        EXPECT_EQ(object->GetPair(2).JsonString().Value(), u"description");
        EXPECT_EQ(object->GetValue(u"description")->Value(), u"d");
    }
}

std::unique_ptr<TJSONValue> ParseWithComments(std::string_view text)
{
    return ParseJSONValue(Bytes(text), TJSONParseOption::IsUTF8 | TJSONParseOption::LineComments);
}

// The text of member `name` of an object parsed with comments; "none" when
// the text gave no object.
std::u16string MemberText(std::string_view text, const char16_t* name)
{
    const auto value = ParseWithComments(text);
    const TJSONObject* object = AsObject(value);
    if (object == nullptr)
        return u"none";
    const TJSONValue* member = object->GetValue(name);
    return member ? member->Value() : u"missing";
}

TEST(JsonParser, LineCommentsOnlyWithTheOption)
{
    const char* text = "// heading\n{\"a\": 1 // after a value\n}\n";
    EXPECT_EQ(Parse(text), nullptr);
    EXPECT_EQ(MemberText(text, u"a"), u"1");

    // Three or four slashes, and a comment that ends the file without a
    // line break.
    EXPECT_EQ(MemberText("/// three\n//// four\n{\"a\":2}\n//", u"a"), u"2");
    EXPECT_EQ(MemberText("{\"a\":3}// no line break", u"a"), u"3");
    // Wherever whitespace may stand: after a name, a colon, a comma, in an
    // empty container and after a scalar at the top.
    EXPECT_EQ(MemberText("{//\n\"a\"//\n://\n[//\n]//\n,//\n\"b\"://\n4//\n}", u"b"), u"4");
    const auto scalar = ParseWithComments("5 // five");
    ASSERT_NE(scalar, nullptr);
    EXPECT_EQ(scalar->Value(), u"5");
    // A comment line that is commented out text, between every member.
    EXPECT_EQ(MemberText("{\n\"a\": 1, // one\n// \"a\": 9,\n\"b\": 2 // two\n} // end", u"a"), u"1");
}

TEST(JsonParser, SlashesInsideStringsAreText)
{
    EXPECT_EQ(MemberText(R"({"url": "https://example.org//x"})", u"url"), u"https://example.org//x");
    // An escaped quote does not end the string, so the slashes after it are
    // still text.
    EXPECT_EQ(MemberText(R"({"a": "say \"hi\" // not a comment"} // one)", u"a"), u"say \"hi\" // not a comment");
    EXPECT_EQ(MemberText(R"({"a": "back\\"} // the string ended)", u"a"), u"back\\");
    // One slash is no comment, nor is a block comment.
    EXPECT_EQ(MemberText("{\"a\":1 /}", u"a"), u"none");
    EXPECT_EQ(MemberText("{\"a\":1 /* no */}", u"a"), u"none");
    EXPECT_EQ(MemberText("{\"a\":1} /", u"a"), u"none");
    // A comment runs to the end of its line: what it hides stays hidden.
    EXPECT_EQ(MemberText("{\"a\":1 // }", u"a"), u"none");
}

// Texts and blank runs are read in blocks of bytes where the input has
// them. Every length, every place of the first byte that ends a plain run
// and every alignment must read as a byte-by-byte reading does.
TEST(JsonParser, BlockReadingAtEveryLengthAndOffset)
{
    struct TSpecial {
        const char* FBytes;
        const char16_t* FUnits;
    };
    const TSpecial specials[] = {{"\\n", u"\n"}, {"\\\"", u"\""}, {"\xC3\xA9", u"\u00e9"},
                                 {"\xE6\x89\xA9", u"\u6269"}, {"\xF0\x9F\xA6\x8A", u"\U0001F98A"}};
    // A mix of the bytes a string takes over as they are.
    const std::string_view alphabet = "abcdefghijklmnopqrstuvwxyz 0123456789/-.:{}[],\x01\x7F";
    for (size_t lead = 0; lead < 16; ++lead) {
        const std::string pad(lead, ' ');
        for (size_t length = 0; length <= 40; ++length) {
            std::string plain;
            for (size_t i = 0; i < length; ++i)
                plain += alphabet[(i * 7 + lead) % alphabet.size()];
            const std::u16string units(plain.begin(), plain.end());
            SCOPED_TRACE("lead " + std::to_string(lead) + ", length " + std::to_string(length));

            auto list = Parse(pad + "[\"" + plain + "\"," + pad + "1]");
            ASSERT_TRUE(JsonIs<TJSONArray>(list.get()));
            EXPECT_EQ(JsonCast<TJSONArray>(list.get())->Get(0)->Value(), units);
            auto object = Parse(pad + "{\"" + plain + "\":" + pad + "\"" + plain + "\"}");
            ASSERT_NE(AsObject(object), nullptr);
            EXPECT_EQ(AsObject(object)->GetPair(0).JsonString().Value(), units);
            EXPECT_EQ(AsObject(object)->GetValue(units)->Value(), units);
            // The closing quote as the last byte of the input.
            auto alone = Parse(pad + "\"" + plain + "\"");
            ASSERT_NE(alone, nullptr);
            EXPECT_EQ(alone->Value(), units);

            for (size_t at = 0; at <= length; ++at)
                for (const TSpecial& special : specials) {
                    const std::string text = plain.substr(0, at) + special.FBytes + plain.substr(at);
                    const std::u16string expected = units.substr(0, at) + special.FUnits + units.substr(at);
                    auto value = Parse(pad + "\"" + text + "\"");
                    ASSERT_NE(value, nullptr) << text;
                    EXPECT_EQ(value->Value(), expected);
                    auto named = Parse(pad + "{\"" + text + "\":0}");
                    ASSERT_NE(AsObject(named), nullptr) << text;
                    EXPECT_EQ(AsObject(named)->GetPair(0).JsonString().Value(), expected);
                }
        }
    }
}

// A block never looks at bytes past the end of the text: neither past the
// range the caller gives nor past the buffer (which the address sanitizer
// sees, as the copies below are exactly as long as the text).
TEST(JsonParser, BlockReadingStaysInsideTheText)
{
    const std::string text = "[\"" + std::string(40, 'x') + "\"," + std::string(40, ' ') + "\"" +
                             std::string(20, 'y') + "\"]" + std::string(40, '\n');
    const size_t complete = text.find(']') + 1;
    for (size_t end = 1; end <= text.size(); ++end) {
        SCOPED_TRACE(end);
        EXPECT_EQ(ParseJSONValue(Bytes(text), 0, static_cast<int64_t>(end), TJSONParseOption::IsUTF8) != nullptr,
                  end >= complete);
        const std::vector<uint8_t> exact(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end));
        EXPECT_EQ(ParseJSONValue(exact) != nullptr, end >= complete);
        EXPECT_EQ(ParseJSONValue(exact, TJSONParseOption::IsUTF8 | TJSONParseOption::LineComments) != nullptr,
                  end >= complete);
    }
}

TEST(JsonParser, BlankRunsOfEveryLength)
{
    const char blanks[] = {' ', '\t', '\n', '\r'};
    for (size_t length = 0; length <= 40; ++length) {
        std::string run;
        for (size_t i = 0; i < length; ++i)
            run += blanks[(i * 3 + length) % 4];
        SCOPED_TRACE(length);
        auto value = Parse(run + "{" + run + "\"a\"" + run + ":" + run + "[" + run + "1" + run + "," + run + "2" +
                           run + "]" + run + "}" + run);
        ASSERT_NE(AsObject(value), nullptr);
        EXPECT_EQ(JsonCast<TJSONArray>(AsObject(value)->GetValue(u"a"))->Get(1)->Value(), u"2");
        EXPECT_EQ(MemberText("{\"a\":" + run + "// note\n" + run + "3" + run + "}", u"a"), u"3");
        // Any other byte ends the run where it stands, and is a fault there.
        for (size_t at = 0; at < length; ++at)
            for (char other : {'\v', '\f', '\0', 'x', '/'}) {
                std::string broken = "[1" + run + "]";
                broken[2 + at] = other;
                try {
                    ParseJSONValue(Bytes(broken), 0, static_cast<int64_t>(broken.size()),
                                   TJSONParseOption::IsUTF8 | TJSONParseOption::RaiseExc);
                    ADD_FAILURE() << "no fault at " << at;
                } catch (const EJSONParseException& e) {
                    EXPECT_EQ(e.Offset(), static_cast<int64_t>(2 + at));
                }
            }
    }
}

std::u16string Ascii(const std::string& text)
{
    return {text.begin(), text.end()};
}

// The reader's stacks start inside the reader and move to the heap when a
// text nests deeper or holds more members and elements than that.
TEST(JsonParser, StacksGrowPastTheirFirstEntries)
{
    std::string text;
    const int depth = 40;
    const int members = 70;
    for (int level = 0; level < depth; ++level) {
        text += "{";
        for (int i = 0; i < members; ++i)
            text += "\"m" + std::to_string(i) + "\":[" + std::to_string(level) + "," + std::to_string(i) + "],";
        text += "\"next\":[";
        for (int i = 0; i < members; ++i)
            text += std::to_string(i) + ",";
    }
    text += "0";
    for (int level = 0; level < depth; ++level)
        text += "]}";
    auto tree = Parse(text);
    const TJSONValue* current = tree.get();
    for (int level = 0; level < depth; ++level) {
        const auto* object = JsonCast<TJSONObject>(current);
        ASSERT_NE(object, nullptr);
        ASSERT_EQ(object->Count(), members + 1);
        for (int i : {0, members / 2, members - 1}) {
            const auto* pair = JsonCast<TJSONArray>(object->GetValue(u"m" + Ascii(std::to_string(i))));
            ASSERT_NE(pair, nullptr);
            EXPECT_EQ(pair->Get(0)->Value(), Ascii(std::to_string(level)));
            EXPECT_EQ(pair->Get(1)->Value(), Ascii(std::to_string(i)));
        }
        const auto* next = JsonCast<TJSONArray>(object->GetValue(u"next"));
        ASSERT_NE(next, nullptr);
        ASSERT_EQ(next->Count(), members + 1);
        EXPECT_EQ(next->Get(members - 1)->Value(), Ascii(std::to_string(members - 1)));
        current = next->Get(members);
    }
    EXPECT_EQ(current->Value(), u"0");
}

} // namespace
} // namespace addoscope::json
