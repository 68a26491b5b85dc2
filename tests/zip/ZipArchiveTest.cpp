#include "zip/ZipArchive.h"

#include "ZipTestWriter.h"
#include "base/Budget.h"
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "base/Text.h"
#include "platform/Platform.h"
#include "zip/ZipErrors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

using namespace addoscope;
using namespace addoscope::zip;
using namespace addoscope::ziptest;

namespace {

struct TLoaded {
    base::TMemoryStream Stream;
    std::unique_ptr<TZipArchive> Archive;
};

std::unique_ptr<TLoaded> Open(const std::string& bytes)
{
    auto loaded = std::make_unique<TLoaded>();
    loaded->Stream.LoadFromBuffer(bytes.data(), bytes.size());
    loaded->Archive = TZipArchive::CreateFromStream(loaded->Stream, u"test.zip");
    loaded->Archive->SetupExtraction();
    return loaded;
}

std::unique_ptr<TLoaded> Load(const std::string& bytes)
{
    auto loaded = Open(bytes);
    loaded->Archive->Load();
    return loaded;
}

TTestZip TwoEntries()
{
    TTestZip zip;
    zip.Entries.push_back({.Name = "install.rdf", .Data = "<rdf/>"});
    zip.Entries.push_back({.Name = "manifest.json", .Data = "{}"});
    return zip;
}

template <class E>
void ExpectLoadFails(const std::string& bytes, TArchiveStatus status)
{
    auto loaded = Open(bytes);
    EXPECT_THROW(loaded->Archive->Load(), E);
    EXPECT_EQ(loaded->Archive->Status(), status);
}

} // namespace

TEST(ZipArchiveTest, EndRecordFoundBehindCommentsAndTrailingBytes)
{
    for (size_t commentLength : {0u, 1u, 490u, 491u, 5000u, 65535u}) {
        TTestZip zip = TwoEntries();
        zip.Comment = std::string(commentLength, 'c');
        auto loaded = Load(zip.Build());
        EXPECT_EQ(loaded->Archive->Count(), 2) << commentLength;
        EXPECT_EQ(loaded->Archive->Info().FZipfileComment.size(), commentLength);
    }
    // Garbage after the record is accepted while the comment length fits in
    // the bytes that follow it.
    TTestZip zip = TwoEntries();
    zip.Trailer = std::string(3000, 'g');
    EXPECT_EQ(Load(zip.Build())->Archive->Count(), 2);
    // A comment that holds the signature bytes itself does not hide the
    // real record in front of it.
    zip.Trailer.clear();
    zip.Comment = std::string("xx") + "PK\x05\x06" + std::string(30, '\xEE');
    EXPECT_EQ(Load(zip.Build())->Archive->Count(), 2);
}

namespace {

// A large stream of zeros with chosen bytes at its start and its end,
// which counts the bytes read and the lowest position read from past the
// head (which every load reads first).
class TCountingSparseStream : public base::TStream {
public:
    TCountingSparseStream(int64_t size, std::string head, std::string tail)
        : FSize(size), FHead(std::move(head)), FTail(std::move(tail))
    {
    }
    int64_t Read(void* buffer, int64_t count) override
    {
        count = std::clamp<int64_t>(count, 0, FSize - FPos);
        auto* out = static_cast<char*>(buffer);
        for (int64_t i = 0; i < count; ++i) {
            const int64_t at = FPos + i;
            const int64_t fromTail = at - (FSize - static_cast<int64_t>(FTail.size()));
            out[i] = at < static_cast<int64_t>(FHead.size()) ? FHead[static_cast<size_t>(at)]
                     : fromTail >= 0                       ? FTail[static_cast<size_t>(fromTail)]
                                                           : '\0';
        }
        if (count > 0 && FPos >= static_cast<int64_t>(FHead.size()))
            Lowest = std::min(Lowest, FPos);
        FPos += count;
        BytesRead += count;
        return count;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, base::TSeekOrigin origin) override
    {
        const int64_t from = origin == base::TSeekOrigin::soBeginning ? 0
                             : origin == base::TSeekOrigin::soCurrent ? FPos
                                                                      : FSize;
        FPos = std::clamp<int64_t>(from + offset, 0, FSize);
        return FPos;
    }

    int64_t BytesRead = 0;
    int64_t Lowest = INT64_MAX;

private:
    int64_t FSize;
    int64_t FPos = 0;
    std::string FHead, FTail;
};

} // namespace

// The end record lies within the last 22 + 65,535 bytes and the zip64
// locator right before it: a large file without them is refused after
// reading its head and that much of its tail, not read in full.
TEST(ZipArchiveTest, SearchesReadOnlyWhereTheRecordsCanLie)
{
    constexpr int64_t Size = int64_t(256) << 20;
    constexpr int64_t Reach = TZipArchive::MaxEndRecordDistance;
    TTestZip zip64Marked = TwoEntries();
    zip64Marked.CountOverride = 0xFFFF; // announces zip64 records; none is there
    const std::string marked = zip64Marked.Build();
    const std::string endRecord = marked.substr(marked.size() - 22);
    for (const std::string& tail : {std::string(), endRecord, endRecord + std::string(100, 'c')}) {
        TCountingSparseStream stream(Size, "PK\x03\x04", tail);
        auto archive = TZipArchive::CreateFromStream(stream, u"sparse.zip");
        EXPECT_THROW(archive->Load(), EZipInvalid) << tail.size();
        EXPECT_GE(stream.Lowest, Size - Reach - 20) << tail.size();
        EXPECT_LE(stream.BytesRead, 4 + Reach + 22 + 1024) << tail.size();
    }
    EXPECT_EQ(TZipArchive::FindEndOfCentralDirectory(*std::make_unique<TCountingSparseStream>(Size, "", "")), -1);

    // A record with the longest comment is found at the farthest place; one
    // byte after that comment puts it out of reach.
    TTestZip zip = TwoEntries();
    zip.Prefix = std::string(100000, 'p');
    zip.Comment = std::string(65535, 'c');
    EXPECT_EQ(Load(zip.Build())->Archive->Count(), 2);
    zip.Trailer = "t";
    ExpectLoadFails<EZipInvalid>(zip.Build(), TArchiveStatus::asInvalid);
}

TEST(ZipArchiveTest, ShortEmptyAndForeignStreams)
{
    // Empty: no items and no error.
    auto empty = Load("");
    EXPECT_EQ(empty->Archive->Count(), 0);
    EXPECT_EQ(empty->Archive->Status(), TArchiveStatus::asIdle);

    ExpectLoadFails<EZipInvalid>("PK\x05\x06", TArchiveStatus::asInvalid);
    ExpectLoadFails<EZipInvalid>(std::string(21, '\0'), TArchiveStatus::asInvalid);
    ExpectLoadFails<EZipInvalid>(std::string(200000, 'x'), TArchiveStatus::asInvalid);

    // The record's comment runs past the end of the stream: in a stream
    // shorter than the first search window the room for it is taken as
    // generous and the short comment fails to read; otherwise the record is
    // not taken for one.
    TTestZip zip = TwoEntries();
    zip.CommentLengthOverride = 100;
    ExpectLoadFails<base::EReadError>(zip.Build(), TArchiveStatus::asIdle);
    zip.Prefix = std::string(1000, 'p');
    ExpectLoadFails<EZipInvalid>(zip.Build(), TArchiveStatus::asInvalid);

    auto loaded = Open("");
    loaded->Archive->Load();
    base::TMemoryStream target;
    // Extraction from an archive that failed to load is refused outright.
    auto invalid = Open("garbage that is not a zip at all");
    EXPECT_THROW(invalid->Archive->Load(), EZipInvalid);
    EXPECT_THROW(invalid->Archive->ExtractToStream(u"x", target), EArcNoArchive);
}

TEST(ZipArchiveTest, EntryCountsThatLie)
{
    TTestZip zip = TwoEntries();
    zip.CountOverride = 3;
    ExpectLoadFails<EZipInvalid>(zip.Build(), TArchiveStatus::asIdle);

    zip.CountOverride = 1;
    auto loaded = Load(zip.Build());
    EXPECT_EQ(loaded->Archive->Count(), 1);
    EXPECT_EQ(loaded->Archive->FindFile(u"manifest.json"), -1);

    // 0xFFFF announces zip64; without a locator in front the load fails.
    zip.CountOverride = 0xFFFF;
    ExpectLoadFails<EZipInvalid>(zip.Build(), TArchiveStatus::asIdle);

    // A zip64 count of 2^40 ends at the first missing entry, without
    // reserving room for the count.
    TTestZip huge = TwoEntries();
    huge.Zip64 = true;
    huge.Zip64Count = uint64_t(1) << 40;
    ExpectLoadFails<EZipInvalid>(huge.Build(), TArchiveStatus::asIdle);
}

TEST(ZipArchiveTest, Zip64EndRecords)
{
    TTestZip zip = TwoEntries();
    zip.Zip64 = true;
    zip.Comment = "zip64";
    auto loaded = Load(zip.Build());
    EXPECT_EQ(loaded->Archive->Count(), 2);
    EXPECT_TRUE(loaded->Archive->Info().IsZip64());
    EXPECT_EQ(loaded->Archive->Info().FTotalEntries, 2u);

    zip.Zip64TotalDisks = 2;
    ExpectLoadFails<EZipBadSpanStream>(zip.Build(), TArchiveStatus::asIdle);
    // A locator that claims zero disks is a spanned archive too.
    zip.Zip64TotalDisks = 0;
    ExpectLoadFails<EZipBadSpanStream>(zip.Build(), TArchiveStatus::asIdle);

    // The locator is looked for only where it belongs, right before the
    // end record: a byte between them, or a locator further back, is none.
    zip.Zip64TotalDisks = 1;
    const std::string good = zip.Build();
    const size_t endRecord = good.size() - 22 - zip.Comment.size();
    for (size_t gap : {1u, 70000u}) {
        std::string bytes = good;
        bytes.insert(endRecord, std::string(gap, '\0'));
        ExpectLoadFails<EZipInvalid>(bytes, TArchiveStatus::asIdle);
    }
}

TEST(ZipArchiveTest, LookupPrefersTheExactNameThenFoldsOnlyAsciiCase)
{
    TTestZip zip;
    for (const char* name : {"./install.rdf", "/install.rdf", "dir\\install.rdf", "install.rdf", "manifest.json",
                             "Manifest.json", "\xC3\xA9t\xC3\xA9.txt"})
        zip.Entries.push_back({.Name = name, .Data = name});
    auto loaded = Load(zip.Build());
    TZipArchive& a = *loaded->Archive;
    EXPECT_EQ(a.FindFile(u"install.rdf"), 3);
    EXPECT_EQ(a.FindFile(u"INSTALL.RDF"), 3);
    EXPECT_EQ(a.FindFile(u"/install.rdf"), 1);
    EXPECT_EQ(a.FindFile(u"install.rd"), -1);
    // An exact name wins over a later one that differs in case; without
    // one, the last name equal without case does.
    EXPECT_EQ(a.FindFile(u"manifest.json"), 4);
    EXPECT_EQ(a.FindFile(u"Manifest.json"), 5);
    EXPECT_EQ(a.FindFile(u"MANIFEST.JSON"), 5);
    EXPECT_EQ(a.FindFile(u"\u00E9t\u00E9.txt"), 6);
    EXPECT_EQ(a.FindFile(u"\u00C9T\u00C9.TXT"), -1);
    EXPECT_EQ(a.FindFile(u"\u00E9T\u00E9.TXT"), 6);

    base::TMemoryStream target;
    a.ExtractToStream(u"Manifest.JSON", target);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(target.Memory()), 13), "Manifest.json");
    // A missing name leaves the target untouched.
    a.ExtractToStream(u"missing", target);
    EXPECT_EQ(target.Size(), 13);

    // A decoy identity behind the real one is not what the look-up gives,
    // in either order; of exact duplicates the last still wins.
    TTestZip decoy;
    for (const char* name : {"manifest.json", "Manifest.JSON", "Install.rdf", "manifest.json", "MANIFEST.json"})
        decoy.Entries.push_back({.Name = name, .Data = name + std::to_string(decoy.Entries.size())});
    auto withDecoy = Load(decoy.Build());
    EXPECT_EQ(withDecoy->Archive->FindFile(u"manifest.json"), 3);
    EXPECT_EQ(withDecoy->Archive->FindFile(u"Manifest.JSON"), 1);
    EXPECT_EQ(withDecoy->Archive->FindFile(u"install.rdf"), 2);
    base::TMemoryStream extracted;
    withDecoy->Archive->ExtractToStream(u"manifest.json", extracted);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(extracted.Memory()), 14), "manifest.json3");
}

TEST(ZipArchiveTest, NameCharSetDetection)
{
    EXPECT_EQ(DetectNameCharSet("plain"), TNameCharSet::ascii);
    EXPECT_EQ(DetectNameCharSet(""), TNameCharSet::ascii);
    EXPECT_EQ(DetectNameCharSet("Gr\xC3\xBC\xC3\x9F" "e"), TNameCharSet::utf8);
    EXPECT_EQ(DetectNameCharSet("\xF0\x9F\x98\x80"), TNameCharSet::utf8);
    EXPECT_EQ(DetectNameCharSet("caf\xE9"), TNameCharSet::ansi);        // cut sequence
    EXPECT_EQ(DetectNameCharSet("\xC3\xA9\xC3"), TNameCharSet::ansi);   // cut at the end
    EXPECT_EQ(DetectNameCharSet("\xC0\x80"), TNameCharSet::ansi);       // never a lead byte
    EXPECT_EQ(DetectNameCharSet("\xA9x"), TNameCharSet::ansi);          // stray continuation
    EXPECT_EQ(DetectNameCharSet("\xF5\x80\x80\x80"), TNameCharSet::ansi);
    // Overlong and surrogate forms are not examined.
    EXPECT_EQ(DetectNameCharSet("\xE0\x80\x80"), TNameCharSet::utf8);
    EXPECT_EQ(DetectNameCharSet("\xED\xA0\x80"), TNameCharSet::utf8);

    // OEM letters: 0x84 (ä in 437) is no ANSI letter; 0xE9 and 0x8E are
    // letters in both; 0xB0 (a box character in 437) is no OEM letter.
    EXPECT_TRUE(IsOemNameForCodePage("\x84RGER", 437));
    EXPECT_FALSE(IsOemNameForCodePage("\x8ERGER", 437));
    EXPECT_FALSE(IsOemNameForCodePage("caf\xE9", 437));
    EXPECT_FALSE(IsOemNameForCodePage("\x84\xB0", 437));
    EXPECT_FALSE(IsOemNameForCodePage("plain", 437));
    EXPECT_FALSE(IsOemNameForCodePage("\x8E", 1250)); // not an OEM page the table knows
    EXPECT_TRUE(IsOemNameForCodePage("\x82", 866));
    EXPECT_FALSE(IsOemNameForCodePage("\x80", 866));
}

TEST(ZipArchiveTest, ItemNameRules)
{
    const std::string upathName = "Caf\x82.txt"; // CP437 é
    auto upath = [&](uint8_t version, uint32_t crc, const std::string& utf8) {
        std::string data;
        data += static_cast<char>(version);
        PutLE32(data, crc);
        return ExtraSubfield(0x7075, data + utf8);
    };
    const uint32_t nameCrc = base::Crc32(upathName.data(), upathName.size());
    std::string nucx;
    PutLE32(nucx, 0x5843554E);
    PutLE32(nucx, 3);
    for (char16_t c : std::u16string(u"\u65E5\u672C!"))
        PutLE16(nucx, c);

    TTestZip zip;
    const uint16_t dos = 0x0014, unix = 0x0314;
    zip.Entries = {
        {.Name = "Gr\xC3\xBC\xC3\x9F" "e.txt", .Data = "1"},                                 // UTF-8, no flag
        {.Name = "caf\xE9", .Data = "2", .VersionMadeBy = unix},                              // ANSI letter
        {.Name = "caf\xE9", .Data = "3", .VersionMadeBy = dos},                               // DOS: OEM
        {.Name = "\x84RGER", .Data = "4", .VersionMadeBy = unix},                             // OEM-looking
        {.Name = upathName, .Data = "5", .VersionMadeBy = dos, .Extra = upath(1, nameCrc, "Caf\xC3\xA9!.txt")},
        {.Name = upathName, .Data = "6", .VersionMadeBy = dos, .Extra = upath(1, nameCrc + 1, "wrong")},
        {.Name = upathName, .Data = "7", .VersionMadeBy = dos, .Extra = upath(2, nameCrc, "wrong")},
        {.Name = "x", .Data = "8", .Extra = ExtraSubfield(0x554E, nucx)},
        {.Name = "\xE9", .Data = "9", .Flags = 0x0800},                                       // flag: UTF-8 anyway
    };
    auto loaded = Load(zip.Build());
    TZipArchive& a = *loaded->Archive;
    ASSERT_EQ(a.Count(), 9);
    EXPECT_EQ(a.ItemName(0), u"Gr\u00FC\u00DFe.txt");
    EXPECT_EQ(a.ItemName(1), u"caf\u00E9");
    EXPECT_EQ(a.ItemName(2), u"caf\u0398");
    EXPECT_EQ(a.ItemName(3), u"\u00E4RGER");
    EXPECT_EQ(a.ItemName(4), u"Caf\u00E9!.txt");
    EXPECT_EQ(a.ItemName(5), u"Caf\u00E9.txt");
    EXPECT_EQ(a.ItemName(6), u"Caf\u00E9.txt");
    EXPECT_EQ(a.ItemName(7), u"\u65E5\u672C!");
    EXPECT_EQ(a.ItemName(8), u"\uFFFD");
    EXPECT_EQ(a.Item(0).GetDiskFileName(), u"Gr\u00FC\u00DFe.txt");
}

TEST(ZipArchiveTest, ExtraFieldsAndZip64Widening)
{
    // A subfield declaring more than the field holds is clamped, not refused.
    TExtraField extra;
    const std::string raw = ExtraSubfield(0x1234, "ab") + ExtraSubfield(0x0001, "xyz", 500);
    extra.Assign(raw.data(), raw.size());
    const uint8_t* data;
    uint16_t size;
    ASSERT_TRUE(extra.Get(0x0001, data, size));
    EXPECT_EQ(size, 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), "xyz");
    EXPECT_FALSE(extra.Get(0x9999, data, size));
    EXPECT_EQ(extra.GetStream(0x1234)->Size(), 2);

    // Saturated sizes and offset come from the zip64 subfield, in order.
    std::string zip64;
    PutLE64(zip64, 5);  // uncompressed
    PutLE64(zip64, 5);  // compressed
    PutLE64(zip64, 0);  // offset
    TTestZip zip;
    zip.Entries.push_back({.Name = "a", .Data = "hello", .CompressedSize = 0xFFFFFFFF,
                           .UncompressedSize = 0xFFFFFFFF, .RelativeOffset = 0xFFFFFFFF,
                           .Extra = ExtraSubfield(0x0001, zip64)});
    auto loaded = Load(zip.Build());
    EXPECT_EQ(loaded->Archive->Item(0).GetUncompressedSize(), 5u);
    EXPECT_EQ(loaded->Archive->Item(0).GetRelativeOffset(), 0u);
    base::TMemoryStream target;
    loaded->Archive->ExtractToStream(u"a", target);
    EXPECT_EQ(target.Size(), 5);

    // Too short for the values it must supply: the stream read error.
    zip.Entries[0].Extra = ExtraSubfield(0x0001, zip64.substr(0, 12));
    EXPECT_THROW(Load(zip.Build()), base::EReadError);
    // An extra field running past the end of the stream likewise.
    TTestZip cut;
    cut.Entries.push_back({.Name = "a", .Data = "x", .Extra = std::string(40, 'e')});
    std::string bytes = cut.Build();
    const size_t directory = bytes.find("PK\x01\x02");
    bytes = bytes.substr(0, directory + 46 + 1 + 10) + bytes.substr(bytes.size() - 22);
    // The end record now points at a directory whose extra field is cut.
    EXPECT_THROW(Load(bytes), base::EReadError);
}

TEST(ZipArchiveTest, ExecutableStubAndOffsetsInFront)
{
    TTestZip zip = TwoEntries();
    zip.Prefix = "MZ" + std::string(100, '\0');
    auto loaded = Load(zip.Build());
    EXPECT_TRUE(loaded->Archive->IsExecutable());
    EXPECT_EQ(loaded->Archive->StubSize(), 102u);
    base::TMemoryStream target;
    loaded->Archive->ExtractToStream(u"install.rdf", target);
    EXPECT_EQ(target.Size(), 6);
}

namespace {

// What reading a directory gave: the items' main fields in order, then how
// it ended.
std::string Outcome(const std::vector<const TZipItem*>& items, const std::string& error)
{
    std::string out;
    for (const TZipItem* item : items)
        out += base::Utf16ToUtf8(item->GetFileName()) + "|" + std::to_string(item->GetCompressedSize()) + "|" +
               std::to_string(item->GetRelativeOffset()) + "|" + std::to_string(item->GetCRC32()) + "|" +
               std::to_string(item->GetVersionMadeBy()) + "|" + std::to_string(item->GetRawCompressionMethod()) +
               "|" + std::to_string(item->GetExternalFileAttributes()) + "\n";
    return out + error;
}

std::string ErrorKind()
{
    try {
        throw;
    } catch (const EZipInvalid&) {
        return "invalid";
    } catch (const base::EReadError&) {
        return "read error";
    } catch (...) {
        return "other";
    }
}

// Entries read one by one from the stream, field by field.
std::string StreamedOutcome(const std::string& bytes)
{
    base::TMemoryStream stream;
    stream.LoadFromBuffer(bytes.data(), bytes.size());
    const int64_t end = TZipArchive::FindEndOfCentralDirectory(stream);
    TZipDirectoryFileFooter footer;
    footer.LoadFromStream(stream);
    stream.Seek(static_cast<int64_t>(footer.FDirectoryOffset), base::TSeekOrigin::soBeginning);
    std::vector<std::unique_ptr<TZipItem>> items;
    std::vector<const TZipItem*> view;
    std::string error = end < 0 ? "no end record" : "";
    try {
        for (uint64_t i = 0; i < footer.FTotalEntries; ++i) {
            auto item = std::make_unique<TZipItem>();
            item->LoadFromStream(stream);
            view.push_back(item.get());
            items.push_back(std::move(item));
        }
    } catch (...) {
        error = ErrorKind();
    }
    return Outcome(view, error);
}

std::string LoadedOutcome(const std::string& bytes)
{
    auto loaded = Open(bytes);
    std::string error;
    try {
        loaded->Archive->Load();
    } catch (...) {
        error = ErrorKind();
    }
    std::vector<const TZipItem*> view;
    for (int i = 0; i < loaded->Archive->Count(); ++i)
        view.push_back(&loaded->Archive->Item(i));
    return Outcome(view, error);
}

} // namespace

// The archive reads its directory in large pieces; it must end exactly as
// reading entry by entry from the stream does, wherever the stated offset
// points, whatever the stated size, and with entries larger than a piece.
TEST(ZipArchiveTest, DirectoryReadInPiecesMatchesEntryByEntry)
{
    TTestZip zip;
    for (int i = 0; i < 40; ++i) {
        TTestEntry entry {.Name = "content/file" + std::to_string(i) + ".js", .Data = std::string(i, 'x')};
        if (i % 7 == 3)
            entry.Extra = ExtraSubfield(0xCAFE, std::string(3000 + i * 500, 'e'));
        if (i % 5 == 1)
            entry.Comment = "comment " + std::to_string(i);
        zip.Entries.push_back(entry);
    }
    zip.Entries.push_back({.Name = "big", .Data = "", .Extra = ExtraSubfield(0xBEEF, std::string(65000, 'b'))});
    const std::string good = zip.Build();
    const size_t endRecord = good.size() - 22;
    const auto patched = [&](uint32_t directorySize, uint32_t directoryOffset) {
        std::string bytes = good;
        for (int k = 0; k < 4; ++k) {
            bytes[endRecord + 12 + k] = static_cast<char>(directorySize >> (8 * k));
            bytes[endRecord + 16 + k] = static_cast<char>(directoryOffset >> (8 * k));
        }
        return bytes;
    };

    const std::string whole = LoadedOutcome(good);
    EXPECT_EQ(std::count(whole.begin(), whole.end(), '\n'), 41) << whole;
    EXPECT_EQ(whole, StreamedOutcome(good));
    const uint32_t directoryOffset = GetLE32(reinterpret_cast<const uint8_t*>(good.data()) + endRecord + 16);
    for (uint32_t statedSize : {0u, 100u, 5000u, 0xFFFFFFF0u}) {
        const std::string bytes = patched(statedSize, directoryOffset);
        EXPECT_EQ(LoadedOutcome(bytes), whole) << statedSize;
    }
    // Offsets into the directory's last entries and the end record: entries
    // then run past the end of the stream in every way. From the start of
    // an entry, some entries are read whole before the end record, which
    // is no entry.
    std::set<std::string> endings;
    size_t withItems = 0;
    const auto compare = [&](size_t offset) {
        const std::string bytes = patched(0, static_cast<uint32_t>(offset));
        const std::string outcome = LoadedOutcome(bytes);
        ASSERT_EQ(outcome, StreamedOutcome(bytes)) << offset;
        const size_t lastLine = outcome.rfind('\n');
        endings.insert(outcome.substr(lastLine == std::string::npos ? 0 : lastLine + 1));
        withItems += lastLine != std::string::npos;
    };
    for (size_t offset = good.size() - 66000; offset <= good.size(); offset += 97)
        compare(offset);
    for (size_t offset = good.size() - 200; offset <= good.size(); ++offset)
        compare(offset);
    for (size_t at = good.find("PK\x01\x02", directoryOffset); at != std::string::npos;
         at = good.find("PK\x01\x02", at + 1))
        compare(at);
    EXPECT_GE(withItems, 5u);

    // The last entry's name, or its comment, declared to run over the end
    // record and past the stream's end: read as zeros, as from the stream.
    const size_t last = good.rfind("PK\x01\x02", endRecord);
    const auto put16 = [](std::string& bytes, size_t at, size_t value) {
        bytes[at] = static_cast<char>(value & 0xFF);
        bytes[at + 1] = static_cast<char>(value >> 8);
    };
    for (const size_t field : {28u, 32u}) {
        std::string bytes = good;
        const size_t nameLength = GetLE16(reinterpret_cast<const uint8_t*>(good.data()) + last + 28);
        put16(bytes, last + 28, field == 28 ? good.size() - last - 46 + 10 : nameLength);
        put16(bytes, last + 30, 0);
        put16(bytes, last + 32, field == 32 ? good.size() - last - 46 - nameLength + 10 : 0);
        const std::string outcome = LoadedOutcome(bytes);
        EXPECT_EQ(outcome, StreamedOutcome(bytes)) << field;
        EXPECT_EQ(outcome.back(), '\n') << field; // loaded without an error
    }
    EXPECT_TRUE(endings.count("invalid") && endings.count("read error"));
}

namespace {

// A directory of `count` empty stored entries named by `name(i)`.
std::string ManyEntries(size_t count, const std::function<std::string(size_t)>& name)
{
    TTestZip zip;
    zip.Entries.reserve(count);
    for (size_t i = 0; i < count; ++i)
        zip.Entries.push_back({.Name = name(i), .Data = ""});
    // Counts above 65,534 need the zip64 records.
    zip.Zip64 = count >= 0xFFFF;
    return zip.Build();
}

} // namespace

// The directory's items are counted against the reading's budget, at a
// small cost per item, and a directory of more entries or name bytes than
// any package holds is refused before its items fill memory.
TEST(ZipArchiveTest, DirectoryLimitsAndItsMemory)
{
    const auto index = [](size_t i) { return "f" + std::to_string(i); };
    {
        auto loaded = Open(ManyEntries(30000, [](size_t) { return std::string(); }));
        base::TReadingBudget budget(int64_t(60) * 1000000000, int64_t(1) << 30);
        loaded->Archive->Load();
        EXPECT_EQ(loaded->Archive->Count(), 30000);
        const int64_t perEntry = budget.MemoryUsed() / 30000;
        EXPECT_GT(perEntry, 64);
        EXPECT_LE(perEntry, 200);
    }
    {
        // Long names are counted too; past the budget the load stops.
        const std::string bytes = ManyEntries(100, [](size_t i) { return std::string(10000, char('a' + i % 26)); });
        auto loaded = Open(bytes);
        {
            base::TReadingBudget budget(int64_t(60) * 1000000000, int64_t(1) << 30);
            loaded->Archive->Load();
            EXPECT_GE(budget.MemoryUsed(), 100 * 20000);
        }
        auto limited = Open(bytes);
        base::TReadingBudget budget(int64_t(60) * 1000000000, 1 << 20);
        EXPECT_THROW(limited->Archive->Load(), base::EBudgetExceeded);
    }
    // At most MaxDirectoryEntries entries, and names of MaxDirectoryNameBytes.
    constexpr size_t Most = TZipArchive::MaxDirectoryEntries;
    EXPECT_EQ(Load(ManyEntries(Most, index))->Archive->FindFile(u"f99999"), 99999);
    ExpectLoadFails<EZipInvalid>(ManyEntries(Most + 1, index), TArchiveStatus::asIdle);
    const size_t longNames = TZipArchive::MaxDirectoryNameBytes / 65535;
    EXPECT_EQ(Load(ManyEntries(longNames, [](size_t) { return std::string(65535, 'n'); }))->Archive->Count(),
              static_cast<int>(longNames));
    ExpectLoadFails<EZipInvalid>(ManyEntries(longNames + 1, [](size_t) { return std::string(65535, 'n'); }),
                                 TArchiveStatus::asIdle);
}

// The name index hashes with a key of its own per list, and names the
// look-up takes as equal (ASCII letters without case) hash alike.
TEST(ZipArchiveTest, NameIndexIsSeededAndFoldsAsciiCase)
{
    TArchiveList one, other;
    EXPECT_EQ(one.NameHash(u"Install.RDF"), one.NameHash(u"iNSTALL.rdf"));
    EXPECT_EQ(one.NameHash(u"\u00E9t\u00E9.TXT"), one.NameHash(u"\u00E9T\u00E9.txt"));
    EXPECT_NE(one.NameHash(u"install.rdf"), other.NameHash(u"install.rdf"));
    EXPECT_NE(one.NameHash(u"install.rdf"), one.NameHash(u"install.rdg"));
}

// Names are encoded to the ANSI code page (for the Unicode path check and
// the OEM rule) one code unit at a time: every unit gives the byte that
// decodes to it, or '?' where there is none, as a search of the decoding
// table would.
TEST(ZipArchiveTest, AnsiEncodingOfEveryCodeUnitMatchesTheDecodingTable)
{
    if (platform::AnsiCodePage() != 1252)
        GTEST_SKIP() << "single-byte ANSI code page expected";
    std::u16string decoded(128, u'\0');
    for (int b = 0; b < 128; ++b)
        decoded[static_cast<size_t>(b)] = platform::AnsiToUnicode(std::string(1, static_cast<char>(0x80 + b)))[0];
    std::u16string every(0x10000, u'\0');
    for (size_t u = 0; u < every.size(); ++u)
        every[u] = static_cast<char16_t>(u);
    const std::string encoded = platform::UnicodeToAnsi(every);
    ASSERT_EQ(encoded.size(), every.size());
    for (size_t u = 0; u < every.size(); ++u) {
        char expected = '?';
        if (u < 0x80)
            expected = static_cast<char>(u);
        else if (const size_t at = decoded.find(static_cast<char16_t>(u)); at != std::u16string::npos)
            expected = static_cast<char>(0x80 + at);
        ASSERT_EQ(encoded[u], expected) << u;
    }
}
