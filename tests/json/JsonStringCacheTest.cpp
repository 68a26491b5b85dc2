// Name interning of large inputs: equal names share their text, and no
// choice of names can make the interning slow or the tree different.
#include "JsonTestSupport.h"

#include "base/Budget.h"
#include "base/Text.h"
#include "json/JsonStringCache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace addoscope::json {
namespace {

using test::Parse;

// The unseeded 32-bit hash the interning once used: the length, then per
// unit an exclusive-or and a multiplication by the FNV prime.
constexpr uint32_t FnvPrime = 16777619u;

uint32_t OldHash(std::u16string_view text)
{
    uint32_t hash = static_cast<uint32_t>(text.size());
    for (const char16_t unit : text)
        hash = (hash ^ unit) * FnvPrime;
    return hash;
}

constexpr uint32_t Inverse(uint32_t odd)
{
    uint32_t x = odd; // Newton's iteration doubles the correct low bits
    for (int i = 0; i < 5; ++i)
        x *= 2 - odd * x;
    return x;
}

// Distinct names of eight units whose old hash agrees in its low 16 bits:
// the low bits of a product depend only on the low bits of its factors, so
// the last unit can steer them to any value.
std::vector<std::u16string> OldHashCollisions(int count)
{
    constexpr uint32_t Target = 0x5A5A;
    std::vector<std::u16string> names;
    for (int i = 0; i < count; ++i) {
        std::u16string name(1, u'n');
        for (const char c : std::to_string(1000000 + i).substr(1))
            name.push_back(static_cast<char16_t>(c));
        uint32_t hash = 8;
        for (const char16_t unit : name)
            hash = (hash ^ unit) * FnvPrime;
        name += static_cast<char16_t>(((Target * Inverse(FnvPrime)) ^ hash) & 0xFFFF);
        names.push_back(name);
    }
    return names;
}

std::string Escaped(std::u16string_view name)
{
    static const char* const Hex = "0123456789abcdef";
    std::string text;
    for (const char16_t unit : name) {
        if (unit >= 0x20 && unit < 0x7F && unit != '"' && unit != '\\') {
            text += static_cast<char>(unit);
        } else {
            text += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                text += Hex[(unit >> shift) & 0xF];
        }
    }
    return text;
}

TEST(JsonStringCache, NamesCollidingUnderTheOldHashAreAllInterned)
{
    const std::vector<std::u16string> names = OldHashCollisions(20000);
    for (size_t i = 1; i < names.size(); ++i)
        ASSERT_EQ(OldHash(names[i]) & 0xFFFF, OldHash(names[0]) & 0xFFFF);
    std::vector<std::u16string> stored; // the texts the cache hands out must stay put
    stored.reserve(names.size());
    detail::TStringCache cache;
    std::vector<const char16_t*> first;
    for (const std::u16string& name : names)
        first.push_back(cache.Intern(name, [&] { return std::u16string_view(stored.emplace_back(name)); }).data());
    // Under the old hash they all crowded one run of slots; keyed afresh,
    // they spread, and nearly every one finds a slot within the probe bound.
    EXPECT_GE(cache.Count(), names.size() * 99 / 100);
    size_t shared = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::u16string_view again = cache.Intern(names[i], [&] { return std::u16string_view(stored.emplace_back(names[i])); });
        EXPECT_EQ(again, names[i]);
        shared += again.data() == first[i];
    }
    EXPECT_GE(shared, names.size() * 99 / 100);
}

TEST(JsonStringCache, TableStopsGrowingAndKeepsAnswering)
{
    std::vector<std::u16string> stored;
    stored.reserve(200000);
    detail::TStringCache cache;
    for (int i = 0; i < 100000; ++i) {
        const std::u16string name {u'k', static_cast<char16_t>(0x4E00 + i % 20000), static_cast<char16_t>(0x4E00 + i / 20000)};
        const std::u16string_view got = cache.Intern(name, [&] { return std::u16string_view(stored.emplace_back(name)); });
        ASSERT_EQ(got, name);
    }
    EXPECT_LE(cache.Count(), 65536u);
    EXPECT_GE(cache.Count(), 32768u);
}

// A manifest over the interning size: names repeated in every object, names
// colliding under the old hash and sixty thousand distinct names. The tree
// holds every name as written, lookups find them, and repeated names share
// one stored text.
TEST(JsonStringCache, LargeManifestReadsEveryName)
{
    const std::vector<std::u16string> colliding = OldHashCollisions(30000);
    // The repeated names come first: once the table is full of names seen
    // only once, later names are stored on their own.
    std::string text = "{\"messages\":[";
    for (int i = 0; i < 20000; ++i)
        text.append(i ? ",{\"message\":\"m" : "{\"message\":\"m").append(std::to_string(i)).append("\"}");
    text += "],\"colliding\":{";
    for (size_t i = 0; i < colliding.size(); ++i)
        text.append(i ? ",\"" : "\"").append(Escaped(colliding[i])).append("\":").append(std::to_string(i));
    text += "},\"distinct\":{";
    for (int i = 0; i < 60000; ++i)
        text.append(i ? ",\"d" : "\"d").append(std::to_string(i)).append("\":").append(std::to_string(i));
    text += "}}";
    ASSERT_GT(text.size(), 1000000u);

    auto tree = Parse(text);
    const auto* root = JsonCast<TJSONObject>(tree.get());
    ASSERT_NE(root, nullptr);
    const auto* collided = JsonCast<TJSONObject>(root->GetValue(u"colliding"));
    ASSERT_NE(collided, nullptr);
    ASSERT_EQ(collided->Count(), static_cast<int>(colliding.size()));
    for (int i = 0; i < collided->Count(); ++i)
        ASSERT_EQ(collided->GetPair(i).JsonString().Text(), colliding[static_cast<size_t>(i)]);
    for (size_t i = 0; i < colliding.size(); i += 997)
        EXPECT_EQ(collided->GetValue(colliding[i])->Value(), base::Utf8ToUtf16(std::to_string(i)));

    const auto* distinct = JsonCast<TJSONObject>(root->GetValue(u"distinct"));
    ASSERT_NE(distinct, nullptr);
    ASSERT_EQ(distinct->Count(), 60000);
    for (int i = 0; i < 60000; ++i)
        ASSERT_EQ(distinct->GetPair(i).JsonString().Text(), base::Utf8ToUtf16("d" + std::to_string(i)));
    EXPECT_EQ(distinct->GetValue(u"d59999")->Value(), u"59999");

    const auto* messages = JsonCast<TJSONArray>(root->FindValue(u"messages"));
    ASSERT_NE(messages, nullptr);
    ASSERT_EQ(messages->Count(), 20000);
    const char16_t* shared = JsonCast<TJSONObject>(messages->Get(0))->GetPair(0).JsonString().Text().data();
    for (int i = 0; i < messages->Count(); ++i) {
        const auto* message = JsonCast<TJSONObject>(messages->Get(i));
        ASSERT_EQ(message->GetPair(0).JsonString().Text(), u"message");
        EXPECT_EQ(message->GetPair(0).JsonString().Text().data(), shared);
    }
}

// The tree's arena, the reader's stacks and the name table are counted
// against the reading budget, and given back with the tree.
TEST(JsonStringCache, TreeIsChargedToTheBudget)
{
    std::string text = "[";
    for (int i = 0; i < 300000; ++i)
        text.append(i ? ",{\"k" : "{\"k").append(std::to_string(i)).append("\":[0,1,2]}");
    text += "]";
    {
        base::TReadingBudget budget(int64_t(1) << 50, int64_t(1) << 40);
        auto tree = Parse(text);
        ASSERT_NE(tree, nullptr);
        EXPECT_GT(budget.MemoryUsed(), int64_t(text.size()));
        tree.reset();
        EXPECT_EQ(budget.MemoryUsed(), 0);
    }
    base::TReadingBudget small(int64_t(1) << 50, 4 << 20);
    EXPECT_THROW(Parse(text), base::EBudgetExceeded);
    EXPECT_TRUE(small.Exceeded());
}

} // namespace
} // namespace addoscope::json
