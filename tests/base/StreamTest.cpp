#include "base/Crc32.h"
#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/MemoryStream.h"
#include "base/Text.h"
#include "base/WindowStream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <vector>

using namespace addoscope::base;

TEST(MemoryStream, GrowsSeeksAndFillsGapsWithZeros)
{
    TMemoryStream s;
    s.WriteBuffer("abc", 3);
    EXPECT_EQ(s.Size(), 3);
    s.Seek(5, TSeekOrigin::soBeginning);
    s.WriteBuffer("z", 1);
    ASSERT_EQ(s.Size(), 6);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 6), std::string("abc\0\0z", 6));
    s.Seek(-2, TSeekOrigin::soEnd);
    char two[2];
    EXPECT_EQ(s.Read(two, 10), 2);
    EXPECT_EQ(s.Read(two, 10), 0);
    s.SetPosition(0);
    char eight[8];
    EXPECT_THROW(s.ReadBuffer(eight, 7), EReadError);
}

TEST(FileStream, ReadsAcrossBufferBoundariesAndRefusesWrites)
{
    const auto path = std::filesystem::temp_directory_path() / "addoscope_filestream_test.bin";
    std::vector<uint8_t> data(100000);
    std::iota(data.begin(), data.end(), 0);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());

    TFileStream s(Utf8ToUtf16(path.string()));
    EXPECT_EQ(s.Size(), 100000);
    std::vector<uint8_t> got(data.size());
    // Small reads that straddle the 32 KiB buffer, a seek back, and a large read.
    s.SetPosition(32760);
    s.ReadBuffer(got.data(), 20);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 20, data.begin() + 32760));
    s.SetPosition(10);
    s.ReadBuffer(got.data(), 70000);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 70000, data.begin() + 10));
    EXPECT_EQ(s.Read(got.data(), 100000), 100000 - 70010);
    EXPECT_THROW(s.WriteBuffer("x", 1), EWriteError);
    std::filesystem::remove(path);
}

TEST(FileStream, AnnouncedRangesReadTheSameBytesAsPlainReads)
{
    // Random seeks, announced ranges (short, long, past the 1 MiB cap, past
    // the end) and reads of every size, inside, across and beyond what was
    // announced: every byte must be the file's, and a read stops only at the
    // file's end.
    const auto path = std::filesystem::temp_directory_path() / "addoscope-filestream-expect.bin";
    std::vector<uint8_t> data(1536 * 1024 + 77);
    uint32_t seed = 17;
    const auto next = [&seed](uint32_t bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % bound;
    };
    for (auto& b : data)
        b = static_cast<uint8_t>(next(256));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());

    TFileStream s(Utf8ToUtf16(path.string()));
    const auto size = static_cast<int64_t>(data.size());
    std::vector<uint8_t> got(2 << 20);
    for (int step = 0; step < 3000; ++step) {
        const int64_t position = step % 7 == 0 ? size - next(100) : next(static_cast<uint32_t>(size + 50));
        s.SetPosition(position);
        if (next(3) != 0)
            s.ExpectRead(next(4) == 0 ? next(3 << 20) : next(600));
        for (int k = 1 + static_cast<int>(next(3)); k > 0; --k) {
            const int64_t at = s.Position();
            const int64_t count = next(5) == 0 ? next(70000) : next(400);
            const int64_t n = s.Read(got.data(), count);
            ASSERT_EQ(n, std::max<int64_t>(0, std::min(count, size - at))) << "step " << step;
            ASSERT_TRUE(std::equal(got.begin(), got.begin() + n, data.begin() + at)) << "step " << step;
        }
    }
    std::filesystem::remove(path);
}

TEST(FileStream, KeepsTheSizeItOpenedWithWhenTheFileShrinks)
{
    const auto path = std::filesystem::temp_directory_path() / "addoscope-filestream-shrink.bin";
    std::vector<uint8_t> data(50000);
    std::iota(data.begin(), data.end(), 3);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
    TFileStream s(Utf8ToUtf16(path.string()));
    std::filesystem::resize_file(path, 1000);
    EXPECT_EQ(s.Size(), 50000);
    // What is no longer there is not read, and nothing else stands in for it.
    std::vector<uint8_t> got(100);
    s.SetPosition(950);
    s.ExpectRead(100);
    EXPECT_EQ(s.Read(got.data(), 100), 50);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 50, data.begin() + 950));
    s.SetPosition(40000);
    EXPECT_EQ(s.Read(got.data(), 100), 0);
    std::filesystem::remove(path);
}

TEST(FileStream, MissingFileRaisesOpenError)
{
    EXPECT_THROW(TFileStream(u"/nonexistent/dir/x.xpi"), EFOpenError);
}

TEST(Crc32, KnownVectors)
{
    EXPECT_EQ(Crc32("", 0), 0u);
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    // Running form over pieces equals the whole.
    const std::string text = "The quick brown fox jumps over the lazy dog";
    uint32_t crc = 0xFFFFFFFFu;
    crc = Crc32Update(crc, text.data(), 10);
    crc = Crc32Update(crc, text.data() + 10, text.size() - 10);
    EXPECT_EQ(~crc, 0x414FA339u);
}

// The fast paths (tables, carry-less folding where the processor has it)
// against the bit-at-a-time definition, over lengths around their block
// sizes, odd alignments and running values carried between pieces.
TEST(Crc32, MatchesTheBitwiseDefinition)
{
    const auto bitwise = [](uint32_t crc, const uint8_t* p, size_t n) {
        while (n--) {
            crc ^= *p++;
            for (int k = 0; k < 8; ++k)
                crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
        }
        return crc;
    };
    std::vector<uint8_t> data(5000);
    uint32_t seed = 1;
    for (auto& b : data) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    for (int round = 0; round < 600; ++round) {
        seed = seed * 1103515245u + 12345u;
        const size_t offset = (seed >> 8) % 16;
        const size_t length = round < 300 ? static_cast<size_t>(round) : (seed >> 4) % (data.size() - 16);
        const uint32_t start = round % 3 == 0 ? 0xFFFFFFFFu : seed;
        ASSERT_EQ(Crc32Update(start, data.data() + offset, length), bitwise(start, data.data() + offset, length))
            << "offset " << offset << " length " << length;
    }
}

TEST(MemoryStream, MaxSizeStopsGrowthWithAShortWrite)
{
    TMemoryStream s;
    s.SetMaxSize(10);
    s.WriteBuffer("0123456", 7);
    EXPECT_EQ(s.Write("789AB", 5), 3);
    EXPECT_EQ(s.Size(), 10);
    EXPECT_THROW(s.WriteBuffer("C", 1), EWriteError);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 10), "0123456789");
    // Rewriting inside the bound is still fine.
    s.SetPosition(0);
    s.WriteBuffer("ab", 2);
    EXPECT_EQ(s.Memory()[1], 'b');
}

TEST(MemoryStream, CopyFromReadsStraightInAndHonoursTheBound)
{
    const auto path = std::filesystem::temp_directory_path() / "addoscope_copyfrom_test.bin";
    std::vector<uint8_t> data(70000);
    std::iota(data.begin(), data.end(), 7);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
    TFileStream file(Utf8ToUtf16(path.string()));

    // From the middle of the file, in chunks that do not divide the rest,
    // after a prefix already in the target; asking for more than the file
    // holds stops at its end.
    TMemoryStream copy;
    copy.WriteBuffer("hdr", 3);
    file.SetPosition(1000);
    EXPECT_EQ(copy.CopyFrom(file, 100000, 4096), 69000);
    ASSERT_EQ(copy.Size(), 69003);
    EXPECT_TRUE(std::equal(data.begin() + 1000, data.end(), copy.Memory() + 3));
    EXPECT_EQ(file.Read(data.data(), 1), 0);

    // Going back after reading to the end reads the same bytes again.
    file.SetPosition(0);
    EXPECT_EQ(copy.CopyFrom(file, 10, 3), 10);
    EXPECT_EQ(copy.Size(), 69013);
    EXPECT_EQ(copy.Memory()[69003], 7);

    // A bound that cannot take the count fails before anything is read.
    TMemoryStream bounded;
    bounded.SetMaxSize(100);
    file.SetPosition(0);
    EXPECT_THROW(bounded.CopyFrom(file, 101, 1 << 20), EWriteError);
    EXPECT_EQ(bounded.Size(), 0);
    EXPECT_EQ(file.Position(), 0);
    EXPECT_EQ(bounded.CopyFrom(file, 100, 1 << 20), 100);
    std::filesystem::remove(path);
}

// The window to the stream's end follows the stream and clamps only below;
// the bounded one ends where it was told and clamps both ways.
TEST(WindowStream, ToTheEndAndBounded)
{
    TMemoryStream stream;
    stream.WriteBuffer("0123456789", 10);
    stream.Seek(3, TSeekOrigin::soBeginning);
    TWindowStream tail(stream, 3);
    EXPECT_EQ(tail.Size(), 7);
    char buffer[16] = {};
    EXPECT_EQ(tail.Read(buffer, 16), 7);
    EXPECT_EQ(std::string(buffer, 7), "3456789");
    EXPECT_EQ(tail.Seek(-100, TSeekOrigin::soCurrent), 0);
    EXPECT_EQ(tail.Seek(-2, TSeekOrigin::soEnd), 5);
    EXPECT_EQ(tail.Read(buffer, 16), 2);
    stream.Seek(0, TSeekOrigin::soEnd);
    stream.WriteBuffer("ab", 2);
    EXPECT_EQ(tail.Size(), 9);
    // Past the end is where the stream goes; back to what was appended.
    EXPECT_EQ(tail.Seek(20, TSeekOrigin::soBeginning), 20);
    EXPECT_EQ(tail.Seek(7, TSeekOrigin::soBeginning), 7);
    EXPECT_EQ(tail.Read(buffer, 16), 2);
    EXPECT_EQ(std::string(buffer, 2), "ab");
    EXPECT_EQ(tail.Write("x", 1), 0);

    stream.Seek(1, TSeekOrigin::soBeginning);
    TWindowStream part(stream, 1, 4);
    EXPECT_EQ(part.Size(), 4);
    EXPECT_EQ(part.Seek(100, TSeekOrigin::soCurrent), 4);
    EXPECT_EQ(part.Read(buffer, 16), 0);
    EXPECT_EQ(part.Seek(0, TSeekOrigin::soBeginning), 0);
    EXPECT_EQ(part.Read(buffer, 16), 4);
    EXPECT_EQ(std::string(buffer, 4), "1234");
}
