#include "zip/ZipArchive.h"

#include "DeflateTestEncoder.h"
#include "ZipTestWriter.h"
#include "base/Budget.h"
#include "base/Crc32.h"
#include "base/FileStream.h"
#include "base/MemoryStream.h"
#include "base/Text.h"
#include "zip/UnzipStreams.h"
#include "zip/ZipErrors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

using namespace addoscope;
using namespace addoscope::zip;
using namespace addoscope::ziptest;

namespace {

const std::string DataDir = std::string(ADDOSCOPE_TEST_DATA) + "/zip/methods/";

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Bytes(base::TMemoryStream& stream)
{
    return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

struct TFailure {
    int Calls = 0;
    TErrorClass Class = TErrorClass::ecOther;
    int32_t Code = -1;
};

struct TArchiveOver {
    explicit TArchiveOver(const std::string& bytes, bool withHandler = true)
    {
        Stream.LoadFromBuffer(bytes.data(), bytes.size());
        Archive = TZipArchive::CreateFromStream(Stream, u"test.zip");
        Archive->SetupExtraction();
        if (withHandler)
            Archive->SetOnProcessItemFailure([this](TArchiveItem&, TProcessType, TErrorClass c, int32_t code) {
                ++Failure.Calls;
                Failure.Class = c;
                Failure.Code = code;
            });
        Archive->Load();
    }
    std::string Extract(const std::u16string& name)
    {
        base::TMemoryStream target;
        Archive->ExtractToStream(name, target);
        return Bytes(target);
    }
    base::TMemoryStream Stream;
    std::unique_ptr<TZipArchive> Archive;
    TFailure Failure;
};

struct TManifestEntry {
    std::string Zip, Name, Payload;
    int Method;
    uint16_t Flags;
    uint64_t Size;
    uint32_t Crc;
};

std::vector<TManifestEntry> Manifest()
{
    std::vector<TManifestEntry> entries;
    std::istringstream in(ReadFile(DataDir + "MANIFEST.tsv"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> f;
        std::istringstream cols(line);
        std::string col;
        while (std::getline(cols, col, '\t'))
            f.push_back(col);
        entries.push_back({f[0], f[1], f[8], std::stoi(f[2]), static_cast<uint16_t>(std::stoul(f[3], nullptr, 16)),
                           std::stoull(f[4]), static_cast<uint32_t>(std::stoul(f[5], nullptr, 16))});
    }
    return entries;
}

} // namespace

// Every entry of the reference archives: stored, Deflate and Deflate64 items
// extract byte for byte; encrypted ones give nothing without a password and
// the right bytes with it; every other method fails quietly or succeeds.
TEST(ExtractTest, ReferenceArchives)
{
    const auto manifest = Manifest();
    ASSERT_GT(manifest.size(), 50u);
    int checked = 0;
    for (const auto& e : manifest) {
        SCOPED_TRACE(e.Zip + " " + e.Name);
        const std::string zipBytes = ReadFile(DataDir + e.Zip);
        ASSERT_FALSE(zipBytes.empty());
        TArchiveOver a(zipBytes);
        const std::u16string name = base::Utf8ToUtf16(e.Name);
        const int index = a.Archive->FindFile(name);
        ASSERT_GE(index, 0);
        EXPECT_EQ(a.Archive->Item(index).GetUncompressedSize(), e.Size);
        EXPECT_EQ(a.Archive->Item(index).GetCompressionMethod(), e.Method);
        const std::string out = a.Extract(name);

        std::string expected;
        bool known = true;
        if (e.Payload.rfind("payloads/", 0) == 0)
            expected = ReadFile(DataDir + e.Payload); // only some payloads were copied
        else if (e.Payload.rfind("zeros:", 0) == 0)
            expected.assign(std::stoull(e.Payload.substr(6)), '\0');
        else if (e.Payload == "(directory)")
            expected.clear();
        else
            known = false;
        if (expected.size() != e.Size)
            known = false;
        auto matches = [&](const std::string& bytes) {
            if (known)
                return bytes == expected;
            return bytes.size() == e.Size && base::Crc32(bytes.data(), bytes.size()) == e.Crc;
        };

        if (e.Flags & 1) {
            EXPECT_EQ(out, "");
            if (e.Size > 0) {
                EXPECT_EQ(a.Failure.Code, EZipInvalidPassword::Code_);
                TArchiveOver withPassword(zipBytes);
                withPassword.Archive->SetPassword(u"secret");
                EXPECT_TRUE(matches(withPassword.Extract(name)));
                EXPECT_EQ(withPassword.Failure.Calls, 0);
            }
        } else if (e.Method == 0 || e.Method == 8 || e.Method == 9) {
            EXPECT_TRUE(matches(out)) << out.size();
            EXPECT_EQ(a.Failure.Calls, 0);
            ++checked;
        } else {
            // Decoded by another unit: either complete and right, or a quiet
            // failure reported to the handler.
            if (a.Failure.Calls == 0) {
                EXPECT_TRUE(matches(out));
            }
        }
    }
    EXPECT_GT(checked, 40);
}

TEST(ExtractTest, WrongPasswordAndAskingForOne)
{
    const std::string zipBytes = ReadFile(DataDir + "7z_crypt_deflate.zip");
    {
        TArchiveOver a(zipBytes);
        a.Archive->SetPassword(u"wrong");
        EXPECT_EQ(a.Extract(u"text.txt"), "");
        EXPECT_EQ(a.Failure.Code, EZipInvalidPassword::Code_);
    }
    {
        // The handler is asked until it gives the right one.
        TArchiveOver a(zipBytes);
        int asked = 0;
        a.Archive->SetOnNeedPassword([&](std::u16string& password) {
            password = ++asked < 3 ? u"nope" : u"secret";
        });
        EXPECT_EQ(a.Extract(u"text.txt"), ReadFile(DataDir + "payloads/text.txt"));
        EXPECT_EQ(asked, 3);
    }
    {
        // An empty answer aborts.
        TArchiveOver a(zipBytes);
        a.Archive->SetPassword(u"wrong");
        a.Archive->SetOnNeedPassword([](std::u16string& password) { password.clear(); });
        EXPECT_EQ(a.Extract(u"text.txt"), "");
        EXPECT_EQ(a.Failure.Code, EArcUserAbort::Code_);
    }
}

TEST(ExtractTest, HeaderFieldsThatDecideExtraction)
{
    TDeflateTestEncoder enc;
    enc.FixedBlock({TToken {'d', 0, 0}, TToken {-1, 5, 1}}, true);
    const std::string deflated = enc.Finish();
    TTestZip zip;
    zip.Entries = {
        {.Name = "v3f", .Data = "ok", .VersionNeeded = 0x003F},
        {.Name = "v40", .Data = "no", .VersionNeeded = 0x0040},
        {.Name = "v143f", .Data = "ok", .VersionNeeded = 0x143F},
        {.Name = "m108", .Data = deflated, .Content = "dddddd", .Method = 0x0108},
        {.Name = "m7", .Data = "tokenized", .Content = "tokenized", .Method = 7},
        {.Name = "m200", .Data = "x", .Content = "x", .Method = 200},
        {.Name = "empty-bad-crc", .Data = "", .Crc = 0x12345678},
        {.Name = "empty-bad-local", .Data = "", .LocalSignature = 0x11111111},
        {.Name = "bad-local", .Data = "data", .LocalSignature = 0x11111111},
        {.Name = "bad-offset", .Data = "data", .RelativeOffset = 0x7FFFFFF0},
    };
    TArchiveOver a(zip.Build());
    auto run = [&](const char16_t* name, const std::string& expected, int32_t code) {
        a.Failure = {};
        EXPECT_EQ(a.Extract(name), expected) << base::Utf16ToUtf8(name);
        EXPECT_EQ(a.Failure.Code, code) << base::Utf16ToUtf8(name);
    };
    run(u"v3f", "ok", -1);
    run(u"v40", "", EZipVersion::Code_);
    run(u"v143f", "ok", -1);
    run(u"m108", "dddddd", -1);
    run(u"m7", "", EZipInvalidMethod::Code_);
    run(u"m200", "", EZipInvalidMethod::Code_);
    run(u"empty-bad-crc", "", -1);
    run(u"empty-bad-local", "", EZipInvalid::Code_);
    run(u"bad-local", "", EZipInvalid::Code_);
    run(u"bad-offset", "", EZipInvalid::Code_);
}

TEST(ExtractTest, FailuresKeepWhatWasWritten)
{
    TTestZip zip;
    zip.Entries = {
        {.Name = "short", .Data = "12345", .UncompressedSize = 10},
        {.Name = "crc", .Data = "content", .Crc = 1},
    };
    {
        TArchiveOver a(zip.Build(), false);
        // A stored item shorter than its size: read error, nothing written.
        EXPECT_EQ(a.Extract(u"short"), "");
        // CRC mismatch without a handler: the whole output stays.
        EXPECT_EQ(a.Extract(u"crc"), "content");
    }
    {
        TArchiveOver a(zip.Build());
        EXPECT_EQ(a.Extract(u"short"), "");
        EXPECT_EQ(a.Failure.Class, TErrorClass::ecFilerError);
        EXPECT_EQ(a.Extract(u"crc"), "content");
        EXPECT_EQ(a.Failure.Class, TErrorClass::ecArchive);
        EXPECT_EQ(a.Failure.Code, EZipBadCRC::Code_);
    }
    {
        // Output is appended to what the target holds; a corrupt Deflate
        // item leaves it as it was (nothing reached a slide).
        TTestZip bad;
        bad.Entries = {{.Name = "bad", .Data = "\xFF\xFF\xFF", .Content = "whatever", .Method = 8}};
        TArchiveOver a(bad.Build());
        base::TMemoryStream target;
        target.WriteBuffer("keep", 4);
        a.Archive->ExtractToStream(u"bad", target);
        EXPECT_EQ(Bytes(target), "keep");
        EXPECT_EQ(a.Failure.Class, TErrorClass::ecOther);
    }
    {
        // Without the extraction procedure nothing is extracted.
        TTestZip one;
        one.Entries = {{.Name = "a", .Data = "abc"}};
        const std::string bytes = one.Build();
        base::TMemoryStream stream;
        stream.LoadFromBuffer(bytes.data(), bytes.size());
        auto archive = TZipArchive::CreateFromStream(stream, u"");
        int32_t code = 0;
        archive->SetOnProcessItemFailure([&](TArchiveItem&, TProcessType, TErrorClass, int32_t c) { code = c; });
        archive->Load();
        base::TMemoryStream target;
        archive->ExtractToStream(u"a", target);
        EXPECT_EQ(target.Size(), 0);
        EXPECT_EQ(code, EZipNoExtraction::Code_);
    }
}

TEST(ExtractTest, SubsetAndOutputStreams)
{
    base::TMemoryStream archive;
    archive.WriteBuffer("0123456789", 10);
    archive.Seek(2, base::TSeekOrigin::soBeginning);
    TUnzipSubsetStream subset(archive, 5);
    char buffer[16] = {};
    EXPECT_EQ(subset.Read(buffer, 16), 5);
    EXPECT_EQ(std::string(buffer, 5), "23456");
    EXPECT_EQ(subset.Read(buffer, 16), 0);
    EXPECT_EQ(subset.Seek(-100, base::TSeekOrigin::soCurrent), 0);
    EXPECT_EQ(subset.Seek(100, base::TSeekOrigin::soBeginning), 5);
    EXPECT_EQ(subset.Seek(-2, base::TSeekOrigin::soEnd), 3);
    EXPECT_EQ(subset.Read(buffer, 16), 2);
    EXPECT_EQ(std::string(buffer, 2), "56");
    EXPECT_THROW(subset.Write("x", 1), EArcException);
    // A size no stream can hold does not overflow the window's end.
    TUnzipSubsetStream huge(archive, ~uint64_t(0));
    EXPECT_EQ(huge.Seek(0, base::TSeekOrigin::soCurrent), 0);

    base::TMemoryStream target;
    std::vector<int> reported;
    TUnzipOutputStream out(target, 10, [&](uint8_t percent, bool& abort) {
        reported.push_back(percent);
        abort = percent >= 100;
    });
    out.WriteBuffer("abcd", 4);
    out.WriteBuffer("", 0);
    EXPECT_THROW(out.Write("efghij", 6), EArcUserAbort);
    EXPECT_EQ(reported, (std::vector<int> {40, 100}));
    EXPECT_EQ(out.CRC32(), base::Crc32("abcdefghij", 10));
    EXPECT_THROW(out.Read(buffer, 1), EArcException);
}

namespace {

// An archive in memory that records how far into it any read reached.
class TReachStream : public base::TStream {
public:
    explicit TReachStream(std::string bytes) : FBytes(std::move(bytes)) {}
    int64_t Read(void* buffer, int64_t count) override
    {
        const int64_t n = std::clamp<int64_t>(count, 0, static_cast<int64_t>(FBytes.size()) - FPos);
        std::memcpy(buffer, FBytes.data() + FPos, static_cast<size_t>(n));
        FPos += n;
        Reach = std::max(Reach, FPos);
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, base::TSeekOrigin origin) override
    {
        const int64_t from = origin == base::TSeekOrigin::soBeginning ? 0
                             : origin == base::TSeekOrigin::soCurrent ? FPos
                                                                      : static_cast<int64_t>(FBytes.size());
        FPos = std::clamp<int64_t>(from + offset, 0, static_cast<int64_t>(FBytes.size()));
        return FPos;
    }
    int64_t Reach = 0;

private:
    std::string FBytes;
    int64_t FPos = 0;
};

} // namespace

// With a compressed read limit, every method's item ends where the limit
// says: no read goes further into the item's data, the output is what the
// decoder made of the bytes before (a prefix of the full output), and a
// limit at or above the item's size changes nothing.
TEST(ExtractTest, CompressedReadLimitHoldsForEveryMethod)
{
    const std::string data = std::string(ADDOSCOPE_TEST_DATA) + "/zip/";
    std::set<int> methods;
    for (const char* zip : {"methods/iz_store.zip", "methods/iz_deflate9.zip", "methods/7z_deflate64.zip",
                            "legacy/hw_shrink.zip", "legacy/hw_reduce1.zip", "legacy/hw_reduce4.zip",
                            "legacy/hw_implode_4k2t.zip", "legacy/hw_implode_8k3t.zip", "libs/7z_bzip2.zip",
                            "libs/7z_lzma.zip", "libs/wv_s16_stereo.zip", "ppmd/7z_ppmd_o6_mem16m.zip"}) {
        SCOPED_TRACE(zip);
        const std::string bytes = ReadFile(data + zip);
        ASSERT_FALSE(bytes.empty());
        const auto extract = [&](int64_t limit, int64_t& dataStart, int64_t& reach, uint8_t& method,
                                 int64_t& compressed) {
            TReachStream stream(bytes);
            auto archive = TZipArchive::CreateFromStream(stream, u"limit.zip");
            archive->SetupExtraction();
            archive->Load();
            int largest = 0;
            for (int i = 1; i < archive->Count(); ++i)
                if (archive->Item(i).GetCompressedSize() > archive->Item(largest).GetCompressedSize())
                    largest = i;
            const TZipItem& item = archive->Item(largest);
            const auto* local = reinterpret_cast<const uint8_t*>(bytes.data()) + item.GetRelativeOffset();
            dataStart = static_cast<int64_t>(item.GetRelativeOffset()) + 30 + GetLE16(local + 26) + GetLE16(local + 28);
            method = item.GetCompressionMethod();
            compressed = static_cast<int64_t>(item.GetCompressedSize());
            archive->SetCompressedReadLimit(limit);
            base::TMemoryStream target;
            stream.Reach = 0;
            archive->ExtractToStream(item.GetFileName(), target);
            reach = stream.Reach;
            return Bytes(target);
        };
        int64_t start = 0, reach = 0, compressed = 0;
        uint8_t method = 0;
        const std::string full = extract(0, start, reach, method, compressed);
        methods.insert(method);
        ASSERT_GT(full.size(), 1000u);
        EXPECT_EQ(extract(compressed, start, reach, method, compressed), full);
        EXPECT_EQ(extract(compressed + 1000, start, reach, method, compressed), full);
        for (int64_t limit : {compressed / 2, compressed / 10, int64_t(7)}) {
            const std::string part = extract(limit, start, reach, method, compressed);
            EXPECT_LE(reach, start + limit) << limit;
            EXPECT_LT(part.size(), full.size()) << limit;
            EXPECT_EQ(full.compare(0, part.size(), part), 0) << limit;
        }
        EXPECT_GE(TZipArchive::CompressedReadBound(method, static_cast<int64_t>(full.size())), compressed);
    }
    EXPECT_EQ(methods, (std::set<int> {0, 1, 2, 5, 6, 8, 9, 12, 14, 97, 98}));
    EXPECT_EQ(TZipArchive::CompressedReadBound(0, 4 << 20), (4 << 20) + 65536);
    EXPECT_EQ(TZipArchive::CompressedReadBound(3, 4 << 20), (9 << 20) + 65536);
}

// What the decoders hold while they work (windows, the libraries' state,
// the PPMd model as it grows) is counted against the reading's budget, and
// a budget too small for it ends the extraction, quietly, spent for good.
TEST(ExtractTest, DecoderMemoryIsCountedAgainstTheBudget)
{
    const std::string data = std::string(ADDOSCOPE_TEST_DATA) + "/zip/";
    struct TCase {
        const char* Zip;
        int64_t AtLeast; // bytes a decode of the largest item must count
    };
    for (const TCase& c : {TCase {"methods/iz_deflate9.zip", 80000}, TCase {"methods/7z_deflate64.zip", 160000},
                           TCase {"libs/7z_bzip2.zip", 1 << 20}, TCase {"libs/7z_lzma.zip", 16000},
                           TCase {"ppmd/7z_ppmd_o6_mem16m.zip", 100000}, TCase {"legacy/hw_implode_8k3t.zip", 40000}}) {
        SCOPED_TRACE(c.Zip);
        TArchiveOver a(ReadFile(data + c.Zip), false);
        int largest = 0;
        for (int i = 1; i < a.Archive->Count(); ++i)
            if (a.Archive->Item(i).GetCompressedSize() > a.Archive->Item(largest).GetCompressedSize())
                largest = i;
        const std::u16string name = a.Archive->Item(largest).GetFileName();
        std::string full;
        {
            base::TReadingBudget budget(int64_t(60) * 1000000000, int64_t(1) << 30);
            full = a.Extract(name);
            EXPECT_GE(budget.MemoryPeak() - static_cast<int64_t>(full.size()), c.AtLeast);
            EXPECT_FALSE(budget.Exceeded());
        }
        base::TReadingBudget tight(int64_t(60) * 1000000000, c.AtLeast / 2);
        EXPECT_LT(a.Extract(name).size(), full.size());
        EXPECT_TRUE(tight.Exceeded());
    }
}
