#include "package/Placeholders.h"

#include "base/Text.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace addoscope::package {
namespace {

// "$" + name + "$", built without operator+ (which GCC 12 misreads as an
// overlapping copy).
std::u16string Dollars(std::u16string_view name)
{
    std::u16string text(1, u'$');
    text.append(name).append(1, u'$');
    return text;
}

// The plain sequential algorithm: for each placeholder, every
// case-insensitive occurrence of "$name$" in the text so far, left to
// right, replaced in one go. `longest` receives the longest text met.
std::u16string Reference(std::u16string text, const std::vector<TPlaceholderText>& placeholders, size_t& longest)
{
    longest = text.size();
    for (const TPlaceholderText& placeholder : placeholders) {
        const std::u16string pattern = Dollars(placeholder.FName);
        std::u16string upperText = platform::UpperCase(text);
        std::u16string upperPattern = platform::UpperCase(pattern);
        if (upperText.size() != text.size() || upperPattern.size() != pattern.size()) {
            upperText = text;
            upperPattern = pattern;
            for (char16_t& c : upperText)
                c = base::AsciiUpper(c);
            for (char16_t& c : upperPattern)
                c = base::AsciiUpper(c);
        }
        std::u16string result;
        size_t from = 0;
        for (size_t found; (found = upperText.find(upperPattern, from)) != std::u16string::npos;
             from = found + pattern.size()) {
            result.append(text, from, found - from);
            result += placeholder.FContent;
        }
        result.append(text, from, std::u16string::npos);
        text = result;
        longest = std::max(longest, text.size());
    }
    return text;
}

struct TCase {
    std::u16string FText;
    std::vector<std::u16string> FNames;
    std::vector<TPlaceholderText> FPlaceholders;
};

// Units that make the interesting cases: dollars, letters in both cases
// (ASCII, Latin-1, the dotless i whose capital is I), and the halves of a
// supplementary letter whose small and capital forms differ (U+10428 and
// U+10400), so that pairs form where a content meets the text.
const char16_t Units[] = {u'$', u'$', u'$', u'a', u'A', u'b', u'B', 0x00E9, 0x00C9, 0x0131, u'I', u'i',
                          0xD801, 0xDC00, 0xDC28, u' '};

// Mostly halves of pairs, where contents end and begin.
const char16_t PairUnits[] = {u'$', u'$', u'a', 0xD801, 0xD801, 0xDC00, 0xDC28, 0xDC28};

TCase RandomCase(std::mt19937& random, bool pairs)
{
    const char16_t* units = pairs ? PairUnits : Units;
    const size_t unitCount = pairs ? std::size(PairUnits) : std::size(Units);
    const auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    const auto text = [&](size_t most) {
        std::u16string t;
        for (size_t n = pick(most + 1); n > 0; --n)
            t += units[pick(unitCount)];
        return t;
    };
    TCase c;
    const size_t count = pick(7);
    for (size_t i = 0; i < count; ++i) {
        // Short names from few letters, often repeated or re-cased, so that
        // names meet in the text and in each other's contents.
        if (i > 0 && pick(4) == 0) {
            std::u16string name = c.FNames[pick(i)];
            for (char16_t& u : name)
                if (pick(2) == 0)
                    u = base::AsciiUpper(u);
            c.FNames.push_back(name);
        } else {
            std::u16string name;
            for (size_t n = pick(3); n > 0; --n)
                name += u"aAb$\u00E9\u0131I"[pick(7)];
            if (pick(pairs ? 2 : 4) == 0)
                name = std::u16string(pick(2) == 0 ? u"\U00010400" : u"\U00010428").substr(pick(2), 1 + pick(2));
            c.FNames.push_back(name);
        }
    }
    const auto reference = [&] { return Dollars(c.FNames[pick(c.FNames.size())]); };
    for (size_t n = pick(5); n > 0; --n)
        c.FText += count != 0 && pick(2) == 0 ? reference() : text(4);
    for (size_t i = 0; i < count; ++i) {
        std::u16string content;
        for (size_t n = pick(4); n > 0; --n)
            content += pick(2) == 0 ? reference() : text(3);
        c.FPlaceholders.push_back(TPlaceholderText{});
        c.FPlaceholders.back().FContent = content;
    }
    for (size_t i = 0; i < count; ++i)
        c.FPlaceholders[i].FName = c.FNames[i];
    return c;
}

TEST(Placeholders, EveryFormGivesTheSequentialResult)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 40000; ++round) {
        const TCase c = RandomCase(random, round % 2 == 1);
        size_t longest = 0;
        const std::u16string expected = Reference(c.FText, c.FPlaceholders, longest);
        for (const TSubstitution how : {TSubstitution::Direct, TSubstitution::Indexed, TSubstitution::Automatic}) {
            std::u16string text = c.FText;
            ASSERT_TRUE(SubstitutePlaceholders(text, c.FPlaceholders, 1 << 20, how))
                << round << " form " << static_cast<int>(how);
            ASSERT_EQ(text, expected) << round << " form " << static_cast<int>(how) << " text "
                                      << base::Utf16ToUtf8(c.FText);
            // The cap holds every text along the way: at the longest it
            // passes, one unit less refuses.
            text = c.FText;
            EXPECT_TRUE(SubstitutePlaceholders(text, c.FPlaceholders, longest, how, 1 << 20)) << round;
            EXPECT_EQ(text, expected) << round;
            if (longest > 0) {
                text = c.FText;
                EXPECT_FALSE(SubstitutePlaceholders(text, c.FPlaceholders, longest - 1, how, 1 << 20)) << round;
            }
        }
    }
}

TEST(Placeholders, HalvesOfAPairMeetAndFoldAsOne)
{
    // The content's high half meets the text's low half: the pair is the
    // small letter U+10428, which a placeholder named by its capital finds.
    std::vector<TPlaceholderText> placeholders(2);
    placeholders[0].FName = u"x";
    placeholders[0].FContent = u"\xD801";
    placeholders[1].FName = u"\U00010400";
    placeholders[1].FContent = u"found";
    for (const TSubstitution how : {TSubstitution::Direct, TSubstitution::Indexed}) {
        std::u16string text = u"<$$x$\xDC28$>";
        ASSERT_TRUE(SubstitutePlaceholders(text, placeholders, 4096, how));
        EXPECT_EQ(text, u"<found>") << static_cast<int>(how);
    }
}

TEST(Placeholders, OverlapsAndNamesWithDollars)
{
    const auto run = [](std::u16string text, std::vector<std::pair<std::u16string, std::u16string>> list) {
        std::vector<TPlaceholderText> placeholders;
        for (const auto& [name, content] : list)
            placeholders.push_back(TPlaceholderText{name, content});
        std::u16string indexed = text;
        EXPECT_TRUE(SubstitutePlaceholders(indexed, placeholders, 4096, TSubstitution::Indexed));
        size_t longest = 0;
        EXPECT_EQ(indexed, Reference(text, placeholders, longest));
        return indexed;
    };
    // "$a$a$": the second "a" lost its opening "$" to the first match.
    EXPECT_EQ(run(u"$a$a$a$", {{u"a", u"X"}}), u"X" u"a" u"X");
    // A name holding "$" spans several segments; the empty name is "$$".
    EXPECT_EQ(run(u"$a$b$a$b$", {{u"a$b", u"-"}}), u"-a$b$");
    EXPECT_EQ(run(u"$$$$$", {{u"", u"e"}}), u"ee$");
    // Inserted text is not searched again by its own placeholder, but the
    // next placeholder sees it.
    EXPECT_EQ(run(u"$a$", {{u"a", u"$a$$b$"}, {u"B", u"!"}}), u"$a$!");
}

TEST(Placeholders, DoublingChainStopsAtTheCap)
{
    // Each content names the next placeholder twice: 40 links would make
    // 2^40 units. The cap is met long before anything large is built.
    std::vector<std::u16string> names;
    std::vector<TPlaceholderText> placeholders;
    for (int i = 0; i < 40; ++i)
        names.push_back(base::Utf8ToUtf16("p").append(base::Utf8ToUtf16(std::to_string(i))));
    for (int i = 0; i < 40; ++i)
        placeholders.push_back(TPlaceholderText{names[i], i + 1 < 40 ? Dollars(names[i + 1]) + Dollars(names[i + 1])
                                                                     : std::u16string(u"x")});
    for (const TSubstitution how : {TSubstitution::Direct, TSubstitution::Indexed, TSubstitution::Automatic}) {
        std::u16string text = u"$p0$";
        EXPECT_FALSE(SubstitutePlaceholders(text, placeholders, 1 << 20, how));
        // Ten links fit: 512 units of "x", the longest text on the way
        // being 512 references of five units.
        std::vector<TPlaceholderText> ten(placeholders.begin() + 30, placeholders.end());
        text = u"$p30$";
        EXPECT_TRUE(SubstitutePlaceholders(text, ten, 4096, how));
        EXPECT_EQ(text, std::u16string(512, u'x'));
    }
}

TEST(Placeholders, WorkIsBounded)
{
    // A thousand passes that each rewrite every one of a thousand
    // occurrences stay within the cap, but not within the work bound.
    std::u16string text;
    for (int i = 0; i < 1000; ++i)
        text += u"$a$";
    std::vector<std::u16string> names = {u"a", u"b"};
    std::vector<TPlaceholderText> placeholders;
    for (int i = 0; i < 1000; ++i)
        placeholders.push_back(TPlaceholderText{names[i % 2], Dollars(names[(i + 1) % 2])});
    std::u16string copy = text;
    EXPECT_FALSE(SubstitutePlaceholders(copy, placeholders, 4096));
    // With room for the work, the result is the plain one.
    copy = text;
    EXPECT_TRUE(SubstitutePlaceholders(copy, placeholders, 4096, TSubstitution::Indexed, 100000000));
    size_t longest = 0;
    EXPECT_EQ(copy, Reference(text, placeholders, longest));
}

TEST(Placeholders, Cap)
{
    EXPECT_EQ(MessageTextCap(0), MessageTextFloor);
    EXPECT_EQ(MessageTextCap(100), MessageTextFloor);
    EXPECT_EQ(MessageTextCap(2 << 20), size_t(2) << 20);
}

} // namespace
} // namespace addoscope::package
