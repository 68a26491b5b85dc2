// Value requests of a module whose record cache could not be made at load:
// it answers without one, reading the package for every request, and keeps
// nothing of those readings.
#include "tests/cache/AllocationHook.h"

#include "PluginSandbox.h"
#include "base/Text.h"
#include "plugin/Lifecycle.h"
#include "plugin/PluginState.h"
#include "plugin/RecordCache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using namespace addoscope;

constexpr int32_t NameField = 3;
constexpr int32_t ft_stringw = 11;
constexpr int32_t ft_fieldempty = -3;

int Readings = 0;

void CountReading()
{
    ++Readings;
}

int32_t Name(const std::u16string& file, std::u16string& value)
{
    char16_t buffer[512] = {};
    const int32_t code = plugin::GetValue(file.c_str(), NameField, 0, buffer, sizeof buffer, 0);
    value = buffer;
    return code;
}

TEST(NoRecordCache, EveryRequestReadsThePackageAndKeepsNothing)
{
    const auto dir = std::filesystem::temp_directory_path() / ("addoscope-nocache-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "tab-tidy.xpi";
    std::filesystem::copy_file(std::string(ADDOSCOPE_EXAMPLES_DIR) + "/tab-tidy.xpi", file);
    const std::u16string name = base::Utf8ToUtf16(file.string());

    testhooks::TAllocationHook::FailSize = sizeof(plugin::TwdxCache);
    plugin::ModuleInitialize(base::Utf8ToUtf16((dir / "module").string()));
    ASSERT_EQ(testhooks::TAllocationHook::FailSize, 0u) << "the cache's allocation was not met";
    ASSERT_EQ(plugin::Module().RecordCache, nullptr);
    plugin::ReadingTestHook = CountReading;

    std::u16string value;
    EXPECT_EQ(Name(name, value), ft_stringw);
    EXPECT_EQ(value, u"Tab Tidy");
    {
        // Warm now: further requests free all they allocate.
        testhooks::TAllocationCounter counter;
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(Name(name, value), ft_stringw);
            EXPECT_EQ(value, u"Tab Tidy");
        }
        EXPECT_GT(counter.Allocations(), 0u);
        EXPECT_EQ(counter.Allocations(), counter.Frees());
    }
    EXPECT_EQ(Readings, 11);

    // Other bytes of the same size and time are read, not remembered.
    const std::string original = ReadAll(file);
    ReplaceKeepingTimeAndSize(file, std::string(original.size(), 'x'));
    EXPECT_EQ(Name(name, value), ft_fieldempty);
    ReplaceKeepingTimeAndSize(file, original);
    EXPECT_EQ(Name(name, value), ft_stringw);
    EXPECT_EQ(value, u"Tab Tidy");
    EXPECT_EQ(Readings, 13);

    plugin::ReadingTestHook = nullptr;
    plugin::ModuleFinalize();
    std::filesystem::remove_all(dir);
}

} // namespace
