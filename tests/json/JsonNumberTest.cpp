#include "JsonTestSupport.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

namespace addoscope::json {
namespace {

std::u16string TextOf(std::string_view literal)
{
    auto value = test::Parse(literal);
    EXPECT_TRUE(JsonIs<TJSONNumber>(value.get())) << literal;
    return value ? value->Value() : u"<none>";
}

class JsonNumber : public ::testing::Test {
protected:
    void SetUp() override { platform::OverrideDecimalSeparator(u'.'); }
    void TearDown() override { platform::OverrideDecimalSeparator(0); }
};

TEST_F(JsonNumber, LiteralIsKeptAsRead)
{
    auto value = test::Parse("[-1.50e+3]");
    const auto* number = JsonCast<TJSONNumber>(JsonCast<TJSONArray>(value.get())->Get(0));
    ASSERT_NE(number, nullptr);
    EXPECT_EQ(number->Text(), u"-1.50e+3");
    EXPECT_EQ(number->Value(), u"-1500");
}

TEST_F(JsonNumber, ShortestFormUpTo15Digits)
{
    EXPECT_EQ(TextOf("10"), u"10");
    EXPECT_EQ(TextOf("1.0"), u"1");
    EXPECT_EQ(TextOf("2.50"), u"2.5");
    EXPECT_EQ(TextOf("1e3"), u"1000");
    EXPECT_EQ(TextOf("1E+3"), u"1000");
    EXPECT_EQ(TextOf("-0"), u"0");
    EXPECT_EQ(TextOf("-0.0"), u"0");
    EXPECT_EQ(TextOf("0.1"), u"0.1");
    EXPECT_EQ(TextOf("0.30000000000000004"), u"0.3");
    EXPECT_EQ(TextOf("3.14159265358979323"), u"3.14159265358979");
    EXPECT_EQ(TextOf("12345678901"), u"12345678901"); // 11 characters: a double
    EXPECT_EQ(TextOf("123456789012345.6"), u"123456789012346");
    EXPECT_EQ(TextOf("1e20"), u"1E20");
    EXPECT_EQ(TextOf("1.5e-7"), u"1.5E-7");
    EXPECT_EQ(TextOf("0.0001"), u"0.0001");
    EXPECT_EQ(TextOf("1e-400"), u"0"); // underflow reads as zero
}

TEST_F(JsonNumber, LongIntegersReadDigitForDigit)
{
    EXPECT_EQ(TextOf("123456789012"), u"123456789012");
    EXPECT_EQ(TextOf("9223372036854775807"), u"9223372036854775807");
    EXPECT_EQ(TextOf("-9223372036854775808"), u"-9223372036854775808");
    // Beyond 64 bits, and long literals with an exponent, still have a value.
    EXPECT_EQ(TextOf("92233720368547758070"), u"9.22337203685478E19");
    EXPECT_EQ(TextOf("100000000000e-3"), u"100000000");
}

TEST_F(JsonNumber, DecimalSeparatorOfTheUser)
{
    platform::OverrideDecimalSeparator(u',');
    EXPECT_EQ(TextOf("1.5"), u"1,5");
    EXPECT_EQ(TextOf("2.50"), u"2,5");
    EXPECT_EQ(TextOf("10"), u"10");
    EXPECT_EQ(TextOf("-1.25e-7"), u"-1,25E-7");
}

TEST_F(JsonNumber, OutOfRangeRaises)
{
    auto value = test::Parse("1e400");
    ASSERT_NE(value, nullptr);
    EXPECT_THROW(value->Value(), EConvertError);
    EXPECT_THROW(NumberText(u"abc"), EConvertError);
}

TEST_F(JsonNumber, Grammar)
{
    for (const char* text : {"-", "01", "-01", "1.", "1.e3", ".5", "1e", "1e+", "-e5", "-E+2", "+1", "0x10", "1.5.2",
                             "Infinity", "NaN", "- 1", "00"})
        EXPECT_EQ(test::Parse(text), nullptr) << text;
    for (const char* text : {"0", "-0", "0.5", "0e0", "0E-0", "-1.5E+10", "123"})
        EXPECT_NE(test::Parse(text), nullptr) << text;
}

} // namespace
} // namespace addoscope::json
