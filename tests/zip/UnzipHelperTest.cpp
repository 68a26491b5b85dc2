#include "zip/methods/Decoders.h"
#include "zip/ZipArchive.h"
#include "zip/ZipErrors.h"

#include "base/Crc32.h"
#include "base/MemoryStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using addoscope::base::TMemoryStream;
using addoscope::zip::TDecodeParams;
using addoscope::zip::UnzipHelperDecode;

namespace {

using Bytes = std::vector<uint8_t>;

const std::string DataDir = std::string(ADDOSCOPE_TEST_DATA) + "/zip/legacy/";

Bytes ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file.good()) << path;
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

uint32_t Le(const Bytes& b, size_t at, int size)
{
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = v << 8 | b.at(at + static_cast<size_t>(i));
    return v;
}

struct TRawEntry {
    TDecodeParams Params;
    uint32_t Crc = 0;
    Bytes Data; // the compressed bytes, cut out through the local header
};

// Walks the central directory (these archives need no zip64) and cuts out
// each entry's compressed data.
std::map<std::string, TRawEntry> ReadEntries(const Bytes& zip)
{
    std::map<std::string, TRawEntry> entries;
    size_t end = zip.size() - 22;
    while (Le(zip, end, 4) != 0x06054B50)
        --end;
    size_t at = Le(zip, end + 16, 4);
    for (uint32_t i = 0, n = Le(zip, end + 10, 2); i < n; ++i) {
        TRawEntry e;
        e.Params.Flags = static_cast<uint16_t>(Le(zip, at + 8, 2));
        e.Params.Method = static_cast<uint8_t>(Le(zip, at + 10, 2));
        e.Crc = Le(zip, at + 16, 4);
        e.Params.CompressedSize = Le(zip, at + 20, 4);
        e.Params.UncompressedSize = Le(zip, at + 24, 4);
        const size_t nameLen = Le(zip, at + 28, 2);
        const std::string name(zip.begin() + static_cast<long>(at + 46), zip.begin() + static_cast<long>(at + 46 + nameLen));
        const size_t local = Le(zip, at + 42, 4);
        const size_t data = local + 30 + Le(zip, local + 26, 2) + Le(zip, local + 28, 2);
        e.Data.assign(zip.begin() + static_cast<long>(data),
                      zip.begin() + static_cast<long>(data + static_cast<size_t>(e.Params.CompressedSize)));
        entries[name] = std::move(e);
        at += 46 + nameLen + Le(zip, at + 30, 2) + Le(zip, at + 32, 2);
    }
    return entries;
}

Bytes Decode(const Bytes& input, const TDecodeParams& params, Bytes prefix = {})
{
    TMemoryStream in;
    in.LoadFromBuffer(input.data(), input.size());
    TMemoryStream out;
    out.LoadFromBuffer(prefix.data(), prefix.size());
    out.Seek(0, addoscope::base::TSeekOrigin::soEnd);
    UnzipHelperDecode(in, out, params);
    return Bytes(out.Memory(), out.Memory() + out.Size());
}

TRawEntry FixtureEntry(const std::string& zip, const std::string& name)
{
    auto entries = ReadEntries(ReadFile(DataDir + zip));
    EXPECT_TRUE(entries.count(name)) << zip << " " << name;
    return entries[name];
}

bool IsPrefix(const Bytes& part, const Bytes& whole)
{
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

struct TManifestLine {
    std::string Zip, Name, Payload;
    int Method = 0;
    uint16_t Flags = 0;
    int64_t Size = 0;
    uint32_t Crc = 0;
};

// The entries of methods 1-6 listed in the fixtures' manifest.
std::vector<TManifestLine> LegacyManifest()
{
    std::vector<TManifestLine> lines;
    std::ifstream manifest(DataDir + "MANIFEST.tsv");
    EXPECT_TRUE(manifest.good());
    std::string line;
    while (std::getline(manifest, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string method, flags, size, crc;
        TManifestLine m;
        std::getline(fields, m.Zip, '\t');
        std::getline(fields, m.Name, '\t');
        std::getline(fields, method, '\t');
        std::getline(fields, flags, '\t');
        std::getline(fields, size, '\t');
        std::getline(fields, crc, '\t');
        std::getline(fields, m.Payload, '\t');
        m.Method = std::stoi(method);
        m.Flags = static_cast<uint16_t>(std::stoi(flags, nullptr, 16));
        m.Size = std::stoll(size);
        m.Crc = static_cast<uint32_t>(std::stoul(crc, nullptr, 16));
        if (m.Method >= 1 && m.Method <= 6)
            lines.push_back(m);
    }
    EXPECT_GE(lines.size(), 60u);
    return lines;
}

void CheckOutput(const Bytes& out, const TManifestLine& m)
{
    EXPECT_EQ(static_cast<int64_t>(out.size()), m.Size);
    EXPECT_EQ(addoscope::base::Crc32(out.data(), out.size()), m.Crc);
    if (m.Payload != "-") {
        EXPECT_TRUE(out == ReadFile(DataDir + m.Payload));
    }
}

std::u16string Utf16(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

// Writes codes LSB-first, as the decoders read them.
class TBitWriter {
public:
    void Put(uint32_t value, int bits)
    {
        for (int i = 0; i < bits; ++i) {
            if (FBit == 0)
                FBytes.push_back(0);
            FBytes.back() |= static_cast<uint8_t>(((value >> i) & 1) << FBit);
            FBit = (FBit + 1) % 8;
        }
    }
    const Bytes& Data() const { return FBytes; }

private:
    Bytes FBytes;
    int FBit = 0;
};

TDecodeParams Params(uint8_t method, int64_t size, uint16_t flags = 0)
{
    TDecodeParams p;
    p.Method = method;
    p.Flags = flags;
    p.UncompressedSize = size;
    return p;
}

} // namespace

// Every shrunk, reduced and imploded entry of the reference archives, made
// by hwzip and by PKZIP 0.8 / 1.10, decodes to its expected bytes.
TEST(UnzipHelper, DecodesEveryReferenceEntry)
{
    std::map<std::string, std::map<std::string, TRawEntry>> archives;
    std::set<std::string> methodsSeen;
    for (const TManifestLine& m : LegacyManifest()) {
        SCOPED_TRACE(m.Zip + " " + m.Name);
        if (!archives.count(m.Zip))
            archives[m.Zip] = ReadEntries(ReadFile(DataDir + m.Zip));
        const TRawEntry& entry = archives[m.Zip].at(m.Name);
        ASSERT_EQ(entry.Params.Method, m.Method);
        ASSERT_EQ(entry.Params.Flags, m.Flags);
        CheckOutput(Decode(entry.Data, entry.Params), m);
        methodsSeen.insert(std::to_string(m.Method) + "/" + std::to_string(m.Flags));
    }
    // Shrink, the four reduce factors and all four implode variants.
    EXPECT_EQ(methodsSeen, (std::set<std::string>{"1/0", "2/0", "3/0", "4/0", "5/0", "6/0", "6/2", "6/4", "6/6"}));
}

// The same entries through the zip reader's extraction, which checks the
// CRC-32 and swallows failures.
TEST(UnzipHelper, ExtractsEveryReferenceEntryThroughTheArchive)
{
    std::string openZip;
    std::unique_ptr<TMemoryStream> file;
    std::unique_ptr<addoscope::zip::TZipArchive> archive;
    for (const TManifestLine& m : LegacyManifest()) {
        SCOPED_TRACE(m.Zip + " " + m.Name);
        if (m.Zip != openZip) {
            archive.reset();
            const Bytes zip = ReadFile(DataDir + m.Zip);
            file = std::make_unique<TMemoryStream>();
            file->LoadFromBuffer(zip.data(), zip.size());
            archive = addoscope::zip::TZipArchive::CreateFromStream(*file, Utf16(m.Zip));
            archive->SetupExtraction();
            archive->Load();
            openZip = m.Zip;
        }
        TMemoryStream out;
        archive->ExtractToStream(Utf16(m.Name), out);
        CheckOutput(Bytes(out.Memory(), out.Memory() + out.Size()), m);
    }

    // A damaged item ends quietly with what was decoded, never more than
    // the item's size.
    Bytes zip = ReadFile(DataDir + "hw_implode_8k3t.zip");
    const TRawEntry text = FixtureEntry("hw_implode_8k3t.zip", "text.txt");
    const auto at = std::search(zip.begin(), zip.end(), text.Data.begin(), text.Data.end());
    ASSERT_NE(at, zip.end());
    for (size_t i = 600; i < text.Data.size(); i += 97)
        at[static_cast<long>(i)] ^= 0x5A;
    TMemoryStream damaged;
    damaged.LoadFromBuffer(zip.data(), zip.size());
    auto broken = addoscope::zip::TZipArchive::CreateFromStream(damaged, u"damaged.zip");
    broken->SetupExtraction();
    broken->Load();
    TMemoryStream out;
    EXPECT_NO_THROW(broken->ExtractToStream(u"text.txt", out));
    EXPECT_LE(out.Size(), 46064);
    const Bytes expected = ReadFile(DataDir + "payloads/text.txt");
    EXPECT_NE(Bytes(out.Memory(), out.Memory() + out.Size()), expected);
}

// Output lands after what the target held, stops at the expected size, and
// a truncated input ends the decode with a prefix of the data.
TEST(UnzipHelper, StopsAtSizeOrEndOfInput)
{
    const Bytes expected = ReadFile(DataDir + "payloads/text.txt");
    for (const char* zip : {"hw_shrink.zip", "hw_reduce2.zip", "hw_implode_8k3t.zip", "hw_implode_4k2t.zip"}) {
        SCOPED_TRACE(zip);
        const TRawEntry e = FixtureEntry(zip, "text.txt");

        const Bytes withPrefix = Decode(e.Data, e.Params, Bytes{'a', 'b'});
        ASSERT_EQ(withPrefix.size(), expected.size() + 2);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), withPrefix.begin() + 2));

        for (int64_t size : {int64_t{1}, int64_t{40000}, int64_t{45999}}) {
            TDecodeParams p = e.Params;
            p.UncompressedSize = size;
            EXPECT_EQ(Decode(e.Data, p), Bytes(expected.begin(), expected.begin() + size));
        }

        // More expected than the input holds: the whole text, perhaps
        // followed by what the final byte's padding decodes to.
        TDecodeParams larger = e.Params;
        larger.UncompressedSize = 1 << 30;
        const Bytes all = Decode(e.Data, larger);
        EXPECT_TRUE(IsPrefix(expected, all));
        EXPECT_LT(all.size(), expected.size() + 1024);

        for (size_t cut : {size_t{0}, size_t{1}, size_t{100}, e.Data.size() / 2}) {
            const Bytes part(e.Data.begin(), e.Data.begin() + static_cast<long>(cut));
            Bytes out;
            try {
                out = Decode(part, e.Params);
            } catch (const addoscope::zip::EZipException&) {
                continue; // a code cut in half may read as corrupt
            }
            EXPECT_TRUE(IsPrefix(out, expected)) << "cut at " << cut;
            EXPECT_LT(out.size(), expected.size());
        }
    }
}

TEST(UnzipHelper, RefusesOtherMethods)
{
    for (uint8_t method : {0, 7, 8}) {
        EXPECT_THROW(Decode(Bytes(10, 0), Params(method, 10)), addoscope::zip::EZipInvalidMethod);
    }
}

// Shrink codes are 9 bits until 256,1 widens them; a width above 13 bits,
// a code never defined and an unknown control code are corrupt, and the
// bytes decoded before the fault reach the target.
TEST(UnzipHelper, ShrinkControlCodesAndCorruption)
{
    {
        TBitWriter w;
        w.Put('A', 9);
        w.Put(256, 9), w.Put(1, 9);
        w.Put('B', 10);
        w.Put(257, 10); // "AB", defined by the code before
        w.Put(259, 10); // the code being defined now: "AB" + 'A'
        EXPECT_EQ(Decode(w.Data(), Params(1, 7)), (Bytes{'A', 'B', 'A', 'B', 'A', 'B', 'A'}));
    }
    auto decodeAfterFault = [](const TBitWriter& w, int size) {
        TMemoryStream in;
        in.LoadFromBuffer(w.Data().data(), w.Data().size());
        TMemoryStream out;
        EXPECT_THROW(UnzipHelperDecode(in, out, Params(1, size)), addoscope::zip::EZipException);
        return Bytes(out.Memory(), out.Memory() + out.Size());
    };
    {
        TBitWriter w;
        w.Put('x', 9);
        int bits = 9;
        for (int i = 0; i < 5; ++i)
            w.Put(256, bits), w.Put(1, bits), ++bits;
        w.Put('y', bits);
        EXPECT_EQ(decodeAfterFault(w, 100), Bytes{'x'});
    }
    {
        TBitWriter w;
        w.Put('x', 9), w.Put('y', 9), w.Put(300, 9);
        EXPECT_EQ(decodeAfterFault(w, 100), (Bytes{'x', 'y'}));
    }
    {
        TBitWriter w;
        w.Put('x', 9), w.Put(256, 9), w.Put(3, 9), w.Put('y', 9);
        EXPECT_EQ(decodeAfterFault(w, 100), Bytes{'x'});
    }
    {
        // "ab" (257) is extended by "abc" (259) and survives a partial
        // clear; the leaves "ba" (258) and "abc" are freed, and the next new
        // string, "cd", takes the lowest free code, 258.
        TBitWriter w;
        w.Put('a', 9), w.Put('b', 9), w.Put(257, 9), w.Put('c', 9);
        w.Put(256, 9), w.Put(2, 9);
        w.Put('d', 9), w.Put(257, 9), w.Put(258, 9);
        const Bytes out = Decode(w.Data(), Params(1, 10));
        EXPECT_EQ(std::string(out.begin(), out.end()), "ababcdabcd");
        w.Put(262, 9); // beyond the next free code (261)
        EXPECT_EQ(decodeAfterFault(w, 100).size(), 10u);
    }
    {
        // A code whose extensions were all freed is a leaf at the next
        // clear: two clears free "abc" and then "ab", so "cd" takes 257.
        TBitWriter w;
        w.Put('a', 9), w.Put('b', 9), w.Put(257, 9), w.Put('c', 9);
        w.Put(256, 9), w.Put(2, 9), w.Put(256, 9), w.Put(2, 9);
        w.Put('d', 9), w.Put(257, 9);
        const Bytes out = Decode(w.Data(), Params(1, 8));
        EXPECT_EQ(std::string(out.begin(), out.end()), "ababcdcd");
    }
}

// Reduce: the escape byte followed by 0 stands for itself, and a back
// reference before the start of the output yields zero bytes.
TEST(UnzipHelper, ReduceEscapesAndEarlyReferences)
{
    for (uint8_t method = 2; method <= 5; ++method) {
        const int factor = method - 1;
        TBitWriter w;
        for (int x = 0; x < 256; ++x)
            w.Put(0, 6); // empty follower sets: every byte is 8 raw bits
        w.Put('A', 8);
        w.Put(144, 8), w.Put(0, 8);
        // Escape, length 4 (+3), distance high part 0, low byte 9: ten
        // back from position 2, mostly before the start.
        w.Put(144, 8), w.Put(4, 8), w.Put(9, 8);
        // Distance 9 from position 9, length 2 + 3: the start again.
        w.Put(144, 8), w.Put(2, 8), w.Put(8, 8);
        w.Put('Z', 8);
        const Bytes expected{'A', 144, 0, 0, 0, 0, 0, 0, 0, 'A', 144, 0, 0, 0, 'Z'};
        SCOPED_TRACE(factor);
        EXPECT_EQ(Decode(w.Data(), Params(method, static_cast<int64_t>(expected.size()))), expected);
    }
}

// Implode trees that describe too many or too few values, or more codes
// than the code space holds, are corrupt.
TEST(UnzipHelper, ImplodeRejectsMalformedTrees)
{
    auto tree = [](TBitWriter& w, int bytes, int lengthLess1) {
        w.Put(static_cast<uint32_t>(bytes - 1), 8);
        for (int i = 0; i < bytes; ++i)
            w.Put(static_cast<uint32_t>(0xF0 | lengthLess1), 8); // 16 values each
    };
    auto decode = [](const TBitWriter& w) { return Decode(w.Data(), Params(6, 100)); };
    {
        // 64 lengths of 6 bits each: a complete tree in which codes count
        // up from the highest value, so value 63 has code 000000 and value
        // 0 has 111111. Literal 'k' (flag 1, then 8 raw bits), then a match:
        // flag 0, low distance bits 0, high distance 0, length code 63 and
        // 8 more length bits; length 63 + 5 + 2 from distance 1.
        TBitWriter w;
        tree(w, 4, 5), tree(w, 4, 5);
        w.Put(1, 1), w.Put('k', 8);
        w.Put(0, 1), w.Put(0, 6), w.Put(0x3F, 6), w.Put(0, 6), w.Put(5, 8);
        EXPECT_EQ(decode(w), Bytes(71, 'k'));
    }
    for (int bytes : {3, 5}) {
        TBitWriter w;
        tree(w, bytes, 5), tree(w, 4, 5);
        w.Put(0, 32);
        EXPECT_THROW(decode(w), addoscope::zip::EZipException) << bytes << " bytes";
    }
    TBitWriter w;
    tree(w, 4, 4), tree(w, 4, 5); // 64 codes of 5 bits
    w.Put(0, 32);
    EXPECT_THROW(decode(w), addoscope::zip::EZipException);
}
