#include "base/Exception.h"
#include "base/IntText.h"
#include "base/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using namespace addoscope::base;

TEST(Text, Utf8RoundTripWithSurrogatesAndBadBytes)
{
    const std::string utf8 = "A\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80";
    const std::u16string wide = Utf8ToUtf16(utf8);
    EXPECT_EQ(wide, (std::u16string {u'A', 0xE4, 0x20AC, 0xD83D, 0xDE00}));
    EXPECT_EQ(Utf16ToUtf8(wide), utf8);
    // Overlong, surrogate, cut and stray bytes each become one U+FFFD.
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), (std::u16string {0xFFFD, 0xFFFD}));
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), (std::u16string {0xFFFD, 0xFFFD, 0xFFFD}));
    EXPECT_EQ(Utf8ToUtf16("a\xE2\x82"), (std::u16string {u'a', 0xFFFD, 0xFFFD}));
    EXPECT_EQ(Utf16ToUtf8(std::u16string {0xD800, u'x'}), "\xEF\xBF\xBDx");
}

// The ASCII runs go over in blocks of sixteen and eight units, the last
// block overlapping the ones before it: a unit that is not ASCII, at any
// place of texts around those sizes, must still be encoded, and the bytes
// before it kept. 0x7F is the last unit a block may take as it is, 0x80 the
// first it must not, 0xFF80 one whose low byte alone looks like ASCII.
TEST(Text, Utf16ToUtf8AtEveryPlaceOfTheAsciiBlocks)
{
    const std::pair<char16_t, std::string> odd[] = {
        {0x7F, "\x7F"}, {0x80, "\xC2\x80"}, {0xE9, "\xC3\xA9"}, {0x100, "\xC4\x80"}, {0xFF80, "\xEF\xBE\x80"}};
    std::string out = "left over from an earlier text";
    for (size_t length = 0; length <= 40; ++length) {
        std::u16string wide;
        std::string expected;
        for (size_t i = 0; i < length; ++i) {
            wide += static_cast<char16_t>(u'a' + i % 26);
            expected += static_cast<char>('a' + i % 26);
        }
        Utf16ToUtf8(wide, out);
        ASSERT_EQ(out, expected) << length;
        for (size_t at = 0; at < length; ++at)
            for (const auto& [unit, bytes] : odd) {
                std::u16string changed = wide;
                changed[at] = unit;
                const std::string want = expected.substr(0, at) + bytes + expected.substr(at + 1);
                Utf16ToUtf8(changed, out);
                ASSERT_EQ(out, want) << length << " " << at << " " << int(unit);
            }
    }
}

// Measured from every alignment of the text's start, for lengths that end
// anywhere in a block of eight units.
TEST(Text, WideLengthFromEveryAlignment)
{
    EXPECT_EQ(WideLength(nullptr), 0u);
    std::vector<char16_t> buffer(64, u'x');
    for (size_t start = 0; start < 8; ++start)
        for (size_t length = 0; length <= 40; ++length) {
            std::fill(buffer.begin(), buffer.end(), u'x');
            buffer[start + length] = 0;
            ASSERT_EQ(WideLength(buffer.data() + start), length) << start << " " << length;
        }
}

TEST(IntText, WholeTextIntegerSyntax)
{
    struct Case {
        const char16_t* text;
        bool ok;
        int32_t value;
    };
    const Case cases[] = {
        {u"2", true, 2},          {u" 4", true, 4},          {u"4 ", false, 0},
        {u"$20", true, 32},       {u"0x10", true, 16},       {u"x1F", true, 31},
        {u"-5", true, -5},        {u"+7", true, 7},          {u"", false, 0},
        {u"12abc", false, 0},     {u"2147483647", true, 2147483647},
        {u"2147483648", false, 0}, {u"-2147483648", true, INT32_MIN},
        {u"$FFFFFFFF", true, -1}, {u"$100000000", false, 0}, {u"-", false, 0},
        {u"0x", false, 0},        {u"\x0664", false, 0},    {u"$aB", true, 171},
        {u"$1G", false, 0},
    };
    for (const auto& c : cases) {
        int32_t v = 0;
        EXPECT_EQ(TryStrToInt(c.text, v), c.ok) << Utf16ToUtf8(c.text);
        if (c.ok) {
            EXPECT_EQ(v, c.value) << Utf16ToUtf8(c.text);
        }
    }
}

TEST(Exception, AssertionCarriesLocation)
{
    try {
        RaiseAssertion("MaxCount must be greater than zero.", "ItemCache", 42);
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "MaxCount must be greater than zero. (ItemCache, line 42)");
    }
}
