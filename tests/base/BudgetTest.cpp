#include "base/Budget.h"
#include "base/MemoryStream.h"
#include "base/SeededHash.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace addoscope::base;

namespace {
constexpr int64_t Ms = 1000000;
}

TEST(ReadingBudget, ProcessorTimeEndsASpinningLoopAndStaysSpent)
{
    TReadingBudget budget(50 * Ms, 1 << 30);
    const int64_t start = addoscope::platform::ThreadCpuNanoseconds();
    ASSERT_GE(start, 0);
    EXPECT_THROW(
        for (;;) BudgetTick(), EBudgetExceeded);
    const int64_t spent = addoscope::platform::ThreadCpuNanoseconds() - start;
    EXPECT_GE(spent, 50 * Ms);
    EXPECT_LT(spent, 500 * Ms);
    EXPECT_TRUE(budget.Exceeded());
    EXPECT_TRUE(BudgetExceeded());
    // Spent for good: the next tick and any growth raise at once, so a
    // catch-all along the way cannot keep a reading going.
    EXPECT_THROW(BudgetTick(), EBudgetExceeded);
    TBudgetCharge charge;
    EXPECT_THROW(charge.Resize(1), EBudgetExceeded);
    EXPECT_EQ(charge.Bytes(), 0);
    charge.Resize(0); // shrinking never raises
}

TEST(ReadingBudget, MemoryIsCountedReleasedAndLimited)
{
    TReadingBudget budget(10000 * Ms, 1000);
    {
        TBudgetCharge a, b;
        a.Resize(600);
        EXPECT_EQ(budget.MemoryUsed(), 600);
        EXPECT_THROW(b.Resize(401), EBudgetExceeded);
        EXPECT_EQ(b.Bytes(), 0);
        EXPECT_EQ(budget.MemoryUsed(), 600);
    }
    EXPECT_EQ(budget.MemoryUsed(), 0);
    EXPECT_TRUE(budget.Exceeded());
}

TEST(ReadingBudget, MemoryStreamsChargeTheirBlocks)
{
    TReadingBudget budget(10000 * Ms, 1 << 20);
    {
        TMemoryStream stream;
        stream.SetSize(100000);
        EXPECT_GE(budget.MemoryUsed(), 100000);
        EXPECT_THROW(stream.SetSize(2 << 20), EBudgetExceeded);
        EXPECT_EQ(stream.Size(), 100000);
    }
    EXPECT_EQ(budget.MemoryUsed(), 0);
}

TEST(ReadingBudget, ChargesOutsideABudgetCountForNothingAndScopesDoNotLeak)
{
    TMemoryStream before;
    before.SetSize(5000); // charged under no budget
    {
        TReadingBudget budget(10000 * Ms, 100000);
        EXPECT_EQ(budget.MemoryUsed(), 0);
        before.SetSize(20000); // regrown inside: counted in full from now on
        EXPECT_EQ(budget.MemoryUsed(), 20000);
    }
    // Ends with the scope: nothing is limited, and the stream's release
    // touches no later budget.
    EXPECT_FALSE(BudgetExceeded());
    TReadingBudget later(10000 * Ms, 1 << 20);
    before.Clear();
    EXPECT_EQ(later.MemoryUsed(), 0);
    for (int i = 0; i < 100000; ++i)
        BudgetTick();
    EXPECT_FALSE(later.Exceeded());
}

TEST(ReadingBudget, BelongsToItsThreadAndDoesNotNest)
{
    TReadingBudget budget(10000 * Ms, 100);
    TReadingBudget inner(1, 1); // ignored: the outer budget stays in force
    std::thread other([] {
        TBudgetCharge charge;
        charge.Resize(1 << 20); // no budget on this thread
        EXPECT_FALSE(BudgetExceeded());
    });
    other.join();
    for (int i = 0; i < 10000; ++i)
        BudgetTick();
    EXPECT_FALSE(budget.Exceeded());
}

TEST(SeededHash, TablesGetSeedsOfTheirOwnAndEqualTextHashesEqually)
{
    std::set<uint64_t> seeds;
    for (int i = 0; i < 100; ++i)
        seeds.insert(TSeededHash().Seed());
    EXPECT_EQ(seeds.size(), 100u);
    const TSeededHash a, b;
    EXPECT_EQ(a(std::string_view("manifest.json")), a(std::string_view("manifest.json")));
    EXPECT_NE(a(std::string_view("manifest.json")), b(std::string_view("manifest.json")));
    EXPECT_NE(a(std::string_view("a")), a(std::string_view("b")));
    EXPECT_EQ(a(std::u16string_view(u"ab")), a(std::string_view("a\0b\0", 4)));
}

TEST(Platform, RandomBytesDiffer)
{
    unsigned char x[32] = {}, y[32] = {};
    ASSERT_TRUE(addoscope::platform::RandomBytes(x, sizeof x));
    ASSERT_TRUE(addoscope::platform::RandomBytes(y, sizeof y));
    EXPECT_NE(std::string(reinterpret_cast<char*>(x), 32), std::string(reinterpret_cast<char*>(y), 32));
}
