// The reading budget is a backstop for hostile files only: no real package,
// sample, test fixture or independently made archive comes near it.
#include "base/Budget.h"
#include "base/FileStream.h"
#include "base/Text.h"
#include "package/Package.h"
#include "platform/Platform.h"
#include "plugin/PluginState.h"
#include "zip/ZipArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using namespace addoscope;

std::vector<fs::path> FilesUnder(const fs::path& folder)
{
    std::vector<fs::path> files;
    if (!fs::is_directory(folder))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

TEST(OrdinaryBudget, NoSampleOrFixtureComesNearIt)
{
    std::vector<fs::path> files;
    for (const fs::path& folder : {fs::path(ADDOSCOPE_BIN_DIR) / ".." / "examples", fs::path(ADDOSCOPE_TEST_DATA),
                                   fs::path(ADDOSCOPE_TEST_DATA) / ".." / ".." / ".." / "shared" / "fixtures"})
        for (const fs::path& file : FilesUnder(folder))
            files.push_back(file);
    ASSERT_GT(files.size(), 50u);
    int64_t slowest = 0, largest = 0;
    fs::path slowestFile, largestFile;
    for (const fs::path& file : files) {
        base::TReadingBudget budget(plugin::ReadingCpuBudget, plugin::ReadingMemoryBudget);
        const int64_t start = platform::ThreadCpuNanoseconds();
        int64_t peak = 0;
        try {
            base::TFileStream stream(base::Utf8ToUtf16(file.string()));
            package::TAddoscope record;
            package::ReadPackageStream(stream, base::Utf8ToUtf16(file.string()), u"", record);
            // Every item of an archive, as the decoders of all methods must
            // fit in the budget too, not only the description's.
            auto archive = zip::TZipArchive::CreateFromStream(stream, u"");
            archive->SetupExtraction();
            archive->Load();
            for (int i = 0; i < archive->Count(); ++i) {
                base::TMemoryStream item;
                archive->ExtractToStream(archive->Item(i).GetFileName(), item);
            }
        } catch (const std::exception&) {
            // Not every fixture is a package; only the budget matters here.
        }
        peak = budget.MemoryPeak();
        EXPECT_FALSE(budget.Exceeded()) << file;
        const int64_t spent = platform::ThreadCpuNanoseconds() - start;
        if (spent > slowest)
            slowest = spent, slowestFile = file;
        if (peak > largest)
            largest = peak, largestFile = file;
    }
    std::printf("[ measure  ] %zu files; slowest %.1f ms (%s); most memory counted %lld KB (%s)\n",
                files.size(), double(slowest) / 1e6, slowestFile.filename().string().c_str(),
                static_cast<long long>(largest / 1024), largestFile.filename().string().c_str());
}
