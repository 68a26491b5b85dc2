// The name index of the string list: first match by folded name, and no set
// of names can crowd it. The names here collide in libstdc++'s std::hash for
// strings whatever its seed, which is what the index once used.
#include "base/Budget.h"
#include "package/StringList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace addoscope;
using namespace addoscope::package;

namespace {

// libstdc++ hashes a string's bytes with a MurmurHash2 variant: each 8-byte
// block k enters the state as h = (h ^ F(k)) * M, with F(k) = S(k * M) * M
// and S(v) = v ^ (v >> 47). F can be inverted, and a top-bit difference in
// h ^ F(k) stays a top-bit difference after the multiplication by the odd
// M, so the block pairs (a, b) and (a', b') with F(a') = F(a) ^ 2^63 and
// F(b') = F(b) ^ 2^63 leave the same state from any start: t such pairs give
// 2^t strings of one hash for every seed.
constexpr uint64_t M = 0xC6A4A7935BD1E995ull;
constexpr uint64_t Top = uint64_t(1) << 63;

constexpr uint64_t Inverse(uint64_t odd)
{
    uint64_t x = odd;
    for (int i = 0; i < 6; ++i)
        x *= 2 - odd * x;
    return x;
}

uint64_t Unmix(uint64_t v)
{
    v *= Inverse(M);
    v ^= v >> 47;
    return v * Inverse(M);
}

// Caseless letters only (CJK and Hangul), so folding keeps the bytes.
bool Caseless(uint64_t block)
{
    for (int i = 0; i < 4; ++i) {
        const unsigned unit = (block >> (16 * i)) & 0xFFFF;
        if (!((unit >= 0x3400 && unit <= 0x9FFF) || (unit >= 0xAC00 && unit <= 0xD7A3)))
            return false;
    }
    return true;
}

void AppendBlock(std::u16string& text, uint64_t block)
{
    for (int i = 0; i < 4; ++i)
        text.push_back(static_cast<char16_t>((block >> (16 * i)) & 0xFFFF));
}

// 2^segments distinct names that share one std::hash value.
std::vector<std::u16string> Multicollision(int segments)
{
    std::mt19937_64 random(2024);
    std::vector<std::pair<std::u16string, std::u16string>> choices; // per segment: two 16-byte spellings
    for (int s = 0; s < segments; ++s) {
        std::u16string spelling[2];
        for (int half = 0; half < 2; ++half) {
            uint64_t v;
            do
                v = random();
            while (!Caseless(Unmix(v)) || !Caseless(Unmix(v ^ Top)));
            AppendBlock(spelling[0], Unmix(v));
            AppendBlock(spelling[1], Unmix(v ^ Top));
        }
        choices.emplace_back(spelling[0], spelling[1]);
    }
    std::vector<std::u16string> names;
    for (uint32_t bits = 0; bits < (uint32_t(1) << segments); ++bits) {
        std::u16string name;
        for (int s = 0; s < segments; ++s)
            name += (bits >> s) & 1 ? choices[static_cast<size_t>(s)].second : choices[static_cast<size_t>(s)].first;
        names.push_back(name);
    }
    return names;
}

TEST(JoinedList, DistinctTextsInOrderWithinTheBound)
{
    TJoinedList list;
    EXPECT_TRUE(list.Add(u"tabs"));
    EXPECT_TRUE(list.Add(u"storage"));
    EXPECT_TRUE(list.Add(u"tabs"));
    EXPECT_TRUE(list.Add(u"Tabs")); // repeats compare with case
    EXPECT_EQ(list.Text(), u"tabs, storage, Tabs");

    // An entry that does not fit ends the list, even when a later one would.
    TJoinedList full;
    const std::u16string half(TJoinedList::MaxJoinedLength / 2, u'a');
    EXPECT_TRUE(full.Add(half));
    EXPECT_FALSE(full.Add(half + u"b"));
    EXPECT_TRUE(full.Full());
    EXPECT_FALSE(full.Add(u"c"));
    EXPECT_EQ(full.Text(), half);

    // Repeats cost their length too: a list offered the same long text
    // over and over stops taking texts after a few times the bound.
    TJoinedList repeated;
    const std::u16string longText(TJoinedList::MaxJoinedLength / 8, u'r');
    int taken = 0;
    while (repeated.Add(longText))
        ++taken;
    EXPECT_LT(taken, 40);
    EXPECT_EQ(repeated.Text(), longText);
}

} // namespace

TEST(StringList, FirstMatchByFoldedName)
{
    TStringList list;
    list.Add(u"{Ab}=1");
    list.Add(u"plain");
    list.Add(u"{AB}=2");
    list.Add(u"x=a=b");
    EXPECT_EQ(list.IndexOfName(u"{ab}"), 0);
    EXPECT_EQ(list.ValueFromIndex(0), u"1");
    EXPECT_EQ(list.IndexOfName(u"plain"), -1); // no "=", no name
    EXPECT_EQ(list.IndexOfName(u"X"), 3);
    EXPECT_EQ(list.ValueFromIndex(3), u"a=b");
    EXPECT_EQ(list.IndexOfName(u""), -1);
}

// 16,384 target-application IDs of one std::hash value: in an index hashed
// with it they all share one bucket, and filling the list takes seconds.
TEST(StringList, NamesCollidingInTheStandardHashStayFast)
{
    const std::vector<std::u16string> names = Multicollision(15);
#if defined(__GLIBCXX__)
    if (sizeof(size_t) == 8) {
        const size_t hash = std::hash<std::u16string>()(names[0]);
        for (size_t i = 1; i < names.size(); i += 101)
            ASSERT_EQ(std::hash<std::u16string>()(names[i]), hash) << "the construction no longer collides";
    }
#endif
    const size_t added = names.size() / 2;
    base::TReadingBudget budget(2'000'000'000, int64_t(1) << 40);
    TStringList list;
    for (size_t i = 0; i < added; ++i)
        list.Add(names[i] + u"=" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)));
    for (size_t i = 0; i < added; i += 7)
        list.Add(names[i] + u"=again"); // a later entry never hides the first
    for (size_t i = 0; i < names.size(); ++i)
        ASSERT_EQ(list.IndexOfName(names[i]), i < added ? static_cast<int>(i) : -1);
    EXPECT_FALSE(budget.Exceeded());
    EXPECT_EQ(list.ValueFromIndex(5), u"f");
}
