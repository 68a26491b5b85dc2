// PPMd (method 98) decoding against streams written by 7-Zip and
// python-ppmd, on its own and through the archive's extraction.
#include "ZipTestWriter.h"
#include "base/Crc32.h"
#include "base/MemoryStream.h"
#include "base/Text.h"
#include "zip/methods/Decoders.h"
#include "zip/methods/PpmdModel.h"
#include "zip/methods/PpmdRangeDecoder.h"
#include "zip/ZipArchive.h"
#include "zip/ZipErrors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace addoscope;

namespace {

const std::string Dir = std::string(ADDOSCOPE_TEST_DATA) + "/zip/ppmd/";

std::vector<uint8_t> ReadFile(const std::string& name)
{
    std::ifstream f(Dir + name, std::ios::binary);
    EXPECT_TRUE(f.good()) << name;
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), {});
}

uint32_t Get16(const std::vector<uint8_t>& d, size_t at) { return d[at] | d[at + 1] << 8; }
uint32_t Get32(const std::vector<uint8_t>& d, size_t at) { return Get16(d, at) | Get16(d, at + 2) << 16; }

struct TRawItem {
    std::vector<uint8_t> Data;
    uint32_t Crc = 0;
    uint32_t Size = 0;
};

// Cuts an item's compressed bytes out of a zip through its central record.
TRawItem RawItem(const std::vector<uint8_t>& zip, const std::string& name)
{
    size_t eocd = zip.size() - 22;
    while (Get32(zip, eocd) != 0x06054b50)
        eocd--;
    size_t p = Get32(zip, eocd + 16);
    for (uint32_t n = Get16(zip, eocd + 10); n > 0; n--) {
        uint32_t nameLen = Get16(zip, p + 28);
        std::string itemName(zip.begin() + p + 46, zip.begin() + p + 46 + nameLen);
        if (itemName == name) {
            EXPECT_EQ(Get16(zip, p + 10), 98u);
            size_t local = Get32(zip, p + 42);
            size_t data = local + 30 + Get16(zip, local + 26) + Get16(zip, local + 28);
            TRawItem item;
            item.Data.assign(zip.begin() + data, zip.begin() + data + Get32(zip, p + 20));
            item.Crc = Get32(zip, p + 16);
            item.Size = Get32(zip, p + 24);
            return item;
        }
        p += 46 + nameLen + Get16(zip, p + 30) + Get16(zip, p + 32);
    }
    ADD_FAILURE() << "no item " << name;
    return {};
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& raw)
{
    base::TMemoryStream in, out;
    in.LoadFromBuffer(raw.data(), raw.size());
    zip::PpmdDecode(in, out, zip::TDecodeParams{});
    return std::vector<uint8_t>(out.Memory(), out.Memory() + out.Size());
}

// One item extracted through the archive, with what its failure handler saw.
struct TExtraction {
    std::vector<uint8_t> Out;
    int Failures = 0;
    zip::TErrorClass Class = zip::TErrorClass::ecOther;
    int32_t Code = 0;
};

TExtraction Extract(const std::string& zipBytes, const std::u16string& name)
{
    base::TMemoryStream stream;
    stream.LoadFromBuffer(zipBytes.data(), zipBytes.size());
    auto archive = zip::TZipArchive::CreateFromStream(stream, u"ppmd.zip");
    archive->SetupExtraction();
    TExtraction result;
    archive->SetOnProcessItemFailure([&](zip::TArchiveItem&, zip::TProcessType, zip::TErrorClass c, int32_t code) {
        ++result.Failures;
        result.Class = c;
        result.Code = code;
    });
    archive->Load();
    base::TMemoryStream out;
    archive->ExtractToStream(name, out);
    result.Out.assign(out.Memory(), out.Memory() + out.Size());
    return result;
}

std::string AsString(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::vector<uint8_t> Mixed()
{
    std::vector<uint8_t> text = ReadFile("text.txt"), binary = ReadFile("binary.bin"), all;
    for (int i = 0; i < 3; i++) {
        all.insert(all.end(), text.begin(), text.end());
        all.insert(all.end(), binary.begin(), binary.end());
    }
    return all;
}

} // namespace

// Orders 6 and 16, 16 MiB and 1 MiB, text, noise and a long run of zeros,
// decoded on their own and extracted through the archive (which checks the
// size and CRC-32 the zip records).
TEST(PpmdTest, DecodesWhat7ZipWrites)
{
    struct {
        const char* Zip;
        const char* Item;
        const char* Payload;
    } cases[] = {
        {"7z_ppmd_o6_mem16m.zip", "text.txt", "text.txt"},
        {"7z_ppmd_o6_mem16m.zip", "binary.bin", "binary.bin"},
        {"7z_ppmd_o6_mem16m.zip", "zeros-1100000.bin", nullptr},
        {"7z_ppmd_o16_mem1m.zip", "text.txt", "text.txt"},
        {"7z_ppmd_o16_mem1m.zip", "binary.bin", "binary.bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Zip) + " " + c.Item);
        TRawItem item = RawItem(ReadFile(c.Zip), c.Item);
        std::vector<uint8_t> out = Decode(item.Data);
        EXPECT_EQ(out.size(), item.Size);
        EXPECT_EQ(base::Crc32(out.data(), out.size()), item.Crc);
        std::vector<uint8_t> expected = c.Payload ? ReadFile(c.Payload) : std::vector<uint8_t>(1100000, 0);
        EXPECT_TRUE(out == expected);

        TExtraction extracted = Extract(AsString(ReadFile(c.Zip)), base::Utf8ToUtf16(c.Item));
        EXPECT_EQ(extracted.Failures, 0);
        EXPECT_TRUE(extracted.Out == expected);
    }
}

// Damaged items fail the extraction through the handler: a flipped byte
// (the CRC-32 check or the data running out catches it), data cut short,
// a parameter word no encoder writes.
TEST(PpmdTest, DamagedItemsFailTheExtraction)
{
    const TRawItem item = RawItem(ReadFile("7z_ppmd_o6_mem16m.zip"), "text.txt");
    const std::vector<uint8_t> text = ReadFile("text.txt");
    const std::string raw = AsString(item.Data);
    auto entry = [&](const char* name, std::string data) {
        return ziptest::TTestEntry{.Name = name, .Data = std::move(data), .Content = AsString(text), .Method = 98};
    };
    ziptest::TTestZip zip;
    for (size_t at : {size_t(3), size_t(40), raw.size() / 3, raw.size() - 20}) {
        std::string bad = raw;
        bad[at] = static_cast<char>(bad[at] ^ 0x21);
        zip.Entries.push_back(entry(("flip" + std::to_string(at)).c_str(), bad));
    }
    zip.Entries.push_back(entry("short", raw.substr(0, raw.size() / 2)));
    zip.Entries.push_back(entry("order1", std::string(2, '\0') + raw.substr(2)));
    const std::string bytes = zip.Build();

    for (const auto& e : zip.Entries) {
        SCOPED_TRACE(e.Name);
        TExtraction r = Extract(bytes, base::Utf8ToUtf16(e.Name));
        EXPECT_EQ(r.Failures, 1);
        EXPECT_EQ(r.Class, zip::TErrorClass::ecArchive);
        EXPECT_FALSE(r.Out == text);
        if (e.Name == "short") {
            EXPECT_EQ(r.Code, zip::EArcReadError::Code_);
            EXPECT_GT(r.Out.size(), 10000u);
            EXPECT_TRUE(std::equal(r.Out.begin(), r.Out.end(), text.begin()));
        } else if (e.Name == "order1") {
            EXPECT_EQ(r.Code, zip::EZipInvalidMethod::Code_);
            EXPECT_TRUE(r.Out.empty());
        } else {
            EXPECT_TRUE(r.Code == zip::EZipBadCRC::Code_ || r.Code == zip::EArcReadError::Code_) << r.Code;
        }
    }
}

// 220 KiB of text and noise through a 1 MiB model fill the memory several
// times: the model restarts, or is cut down, and must stay in step with
// the encoder. Restoration method 2 (a freeze by name) is written as a cut.
TEST(PpmdTest, DecodesAcrossMemoryExhaustion)
{
    const std::vector<uint8_t> expected = Mixed();
    for (const char* name :
         {"mixed_o16_m1_r0.ppmd", "mixed_o16_m1_r1.ppmd", "mixed_o2_m1_r1.ppmd", "mixed_o8_m1_r2.ppmd"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> out = Decode(ReadFile(name));
        ASSERT_EQ(out.size(), expected.size());
        EXPECT_TRUE(out == expected);
    }

    // Read with a restart instead, the same stream goes wrong: it does run
    // out of memory, so the restoration method is what it tests.
    std::vector<uint8_t> restart = ReadFile("mixed_o8_m1_r2.ppmd");
    restart[1] &= 0x0F;
    std::vector<uint8_t> out;
    try {
        out = Decode(restart);
    } catch (const zip::EArcReadError&) {
    }
    EXPECT_FALSE(out == expected);
}

// A stream may declare up to 256 MiB of model memory; at most 128 MiB are
// set aside. A small item never fills its model, so declaring more decodes
// the same bytes; a model given less than declared stops where it would run
// out instead of restoring itself differently from the encoder.
TEST(PpmdTest, ModelMemoryAboveWhatIsSetAsideDecodesTheSameOrStops)
{
    TRawItem item = RawItem(ReadFile("7z_ppmd_o6_mem16m.zip"), "text.txt");
    const std::vector<uint8_t> expected = Decode(item.Data);
    std::vector<uint8_t> declared256 = item.Data;
    declared256[0] = static_cast<uint8_t>(declared256[0] | 0xF0);
    declared256[1] = static_cast<uint8_t>(declared256[1] | 0x0F);
    EXPECT_TRUE(Decode(declared256) == expected);

    const auto decodeAll = [](const std::vector<uint8_t>& stream, bool memoryCut) {
        base::TMemoryStream in;
        in.LoadFromBuffer(stream.data() + 2, stream.size() - 2); // past the parameter word
        zip::ppmd::TPpmdInput input(in);
        zip::ppmd::TPpmdRangeDecoder rc(input);
        EXPECT_TRUE(rc.Init());
        zip::ppmd::TPpmdModel model(1 << 20, 16, 0, false, memoryCut);
        std::vector<uint8_t> out;
        for (int symbol; (symbol = model.DecodeSymbol(rc)) >= 0;)
            out.push_back(static_cast<uint8_t>(symbol));
        return out;
    };
    const std::vector<uint8_t> exhausting = ReadFile("mixed_o16_m1_r0.ppmd");
    EXPECT_TRUE(decodeAll(exhausting, false) == Mixed());
    EXPECT_THROW(decodeAll(exhausting, true), zip::ppmd::TPpmdCorrupt);
}

// The end marker stops decoding, whatever follows it.
TEST(PpmdTest, StopsAtEndMarker)
{
    TRawItem item = RawItem(ReadFile("7z_ppmd_o16_mem1m.zip"), "text.txt");
    item.Data.insert(item.Data.end(), 5000, 0x5A);
    EXPECT_EQ(Decode(item.Data).size(), 46064u);
}

// Data that ends early fails with the archive read error and keeps what was
// decoded; an empty item fails the same way.
TEST(PpmdTest, TruncatedInputRaisesReadError)
{
    TRawItem item = RawItem(ReadFile("7z_ppmd_o6_mem16m.zip"), "text.txt");
    item.Data.resize(item.Data.size() / 2);
    base::TMemoryStream in, out;
    in.LoadFromBuffer(item.Data.data(), item.Data.size());
    EXPECT_THROW(zip::PpmdDecode(in, out, zip::TDecodeParams{}), zip::EArcReadError);
    EXPECT_GT(out.Size(), 10000);
    EXPECT_LT(out.Size(), 46064);
    const std::vector<uint8_t> text = ReadFile("text.txt");
    EXPECT_TRUE(std::equal(out.Memory(), out.Memory() + out.Size(), text.begin()));

    base::TMemoryStream empty, out2;
    EXPECT_THROW(zip::PpmdDecode(empty, out2, zip::TDecodeParams{}), zip::EArcReadError);
}

// Parameter words no encoder writes: order 1, restoration method 3 and up.
TEST(PpmdTest, RefusesUnknownParameters)
{
    for (std::vector<uint8_t> raw : {std::vector<uint8_t>{0x00, 0x00, 1, 2, 3, 4, 5},
                                     std::vector<uint8_t>{0x05, 0x30, 1, 2, 3, 4, 5}}) {
        EXPECT_THROW(Decode(raw), zip::EZipInvalidMethod);
    }
}

// Damaged data ends decoding early or raises the read error, never more.
TEST(PpmdTest, CorruptDataEndsQuietly)
{
    TRawItem item = RawItem(ReadFile("7z_ppmd_o6_mem16m.zip"), "binary.bin");
    for (size_t at : {size_t(6), size_t(100), item.Data.size() / 2}) {
        std::vector<uint8_t> bad = item.Data;
        bad[at] ^= 0x55;
        base::TMemoryStream in, out;
        in.LoadFromBuffer(bad.data(), bad.size());
        try {
            zip::PpmdDecode(in, out, zip::TDecodeParams{});
        } catch (const zip::EArcReadError&) {
        }
        EXPECT_NE(base::Crc32(out.Memory(), out.Size()), item.Crc);
    }
}
