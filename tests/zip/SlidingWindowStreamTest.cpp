#include "zip/methods/SlidingWindowStream.h"

#include "base/Exception.h"
#include "base/MemoryStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using addoscope::base::TMemoryStream;
using addoscope::base::TSeekOrigin;
using addoscope::zip::TSlidingWindowStream;

namespace {

std::vector<uint8_t> Pattern(size_t count)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>((i * 131 + i / 251) & 0xFF);
    return bytes;
}

std::string MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const addoscope::base::Exception& e) {
        return e.Message();
    }
    return "(no exception)";
}

// A target that reports a different position than asked, or accepts only
// part of a write.
class TFaultyTarget : public TMemoryStream {
public:
    bool FBadSeek = false;
    bool FShortWrite = false;
    int64_t Write(const void* buffer, int64_t count) override
    {
        return TMemoryStream::Write(buffer, FShortWrite ? count / 2 : count);
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        const int64_t pos = TMemoryStream::Seek(offset, origin);
        return FBadSeek && offset > 0 ? pos + 1 : pos;
    }
};

} // namespace

TEST(SlidingWindowStream, PassesEverythingToTheTargetAfterExistingContent)
{
    TMemoryStream target;
    target.WriteBuffer("head", 4);
    const auto data = Pattern(100000);
    {
        TSlidingWindowStream window(target);
        // Uneven pieces, so chunk boundaries fall inside writes.
        size_t done = 0;
        size_t piece = 1;
        while (done < data.size()) {
            const size_t n = std::min(piece, data.size() - done);
            window.WriteBuffer(data.data() + done, static_cast<int64_t>(n));
            done += n;
            piece = piece * 3 % 9001 + 1;
        }
        EXPECT_EQ(window.Size(), 100000);
        // Nothing of the last five chunks has reached the target yet.
        EXPECT_LT(target.Size(), 4 + 100000 - 4 * TSlidingWindowStream::ChunkSize);
        window.Flush();
        window.Flush();
    }
    ASSERT_EQ(target.Size(), 4 + 100000);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(target.Memory()), 4), "head");
    EXPECT_TRUE(std::equal(data.begin(), data.end(), target.Memory() + 4));
}

TEST(SlidingWindowStream, KeepsTheLast32KiBReadable)
{
    TMemoryStream target;
    TSlidingWindowStream window(target);
    const auto data = Pattern(5 * 8192 * 3 + 77);
    for (size_t done = 0; done < data.size(); done += 1000) {
        const size_t n = std::min<size_t>(1000, data.size() - done);
        window.WriteBuffer(data.data() + done, static_cast<int64_t>(n));
        const int64_t size = window.Size();
        const int64_t back = std::min<int64_t>(size, 32768);
        EXPECT_LE(window.WindowStart(), size - back);
        window.Seek(-back, TSeekOrigin::soEnd);
        std::vector<uint8_t> read(static_cast<size_t>(back));
        window.ReadBuffer(read.data(), back);
        ASSERT_TRUE(std::equal(read.begin(), read.end(), data.begin() + (size - back))) << "at size " << size;
        EXPECT_EQ(window.Position(), size);
    }
    // Once data has moved on, the oldest bytes are gone.
    EXPECT_GT(window.WindowStart(), 0);
    EXPECT_EQ(MessageOf([&] { window.Seek(window.WindowStart() - 1, TSeekOrigin::soBeginning); }),
              "TSlidingWindowStream.Seek: invalid new position");
    EXPECT_EQ(MessageOf([&] { window.Seek(1, TSeekOrigin::soEnd); }),
              "TSlidingWindowStream.Seek: invalid new position");
    EXPECT_EQ(MessageOf([&] { window.Seek(INT64_MIN, TSeekOrigin::soCurrent); }),
              "TSlidingWindowStream.Seek: invalid new position");
    EXPECT_EQ(MessageOf([&] { window.Seek(0, static_cast<TSeekOrigin>(7)); }),
              "TSlidingWindowStream.Seek: invalid origin");
}

TEST(SlidingWindowStream, LimitsTransfersAndWritesOnlyAtTheEnd)
{
    TMemoryStream target;
    TSlidingWindowStream window(target);
    const auto data = Pattern(50000);
    EXPECT_EQ(window.Write(data.data(), 50000), 32768);
    EXPECT_EQ(window.Size(), 32768);
    window.Seek(0, TSeekOrigin::soBeginning);
    std::vector<uint8_t> read(50000);
    EXPECT_EQ(window.Read(read.data(), 50000), 32768);
    EXPECT_TRUE(std::equal(read.begin(), read.begin() + 32768, data.begin()));
    EXPECT_EQ(window.Read(read.data(), 10), 0);

    window.Seek(-10, TSeekOrigin::soEnd);
    EXPECT_EQ(MessageOf([&] { window.Write(data.data(), 1); }), "TSlidingWindowStream.Write: Not at end of stream");
    EXPECT_EQ(window.Size(), 32768);
}

TEST(SlidingWindowStream, ReportsTargetFailures)
{
    const auto data = Pattern(60000);
    auto fill = [&](bool badSeek, bool shortWrite) {
        TFaultyTarget target;
        target.WriteBuffer("x", 1);
        target.FBadSeek = badSeek;
        target.FShortWrite = shortWrite;
        TSlidingWindowStream window(target);
        window.WriteBuffer(data.data(), 30000);
        window.WriteBuffer(data.data() + 30000, 30000);
        window.Flush();
    };
    EXPECT_EQ(MessageOf([&] { fill(false, false); }), "(no exception)");
    EXPECT_EQ(MessageOf([&] { fill(true, false); }), "TSlidingWindowStream.bsWriteChunk: seek failed");
    EXPECT_EQ(MessageOf([&] { fill(false, true); }), "TSlidingWindowStream.bsWriteChunk: write failed");
}
