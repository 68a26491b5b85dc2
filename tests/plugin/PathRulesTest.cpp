// The long-name prefix of the value requests, as a pure function: drive and
// network paths at both sides of the 256-character threshold.
#include "plugin/PathRules.h"

#include <gtest/gtest.h>

#include <string>

namespace addoscope::plugin {
namespace {

// A name of exactly `length` characters that starts with `start` and ends
// in "\sample.xpi".
std::u16string NameOf(const std::u16string& start, size_t length)
{
    const std::u16string end = u"\\sample.xpi";
    std::u16string name = start + std::u16string(length - start.size() - end.size(), u'x') + end;
    EXPECT_EQ(name.size(), length);
    return name;
}

TEST(PathRules, DrivePathsGetThePrefixFrom256Characters)
{
    const std::u16string short255 = NameOf(u"C:\\Add-ons\\", 255);
    EXPECT_EQ(PrefixLongName(short255), short255);
    for (const size_t length : {256u, 300u}) {
        const std::u16string name = NameOf(u"C:\\Add-ons\\", length);
        EXPECT_EQ(PrefixLongName(name), u"\\\\?\\" + name) << length;
        // Prefixed already: unchanged, however long.
        EXPECT_EQ(PrefixLongName(u"\\\\?\\" + name), u"\\\\?\\" + name) << length;
    }
}

TEST(PathRules, NetworkPathsGetTheUncPrefixInPlaceOfTheirBackslashes)
{
    const std::u16string short255 = NameOf(u"\\\\server\\share\\", 255);
    EXPECT_EQ(PrefixLongName(short255), short255);
    for (const size_t length : {256u, 300u}) {
        const std::u16string name = NameOf(u"\\\\server\\share\\", length);
        const std::u16string prefixed = PrefixLongName(name);
        EXPECT_EQ(prefixed, u"\\\\?\\UNC\\" + name.substr(2)) << length;
        EXPECT_EQ(prefixed.size(), length + 6) << length;
        EXPECT_EQ(PrefixLongName(prefixed), prefixed) << length;
    }
}

} // namespace
} // namespace addoscope::plugin
