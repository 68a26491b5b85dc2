// The decoders that drive external libraries: bzip2 (12), LZMA (14) and
// WavPack (97), fed with the raw item data of archives made by other tools.
#include "base/Crc32.h"
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "zip/methods/BZip2Errors.h"
#include "zip/methods/BZip2Stream.h"
#include "zip/methods/Decoders.h"
#include "zip/methods/LzmaErrors.h"
#include "zip/ZipArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace addoscope::zip {
namespace {

using Bytes = std::vector<uint8_t>;

const std::string DataDir = std::string(ADDOSCOPE_TEST_DATA) + "/zip/libs/";

Bytes LoadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file.good()) << path;
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

uint32_t Le16(const Bytes& b, size_t at) { return b.at(at) | (b.at(at + 1) << 8); }
uint32_t Le32(const Bytes& b, size_t at) { return Le16(b, at) | (Le16(b, at + 2) << 16); }

// One entry as the central directory describes it, with its raw data cut
// out through the local header.
struct TRawEntry {
    std::string Name;
    TDecodeParams Params;
    uint32_t Crc = 0;
    Bytes Data;
};

std::vector<TRawEntry> ReadEntries(const std::string& zipName)
{
    const Bytes zip = LoadFile(DataDir + zipName);
    size_t end = zip.size() - 22;
    while (Le32(zip, end) != 0x06054B50)
        --end;
    std::vector<TRawEntry> entries;
    size_t at = Le32(zip, end + 16);
    for (uint32_t i = 0, count = Le16(zip, end + 10); i < count; ++i) {
        EXPECT_EQ(Le32(zip, at), 0x02014B50u);
        TRawEntry entry;
        entry.Params.Flags = static_cast<uint16_t>(Le16(zip, at + 8));
        entry.Params.Method = static_cast<uint8_t>(Le16(zip, at + 10));
        entry.Crc = Le32(zip, at + 16);
        entry.Params.CompressedSize = Le32(zip, at + 20);
        entry.Params.UncompressedSize = Le32(zip, at + 24);
        const uint32_t nameLength = Le16(zip, at + 28);
        entry.Name.assign(reinterpret_cast<const char*>(&zip[at + 46]), nameLength);
        const size_t local = Le32(zip, at + 42);
        const size_t data = local + 30 + Le16(zip, local + 26) + Le16(zip, local + 28);
        entry.Data.assign(zip.begin() + data, zip.begin() + data + entry.Params.CompressedSize);
        entries.push_back(std::move(entry));
        at += 46 + nameLength + Le16(zip, at + 30) + Le16(zip, at + 32);
    }
    return entries;
}

TRawEntry ReadEntry(const std::string& zipName, const std::string& name)
{
    for (auto& entry : ReadEntries(zipName))
        if (entry.Name == name)
            return entry;
    ADD_FAILURE() << name << " not in " << zipName;
    return {};
}

// The expected bytes of an entry, where this folder keeps them.
std::optional<Bytes> Payload(const std::string& name)
{
    if (name == "zeros.bin")
        return Bytes(70000, 0);
    std::ifstream probe(DataDir + "payloads/" + name, std::ios::binary);
    if (!probe)
        return std::nullopt;
    return LoadFile(DataDir + "payloads/" + name);
}

using TDecoder = void (*)(base::TStream&, base::TStream&, const TDecodeParams&);

TDecoder DecoderFor(uint8_t method)
{
    switch (method) {
    case 12: return BZip2Decode;
    case 14: return LzmaDecode;
    case 97: return WavPackDecode;
    default: return nullptr;
    }
}

// Runs the decoder over `data`; the output keeps what was written even when
// the decoder raises, which is rethrown after `out` is filled.
Bytes Decode(const Bytes& data, const TDecodeParams& params, std::exception_ptr* failure = nullptr)
{
    base::TMemoryStream in;
    in.LoadFromBuffer(data.data(), data.size());
    base::TMemoryStream out;
    try {
        DecoderFor(params.Method)(in, out, params);
    } catch (...) {
        if (!failure)
            throw;
        *failure = std::current_exception();
    }
    return Bytes(out.Memory(), out.Memory() + out.Size());
}

template <typename E>
std::string MessageOf(const std::exception_ptr& failure)
{
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const E& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("unexpected exception: ") + e.what();
    }
    return "no exception";
}

uint32_t CrcOf(const Bytes& bytes) { return base::Crc32(bytes.data(), bytes.size()); }

// --- every entry of every fixture ---------------------------------------

class FixtureTest : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureTest, EveryEntryDecodesToItsSizeCrcAndBytes)
{
    int decoded = 0;
    for (const TRawEntry& entry : ReadEntries(GetParam())) {
        if (!DecoderFor(entry.Params.Method))
            continue;
        SCOPED_TRACE(entry.Name);
        const Bytes out = Decode(entry.Data, entry.Params);
        EXPECT_EQ(static_cast<int64_t>(out.size()), entry.Params.UncompressedSize);
        EXPECT_EQ(CrcOf(out), entry.Crc);
        if (auto expected = Payload(entry.Name)) {
            EXPECT_TRUE(out == *expected) << "bytes differ from the payload";
        }
        ++decoded;
    }
    EXPECT_GT(decoded, 0);
}

// The same entries through the archive: extraction dispatches to these
// decoders and checks the CRC-32.
TEST_P(FixtureTest, EveryEntryExtractsThroughTheArchive)
{
    const Bytes zip = LoadFile(DataDir + GetParam());
    base::TMemoryStream archiveStream;
    archiveStream.LoadFromBuffer(zip.data(), zip.size());
    auto archive = TZipArchive::CreateFromStream(archiveStream, u"fixture.zip");
    archive->SetupExtraction();
    archive->Load();
    const std::vector<TRawEntry> entries = ReadEntries(GetParam());
    ASSERT_EQ(archive->Count(), static_cast<int>(entries.size()));
    for (int i = 0; i < archive->Count(); ++i) {
        SCOPED_TRACE(entries[i].Name);
        base::TMemoryStream out;
        archive->ExtractToStream(archive->ItemName(i), out);
        EXPECT_EQ(out.Size(), entries[i].Params.UncompressedSize);
        EXPECT_EQ(base::Crc32(out.Memory(), static_cast<size_t>(out.Size())), entries[i].Crc);
    }
}

INSTANTIATE_TEST_SUITE_P(Libs, FixtureTest,
                         ::testing::Values("iz_bzip2.zip", "7z_bzip2.zip", "7z_lzma.zip", "7z_lzma_noeos.zip",
                                           "wv_s16_stereo.zip", "wv_u8_mono.zip", "wv_u8_stereo.zip",
                                           "wv_s24_stereo.zip", "wv_s32_mono.zip", "wv_f32_stereo.zip",
                                           "wv_s16_mono_trailer.zip"));

// --- bzip2 ----------------------------------------------------------------

TEST(BZip2, TruncatedOrOversizedItemsFailWithReadErrorKeepingWholeChunks)
{
    TRawEntry entry = ReadEntry("iz_bzip2.zip", "zeros.bin");
    // The declared size exceeds what the stream holds: the item fits one
    // 1 MiB chunk, which cannot be filled, so nothing is written.
    TDecodeParams params = entry.Params;
    params.UncompressedSize += 1;
    std::exception_ptr failure;
    Bytes out = Decode(entry.Data, params, &failure);
    EXPECT_EQ(MessageOf<base::EReadError>(failure), "Stream read error");
    EXPECT_TRUE(out.empty());

    // A stream cut short ends the same way, without a library error.
    Bytes cut(entry.Data.begin(), entry.Data.begin() + static_cast<long>(entry.Data.size() / 2));
    failure = nullptr;
    out = Decode(cut, entry.Params, &failure);
    EXPECT_EQ(MessageOf<base::EReadError>(failure), "Stream read error");
}

TEST(BZip2, CorruptDataRaisesTheLibraryCode)
{
    TRawEntry entry = ReadEntry("7z_bzip2.zip", "text.txt");
    std::exception_ptr failure;

    Bytes badMagic = entry.Data;
    badMagic[0] = 'X';
    Decode(badMagic, entry.Params, &failure);
    EXPECT_EQ(MessageOf<EBZCompressionError>(failure), "error -5"); // BZ_DATA_ERROR_MAGIC

    Bytes flipped = entry.Data;
    flipped[flipped.size() / 2] ^= 0x55;
    failure = nullptr;
    Decode(flipped, entry.Params, &failure);
    EXPECT_EQ(MessageOf<EBZCompressionError>(failure), "error -4"); // BZ_DATA_ERROR
}

TEST(BZip2, StreamSeeksRestartSkipForwardAndRefuseTheRest)
{
    TRawEntry entry = ReadEntry("7z_bzip2.zip", "text.txt");
    const Bytes expected = *Payload("text.txt");
    base::TMemoryStream in;
    in.LoadFromBuffer(entry.Data.data(), entry.Data.size());
    TBZDecompressionStream stream(in);

    char buf[100];
    ASSERT_EQ(stream.Read(buf, 10), 10);
    // Someone else moving the source in between must not matter.
    in.Seek(3, base::TSeekOrigin::soBeginning);
    EXPECT_EQ(stream.Seek(1000, base::TSeekOrigin::soCurrent), 1010);
    ASSERT_EQ(stream.Read(buf, 100), 100);
    EXPECT_EQ(0, std::memcmp(buf, expected.data() + 1010, 100));
    EXPECT_EQ(stream.Position(), 1110);
    EXPECT_EQ(stream.Seek(2000, base::TSeekOrigin::soBeginning), 2000);

    EXPECT_EQ(stream.Seek(0, base::TSeekOrigin::soBeginning), 0);
    ASSERT_EQ(stream.Read(buf, 100), 100);
    EXPECT_EQ(0, std::memcmp(buf, expected.data(), 100));

    for (auto origin : {base::TSeekOrigin::soBeginning, base::TSeekOrigin::soCurrent, base::TSeekOrigin::soEnd}) {
        try {
            stream.Seek(origin == base::TSeekOrigin::soBeginning ? 50 : -1, origin);
            ADD_FAILURE() << "seek accepted";
        } catch (const EBZDecompressionError& e) {
            EXPECT_STREQ(e.what(), "Invalid stream operation");
        }
    }
    EXPECT_THROW(stream.Write(buf, 1), EBZDecompressionError);

    // Reading past the end answers the rest, then nothing.
    std::vector<char> rest(expected.size());
    EXPECT_EQ(stream.Read(rest.data(), static_cast<int64_t>(rest.size())), static_cast<int64_t>(expected.size()) - 100);
    EXPECT_EQ(stream.Read(rest.data(), 10), 0);
}

// --- LZMA -----------------------------------------------------------------

// The dictionary size of the properties (bytes 5-8 of the item data).
void SetDictionary(Bytes& data, uint32_t size)
{
    for (int i = 0; i < 4; ++i)
        data[5 + i] = static_cast<uint8_t>(size >> (8 * i));
}

TEST(Lzma, HeaderAndPropertyErrorsUseTheSdkMessages)
{
    TRawEntry entry = ReadEntry("7z_lzma.zip", "text.txt");
    std::exception_ptr failure;

    Bytes noProps = {entry.Data[0], entry.Data[1], 0, 0};
    noProps.insert(noProps.end(), entry.Data.begin() + 9, entry.Data.end());
    Decode(noProps, entry.Params, &failure);
    EXPECT_EQ(MessageOf<EArcLZMAException>(failure), "LZMA \"Unsupported\" Error.");

    Bytes badLcLpPb = entry.Data;
    badLcLpPb[4] = 225; // lc/lp/pb byte beyond 9*5*5
    failure = nullptr;
    Decode(badLcLpPb, entry.Params, &failure);
    EXPECT_EQ(MessageOf<EArcLZMAException>(failure), "LZMA \"Unsupported\" Error.");

    failure = nullptr;
    Decode(Bytes(entry.Data.begin(), entry.Data.begin() + 6), entry.Params, &failure);
    EXPECT_EQ(MessageOf<base::EReadError>(failure), "Stream read error");
}

TEST(Lzma, MissingPropertiesLeaveTheExtractionEmptyWithoutRaising)
{
    Bytes zip = LoadFile(DataDir + "7z_lzma.zip");
    // Zero the properties size field of every item's framing header.
    for (const TRawEntry& entry : ReadEntries("7z_lzma.zip")) {
        auto at = std::search(zip.begin(), zip.end(), entry.Data.begin(), entry.Data.begin() + 9);
        ASSERT_NE(at, zip.end());
        at[2] = 0;
        at[3] = 0;
    }
    base::TMemoryStream archiveStream;
    archiveStream.LoadFromBuffer(zip.data(), zip.size());
    auto archive = TZipArchive::CreateFromStream(archiveStream, u"lzma.zip");
    archive->SetupExtraction();
    archive->Load();
    base::TMemoryStream out;
    EXPECT_NO_THROW(archive->ExtractToStream(u"text.txt", out));
    EXPECT_EQ(out.Size(), 0);
}

TEST(Lzma, StopsAtTheStatedSizeOrQuietlyAtInputEnd)
{
    for (const char* zip : {"7z_lzma.zip", "7z_lzma_noeos.zip"}) {
        SCOPED_TRACE(zip);
        TRawEntry entry = ReadEntry(zip, "text.txt");
        const Bytes expected = *Payload("text.txt");

        TDecodeParams smaller = entry.Params;
        smaller.UncompressedSize = 40000;
        EXPECT_TRUE(Decode(entry.Data, smaller) == Bytes(expected.begin(), expected.begin() + 40000));

        Bytes cut(entry.Data.begin(), entry.Data.begin() + static_cast<long>(entry.Data.size() * 2 / 3));
        const Bytes partial = Decode(cut, entry.Params);
        EXPECT_GT(partial.size(), 0u);
        EXPECT_LT(partial.size(), expected.size());
        EXPECT_TRUE(std::equal(partial.begin(), partial.end(), expected.begin()));
    }
}

TEST(Lzma, EndMarkerBeforeTheStatedSize)
{
    TRawEntry entry = ReadEntry("7z_lzma.zip", "binary.bin");
    TDecodeParams larger = entry.Params;
    larger.UncompressedSize += 100;
    // The marker ends the data together with the input: a quiet stop, the
    // CRC-32 check will report the shortfall.
    EXPECT_EQ(CrcOf(Decode(entry.Data, larger)), entry.Crc);

    // More input after the marker: the decoder cannot go on.
    Bytes padded = entry.Data;
    padded.resize(padded.size() + 64, 0x5A);
    std::exception_ptr failure;
    const Bytes out = Decode(padded, larger, &failure);
    EXPECT_EQ(MessageOf<EArcLZMAException>(failure), "LZMA Data Error.");
    EXPECT_EQ(CrcOf(out), entry.Crc);
}

TEST(Lzma, ClaimedDictionarySizeDoesNotChangeTheResult)
{
    // Claims far beyond the item are served by a buffer of the item's size
    // (an uncapped 4 GiB request trips the fuzzer's allocation limit); a
    // dictionary smaller than the item works as a ring buffer.
    for (uint32_t dictionary : {0xFFFFFFFFu, 0x10000000u, 8192u}) {
        TRawEntry entry = ReadEntry("7z_lzma_noeos.zip", "zeros.bin");
        SetDictionary(entry.Data, dictionary);
        const Bytes out = Decode(entry.Data, entry.Params);
        EXPECT_EQ(out.size(), 70000u);
        EXPECT_EQ(CrcOf(out), entry.Crc);
    }
}

TEST(Lzma, DistancesBeyondASmallDictionaryAreRejected)
{
    // rep40k-like data needs matches reaching ~40 KB back; claiming a 4 KiB
    // dictionary turns such references into data errors, never into reads
    // outside the buffer.
    TRawEntry entry = ReadEntry("7z_lzma.zip", "text.txt");
    SetDictionary(entry.Data, 4096);
    std::exception_ptr failure;
    const Bytes out = Decode(entry.Data, entry.Params, &failure);
    if (failure) {
        EXPECT_EQ(MessageOf<EArcLZMAException>(failure), "LZMA Data Error.");
    } else {
        EXPECT_NE(CrcOf(out), entry.Crc);
    }
}

// --- WavPack --------------------------------------------------------------

TEST(WavPack, UnreadableDataFailsWithTheLibraryText)
{
    TDecodeParams params;
    params.Method = 97;
    std::exception_ptr failure;
    const Bytes out = Decode(Bytes(300, 0x41), params, &failure);
    const std::string message = MessageOf<base::Exception>(failure);
    EXPECT_EQ(message.rfind("WavPack decompression failed: ", 0), 0u) << message;
    EXPECT_GT(message.size(), std::strlen("WavPack decompression failed: "));
    EXPECT_TRUE(out.empty());
}

TEST(WavPack, TruncatedStreamWritesAPrefixAndNeverMore)
{
    TRawEntry entry = ReadEntry("wv_s16_stereo.zip", "sine16s.wav");
    for (size_t keep : {entry.Data.size() / 3, entry.Data.size() - 7}) {
        Bytes cut(entry.Data.begin(), entry.Data.begin() + static_cast<long>(keep));
        std::exception_ptr failure;
        const Bytes out = Decode(cut, entry.Params, &failure);
        EXPECT_LE(out.size(), static_cast<size_t>(entry.Params.UncompressedSize));
        EXPECT_NE(CrcOf(out), entry.Crc);
    }
}

// An input whose reads fail after some bytes: the failure must come out of
// the decoder as it was raised, not vanish inside the library.
class TFailingStream : public base::TMemoryStream {
public:
    explicit TFailingStream(int64_t limit) : FLimit(limit) {}
    int64_t Read(void* buffer, int64_t count) override
    {
        if (Position() + count > FLimit)
            throw base::Exception("source broke");
        return TMemoryStream::Read(buffer, count);
    }

private:
    int64_t FLimit;
};

TEST(WavPack, SourceFailuresPassThroughTheLibrary)
{
    TRawEntry entry = ReadEntry("wv_s16_stereo.zip", "sine16s.wav");
    for (int64_t limit : {int64_t(10), static_cast<int64_t>(entry.Data.size() / 2)}) {
        TFailingStream in(limit);
        in.LoadFromBuffer(entry.Data.data(), entry.Data.size());
        base::TMemoryStream out;
        try {
            WavPackDecode(in, out, entry.Params);
            ADD_FAILURE() << "no failure at " << limit;
        } catch (const base::Exception& e) {
            EXPECT_STREQ(e.what(), "source broke");
        }
    }
}

} // namespace
} // namespace addoscope::zip
