// Packages that change while they are read, and packages that cannot be read.
#include "PluginSandbox.h"

#include "base/MemoryStream.h"
#include "package/Package.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace {

using addoscope::base::TMemoryStream;
using addoscope::base::TSeekOrigin;
using addoscope::package::TAddoscope;

// A package in memory that, after a given number of reads, shrinks to a
// given size or has its bytes replaced by other ones: the file changing
// between the directory look-up and the extraction.
class TChangingStream : public addoscope::base::TStream {
public:
    TChangingStream(const std::string& bytes, int readsBeforeChange, std::string changedTo)
        : FReadsLeft(readsBeforeChange), FChangedTo(std::move(changedTo))
    {
        FData.LoadFromBuffer(bytes.data(), bytes.size());
    }

    int64_t Read(void* buffer, int64_t count) override
    {
        if (FReadsLeft-- == 0) {
            const int64_t position = FData.Position();
            FData.LoadFromBuffer(FChangedTo.data(), FChangedTo.size());
            FData.SetPosition(position);
        }
        ++FReads;
        return FData.Read(buffer, count);
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override { return FData.Seek(offset, origin); }
    int64_t Size() override { return FData.Size(); }
    int Reads() const { return FReads; }

private:
    TMemoryStream FData;
    int FReadsLeft;
    int FReads = 0;
    std::string FChangedTo;
};

bool ReadFrom(TChangingStream& stream, TAddoscope& record)
{
    try {
        return addoscope::package::ReadPackageStream(stream, u"changing.xpi", u"de", record);
    } catch (const std::exception&) {
        return false; // the plugin treats an escaping error as "no record"
    }
}

} // namespace

TEST(ChangingPackage, ShrinksOrIsReplacedAtEveryRead)
{
    const std::string other = ReadAll(std::string(ADDOSCOPE_EXAMPLES_DIR) + "/mail-merge-legacy.xpi");
    for (const char* sample : {"tab-tidy.xpi", "quiet-reader.crx3", "dark-theme-compact.xpi"}) {
        const std::string bytes = ReadAll(std::string(ADDOSCOPE_EXAMPLES_DIR) + "/" + sample);
        ASSERT_FALSE(bytes.empty()) << sample;
        TChangingStream unchanged(bytes, -1, std::string());
        TAddoscope original;
        ASSERT_TRUE(ReadFrom(unchanged, original)) << sample;
        const int reads = unchanged.Reads();
        ASSERT_GT(reads, 0);

        for (int k = 0; k <= reads; ++k) {
            SCOPED_TRACE(std::string(sample) + " changed before read " + std::to_string(k));
            for (const std::string& changed : {bytes.substr(0, bytes.size() / 2), std::string(), other,
                                               std::string(bytes.size(), '\xFF')}) {
                TChangingStream stream(bytes, k, changed);
                TAddoscope record;
                ReadFrom(stream, record);
                if (k == reads) {
                    // Changed after the last read: the reading is the whole original one.
                    EXPECT_EQ(record.Name, original.Name);
                    EXPECT_EQ(record.Description, original.Description);
                }
            }
        }
    }
}

TEST(ChangingPackage, RemovedOrShrunkFilesGiveNoValueThenAFreshReading)
{
    TPluginSandbox sandbox;
    const auto file = sandbox.AddExample("tab-tidy.xpi", "changing.xpi");
    ASSERT_EQ(sandbox.Value(file, 3), u"Tab Tidy");

    std::filesystem::remove(file);
    EXPECT_EQ(sandbox.Value(file, 3), u"");

    sandbox.AddExample("page-ruler.crx", "changing.xpi");
    EXPECT_EQ(sandbox.Value(file, 3), u"Page Ruler");

    const std::string bytes = ReadAll(file);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() / 3);
    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + std::chrono::seconds(3));
    EXPECT_EQ(sandbox.Value(file, 3), u"");
}

TEST(ChangingPackage, UnreadableFileAnswersEmptyAtOnce)
{
    TPluginSandbox sandbox;
    const auto file = sandbox.AddExample("tab-tidy.xpi", "locked.xpi");
    std::filesystem::permissions(file, std::filesystem::perms::none);
    if (std::ifstream(file).is_open())
        GTEST_SKIP() << "permissions do not stop this user from reading (running as root)";
    const auto start = std::chrono::steady_clock::now();
    int32_t code = 0;
    EXPECT_EQ(sandbox.Value(file, 3, &code), u"");
    EXPECT_EQ(code, -3);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}
