// The backstop behind every reader: a reading that runs too long or grows
// too big ends as a broken package, is remembered as such, and leaves the
// plugin answering the next request as if nothing had happened.
#include "base/Budget.h"
#include "base/MemoryStream.h"
#include "base/Text.h"
#include "platform/Platform.h"
#include "plugin/ContentPlugin.h"
#include "plugin/Lifecycle.h"
#include "plugin/PluginState.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace addoscope;
using plugin::ft_fieldempty;
using plugin::ft_stringw;

int HookCalls = 0;
int64_t PeakCounted = 0;

void SlowReading()
{
    ++HookCalls;
    for (;;)
        base::BudgetTick();
}

void GreedyReading()
{
    ++HookCalls;
    std::vector<std::unique_ptr<base::TMemoryStream>> held;
    for (;;) {
        held.push_back(std::make_unique<base::TMemoryStream>());
        held.back()->SetSize(1 << 20);
        PeakCounted = std::max<int64_t>(PeakCounted, int64_t(held.size()) << 20);
    }
}

void CountingReading()
{
    ++HookCalls;
}

class Budget : public ::testing::Test {
protected:
    void SetUp() override
    {
        plugin::ModuleInitialize(base::Utf8ToUtf16(std::string(ADDOSCOPE_BIN_DIR) + "/budget-test-module"));
        HookCalls = 0;
    }
    void TearDown() override
    {
        plugin::ReadingTestHook = nullptr;
        plugin::ModuleFinalize();
    }

    static int32_t Name(const std::string& file, std::u16string* value = nullptr)
    {
        const std::u16string name = base::Utf8ToUtf16(std::string(ADDOSCOPE_EXAMPLES_DIR) + "/" + file);
        char16_t buffer[512] = {};
        const int32_t code = plugin::GetValue(name.c_str(), 3, 0, buffer, sizeof buffer, 0);
        if (value)
            *value = buffer;
        return code;
    }

    // After a reading that spent its budget: the unchanged file is
    // remembered as broken and not read again, and with the lock free and
    // the budget gone another package reads normally.
    static void ExpectRememberedAndOthersRead(void (*nextHook)(), const std::string& other, const std::u16string& name)
    {
        EXPECT_EQ(Name("tab-tidy.xpi"), ft_fieldempty);
        EXPECT_EQ(HookCalls, 1);
        plugin::ReadingTestHook = nextHook;
        std::u16string value;
        EXPECT_EQ(Name(other, &value), ft_stringw);
        EXPECT_EQ(value, name);
        EXPECT_FALSE(base::BudgetExceeded());
    }
};

} // namespace

TEST_F(Budget, ASlowReadingEndsWithinItsTimeAndIsCachedAsBroken)
{
    plugin::ReadingTestHook = SlowReading;
    const int64_t start = platform::ThreadCpuNanoseconds();
    EXPECT_EQ(Name("tab-tidy.xpi"), ft_fieldempty);
    const int64_t spent = platform::ThreadCpuNanoseconds() - start;
    EXPECT_GE(spent, plugin::ReadingCpuBudget);
    EXPECT_LT(spent, plugin::ReadingCpuBudget + 500 * int64_t(1000000));
    ExpectRememberedAndOthersRead(CountingReading, "mail-merge-legacy.xpi", u"Mail Merge");
}

TEST_F(Budget, AGreedyReadingEndsAtItsMemoryAndIsCachedAsBroken)
{
    plugin::ReadingTestHook = GreedyReading;
    EXPECT_EQ(Name("tab-tidy.xpi"), ft_fieldempty);
    EXPECT_LE(PeakCounted, plugin::ReadingMemoryBudget);
    EXPECT_GE(PeakCounted, plugin::ReadingMemoryBudget - (2 << 20));
    ExpectRememberedAndOthersRead(nullptr, "quiet-reader.crx3", u"Quiet Reader");
}

TEST_F(Budget, OrdinaryReadingsStayWithinIt)
{
    plugin::ReadingTestHook = CountingReading;
    for (const char* file : {"tab-tidy.xpi", "mail-merge-legacy.xpi", "page-ruler.crx", "quiet-reader.crx3",
                             "hybrid-bootstrap.xpi", "self-extracting-toolbar.xpi", "dark-theme-compact.xpi"})
        EXPECT_EQ(Name(file), ft_stringw) << file;
    EXPECT_EQ(HookCalls, 7);
}
