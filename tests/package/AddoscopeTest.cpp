#include "base/Text.h"
#include "package/Addoscope.h"

#include <gtest/gtest.h>

#include <memory>

using namespace addoscope::package;

namespace {

const std::u16string Firefox = u"{ec8030f7-c20a-464f-9b0e-13a3a9e97384}";
const std::u16string Thunderbird = u"{3550f703-e582-4d05-9a08-453d09bdfdc6}";

class AddoscopeRecord : public ::testing::Test {
protected:
    void SetUp() override { BuildKnownApplications(); }
    void TearDown() override { FreeKnownApplications(); }
};

} // namespace

TEST(JoinValue, SeparatorOnlyAfterNonEmptyText)
{
    EXPECT_EQ(JoinValue(u"", u""), u"");
    EXPECT_EQ(JoinValue(u"Ann", u""), u"Ann, ");
    EXPECT_EQ(JoinValue(u"", u"Bob"), u"Bob");
    EXPECT_EQ(JoinValue(u"Ann", u"Bob"), u"Ann, Bob");
}

TEST(AddonTypeName, WholeTextNumbersOnly)
{
    EXPECT_EQ(AddonTypeName(u"2"), u"Extension");
    EXPECT_EQ(AddonTypeName(u" 4"), u"Theme");
    EXPECT_EQ(AddonTypeName(u"4 "), u"Unknown");
    EXPECT_EQ(AddonTypeName(u"8"), u"Locale");
    EXPECT_EQ(AddonTypeName(u"0x10"), u"Plugin");
    EXPECT_EQ(AddonTypeName(u"$20"), u"Multiple Item Package");
    for (const char16_t* other : {u"64", u"", u"extension", u"0", u"-2", u"99999999999"})
        EXPECT_EQ(AddonTypeName(other), u"Unknown") << addoscope::base::Utf16ToUtf8(other);
}

TEST_F(AddoscopeRecord, CopiesShareOneListThatLivesWithTheLastCopy)
{
    std::weak_ptr<TStringListInt> holder;
    {
        TAddoscope original;
        AddTargetApplication(original, Firefox, u"1.0", u"2.0");
        holder = original.AutoFreed;
        TAddoscope copy = original;
        EXPECT_EQ(&copy.StringList(), &original.StringList());
        {
            TAddoscope released = copy;
        }
        EXPECT_FALSE(holder.expired());
        original = TAddoscope();
        EXPECT_FALSE(holder.expired()) << "the copy still refers to it";
        EXPECT_EQ(copy.StringList().Count(), 1);
    }
    EXPECT_TRUE(holder.expired());
}

TEST_F(AddoscopeRecord, TargetApplicationsRepeatedOrUnknown)
{
    TAddoscope record;
    AddTargetApplication(record, Firefox, u"1.5", u"2.0.*");
    AddTargetApplication(record, Thunderbird, u"", u"");
    AddTargetApplication(record, u"{EC8030F7-C20A-464F-9B0E-13A3A9E97384}", u"9", u"9"); // Firefox again
    AddTargetApplication(record, u"newer@example.org", u"1", u"2");
    AddTargetApplication(record, u"NEWER@example.org", u"3", u"4");
    EXPECT_EQ(record.Compatibility, u"Firefox, Thunderbird");
    ASSERT_EQ(record.StringList().Count(), 3);
    EXPECT_EQ(record.StringList()[0], Firefox + u"=1.5-2.0.*");
    EXPECT_EQ(record.StringList()[1], Thunderbird + u"=-");
    EXPECT_EQ(record.StringList()[2], u"newer@example.org=1-2");
    EXPECT_EQ(KnownApplicationName(u"{A79FE89B-6662-4ff4-8e88-09950ad4dfde}"), u"Conkeror");
    EXPECT_EQ(KnownApplicationName(u"Firefox"), u"");
}

TEST_F(AddoscopeRecord, ManyApplicationsStayLinear)
{
    // A hostile description may list a great many applications; each one
    // is looked up once among those seen before.
    TAddoscope record;
    for (int i = 0; i < 50000; ++i)
        AddTargetApplication(record, u"app" + addoscope::base::Utf8ToUtf16(std::to_string(i)) + u"@example.org",
                             u"1", u"2");
    AddTargetApplication(record, u"APP7@EXAMPLE.ORG", u"", u"");
    EXPECT_EQ(record.StringList().Count(), 50000);
    EXPECT_EQ(record.Compatibility, u"");
}
