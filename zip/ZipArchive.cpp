#include "zip/ZipArchive.h"

#include "base/Budget.h"
#include "base/Crc32.h"
#include "base/Exception.h"
#include "base/Text.h"
#include "platform/Platform.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace addoscope::zip {

namespace {

// Stored offsets are unsigned 64-bit values; one that no stream can reach
// cannot belong to a zip file.
void SeekTo(base::TStream& stream, uint64_t position)
{
    if (position > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        throw EZipInvalid();
    stream.Seek(static_cast<int64_t>(position), base::TSeekOrigin::soBeginning);
}

int64_t ReadUpTo(base::TStream& stream, uint8_t* buffer, int64_t count)
{
    int64_t total = 0;
    while (total < count) {
        const int64_t n = stream.Read(buffer + total, count - total);
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

// Whether the ANSI and OEM code pages both map the bytes below 0x80 to the
// same characters. Then a name of such bytes decodes to itself whichever
// code page it was written in, and most names need no conversion at all.
// The code pages are fixed for the process, so this is asked once.
bool AsciiKeptByCodePages()
{
    static const bool kept = [] {
        std::string bytes(128, '\0');
        for (int i = 0; i < 128; ++i)
            bytes[size_t(i)] = static_cast<char>(i);
        const std::u16string wide = base::Latin1ToUtf16(bytes);
        return platform::OemToUnicode(bytes) == wide && platform::AnsiToUnicode(bytes) == wide &&
               platform::UnicodeToAnsi(wide) == bytes;
    }();
    return kept;
}

// Reads the central directory in large pieces, so that each entry is
// parsed from memory instead of field by field from the stream. The bytes
// past the stream's end are simply not there, as for reads from the stream.
class TDirectoryReader {
public:
    TDirectoryReader(base::TStream& stream, uint64_t expectedSize)
        : FStream(stream), FChunk(static_cast<size_t>(std::clamp<uint64_t>(expectedSize, 4096, 1 << 20))),
          FStatedLeft(expectedSize)
    {
    }

    // Makes up to `count` bytes available at Data(); fewer only at the
    // stream's end.
    size_t Ensure(size_t count)
    {
        if (FEnd - FPos < count && !FEof) {
            // Nothing to move before the first read: the buffer may not
            // exist yet, and memmove must not see its null data.
            if (FPos > 0)
                std::memmove(FBuffer.data(), FBuffer.data() + FPos, FEnd - FPos);
            FEnd -= FPos;
            FPos = 0;
            const size_t want = std::max(count, FChunk);
            if (FBuffer.size() < want) {
                FCharge.Resize(static_cast<int64_t>(want));
                FBuffer.resize(want);
            }
            // The stated directory is read in one piece, no byte past it;
            // a directory larger than it said reads on in chunks.
            int64_t wanted = static_cast<int64_t>(FBuffer.size() - FEnd);
            if (FStatedLeft >= count - (FEnd - FPos))
                wanted = static_cast<int64_t>(std::min<uint64_t>(FStatedLeft, static_cast<uint64_t>(wanted)));
            FStream.ExpectRead(wanted);
            const int64_t got = ReadUpTo(FStream, FBuffer.data() + FEnd, wanted);
            FEnd += static_cast<size_t>(got);
            FStatedLeft -= std::min<uint64_t>(FStatedLeft, static_cast<uint64_t>(got));
            FEof = got < wanted;
        }
        return std::min(count, FEnd - FPos);
    }
    const uint8_t* Data() const { return FBuffer.data() + FPos; }
    void Skip(size_t count) { FPos += count; }

private:
    base::TStream& FStream;
    const size_t FChunk;
    uint64_t FStatedLeft; // bytes of the stated directory not read yet
    std::vector<uint8_t> FBuffer;
    base::TBudgetCharge FCharge;
    size_t FPos = 0;
    size_t FEnd = 0;
    bool FEof = false;
};

uint64_t ReadLE64(base::TStream& stream)
{
    uint8_t bytes[8];
    stream.ReadBuffer(bytes, 8);
    return GetLE64(bytes);
}

uint32_t ReadLE32(base::TStream& stream)
{
    uint8_t bytes[4];
    stream.ReadBuffer(bytes, 4);
    return GetLE32(bytes);
}

} // namespace

// ---- TZipItem --------------------------------------------------------------

TZipItem::TZipItem() = default;

TZipItem::~TZipItem() = default;

void TZipItem::LoadFromStream(base::TStream& stream)
{
    TZipDirectoryFileHeader entry;
    entry.LoadFromStream(stream);
    TakeEntry(entry);
}

void TZipItem::TakeEntry(TZipDirectoryFileHeader& info)
{
    // The rules below may pass over the name a few times.
    base::BudgetTick(1 + static_cast<int64_t>(info.FRawFileName.size() / 16));
    const uint8_t* data = nullptr;
    uint16_t size = 0;
    const TNameCharSet charSet = DetectNameCharSet(info.FRawFileName);
    if (info.IsUTF8() || charSet == TNameCharSet::utf8) {
        // Plain ASCII and valid UTF-8 were decoded so already with the
        // stored name; only a flagged name that is not valid UTF-8 differs.
        if (charSet == TNameCharSet::ansi)
            FFileName = base::Utf8ToUtf16(info.FRawFileName);
        else
            FFileName = std::move(info.FFileName);
    } else if (info.FExtraField.Get(InfoZipUnicodePathId, data, size) && size > 6 && data[0] == 1 &&
               [&] {
                   const std::string ansi = platform::UnicodeToAnsi(info.FFileName);
                   return GetLE32(data + 1) == base::Crc32(ansi.data(), ansi.size());
               }()) {
        FFileName = base::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data) + 5, size - 5u));
    } else if (info.FExtraField.Get(NucxUnicodePathId, data, size) && size > 10 &&
               GetLE32(data) == NucxUnicodePathMarker && uint64_t(size) == 8 + 2 * uint64_t(GetLE32(data + 4))) {
        const size_t count = GetLE32(data + 4);
        FFileName.resize(count);
        for (size_t i = 0; i < count; ++i)
            FFileName[i] = static_cast<char16_t>(GetLE16(data + 8 + 2 * i));
    } else if (platform::AnsiCodePage() != platform::OemCodePage() &&
               !(charSet == TNameCharSet::ascii && AsciiKeptByCodePages())) {
        const std::string ansi = platform::UnicodeToAnsi(info.FFileName);
        if (info.FVersionMadeBy >> 8 != 0 && !IsOemName(ansi)) {
            FFileName = std::move(info.FFileName);
        } else {
            const size_t length = info.FFileName.size();
            FFileName = platform::OemToUnicode(ansi);
            FFileName.resize(length);
        }
    } else {
        FFileName = std::move(info.FFileName);
    }

    FCompressedSize = info.FCompressedSize;
    FUncompressedSize = info.FUncompressedSize;
    FRelativeOffset = info.FRelativeOffset;
    FDiskNumberStart = info.FDiskNumberStart;
    if (auto zip64 = info.FExtraField.GetStream(Zip64ExtraFieldId)) {
        if (info.FUncompressedSize == 0xFFFFFFFFu)
            FUncompressedSize = ReadLE64(*zip64);
        if (info.FCompressedSize == 0xFFFFFFFFu)
            FCompressedSize = ReadLE64(*zip64);
        if (info.FRelativeOffset == 0xFFFFFFFFu)
            FRelativeOffset = ReadLE64(*zip64);
        if (info.FDiskNumberStart == 0xFFFF)
            FDiskNumberStart = ReadLE32(*zip64);
    }
    FLocalHeaderGuess = static_cast<uint32_t>(30 + info.FRawFileName.size() + info.FExtraField.Buffer().size());
    FCRC32 = info.FCRC32;
    FIsEncrypted = info.IsEncrypted();
    FExternalFileAttributes = info.FExternalFileAttributes;
    FLastModFileTime = info.FLastModFileTime;
    FLastModFileDate = info.FLastModFileDate;
    FVersionMadeBy = info.FVersionMadeBy;
    FVersionNeededToExtract = info.FVersionNeededToExtract;
    FGeneralPurposeBitFlag = info.FGeneralPurposeBitFlag;
    FCompressionMethod = info.FCompressionMethod;
    FInternalFileAttributes = info.FInternalFileAttributes;
    FAction = TArchiveAction::aaNone;
    FTagged = false;
}

// ---- TZipNameFilter --------------------------------------------------------

TZipNameFilter& TZipNameFilter::Exact(std::string name)
{
    FExact.push_back(std::move(name));
    return *this;
}

TZipNameFilter& TZipNameFilter::Around(std::string prefix, std::string suffix)
{
    FAround.emplace_back(std::move(prefix), std::move(suffix));
    return *this;
}

namespace {

char16_t Unit(char c)
{
    return static_cast<char16_t>(static_cast<uint8_t>(c));
}

char16_t Unit(char16_t c)
{
    return c;
}

// Whether `text` and the ASCII `pattern` are the same with ASCII letters
// taken without case, as the item list's look-up compares names.
template <class TView> bool SameAsciiFolded(TView text, std::string_view pattern)
{
    if (text.size() != pattern.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (base::AsciiUpper(Unit(text[i])) != base::AsciiUpper(Unit(pattern[i])))
            return false;
    return true;
}

} // namespace

template <class TView> bool TZipNameFilter::WantsView(TView name) const
{
    for (const std::string& exact : FExact)
        if (SameAsciiFolded(name, exact))
            return true;
    for (const auto& [prefix, suffix] : FAround)
        if (name.size() > prefix.size() + suffix.size() && SameAsciiFolded(name.substr(0, prefix.size()), prefix) &&
            SameAsciiFolded(name.substr(name.size() - suffix.size()), suffix))
            return true;
    return false;
}

bool TZipNameFilter::Wants(std::string_view name) const
{
    return WantsView(name);
}

bool TZipNameFilter::Wants(std::u16string_view name) const
{
    return WantsView(name);
}

// ---- TZipArchive -----------------------------------------------------------

TZipArchive::TZipArchive(base::TStream& stream, const std::u16string& archiveName)
    : TArchive(&stream, false, archiveName), FInfo(std::make_unique<TZipDirectoryFileFooter>())
{
}

TZipArchive::~TZipArchive() = default;

std::unique_ptr<TZipArchive> TZipArchive::CreateFromStream(base::TStream& stream, const std::u16string& archiveName)
{
    return std::unique_ptr<TZipArchive>(new TZipArchive(stream, archiveName));
}

void TZipArchive::SetupExtraction()
{
    FExtractToStreamHelper = [this](TArchiveItem& item, base::TStream* outStream) {
        UnzipToStreamProc(item, outStream);
    };
}

int64_t TZipArchive::CompressedReadBound(uint8_t method, int64_t output)
{
    constexpr int64_t Slack = 65536;
    output = std::clamp<int64_t>(output, 0, int64_t(1) << 56);
    int64_t eighths = 9;
    if (method == 0)
        eighths = 8;
    else if (method == 1)
        eighths = 13;
    else if (method >= 2 && method <= 5)
        eighths = 18;
    else if (method == 6)
        eighths = 17;
    return output / 8 * eighths + (output % 8 * eighths + 7) / 8 + Slack;
}

int64_t TZipArchive::FindEndOfCentralDirectory(base::TStream& stream)
{
    constexpr int64_t RecordSize = 22;
    constexpr int64_t MaxBuffer = 65536;
    const int64_t remembered = stream.Position();
    const int64_t size = stream.Size();

    uint8_t record[RecordSize];
    if (size - RecordSize >= 0) {
        stream.Seek(size - RecordSize, base::TSeekOrigin::soBeginning);
        stream.ExpectRead(RecordSize);
        if (ReadUpTo(stream, record, RecordSize) == RecordSize && GetLE32(record) == EndOfCentralDirSignature &&
            GetLE16(record + 20) == 0) {
            stream.Seek(size - RecordSize, base::TSeekOrigin::soBeginning);
            return size - RecordSize;
        }
    }

    // The record is followed by its comment and nothing else, so it starts
    // within the last MaxEndRecordDistance bytes; the search goes no further
    // back, or a large file without a record would be read in full.
    const int64_t lowest = std::max<int64_t>(0, size - MaxEndRecordDistance);
    std::vector<uint8_t> buffer;
    int64_t bufferSize = 512;
    int64_t windowOffset = -512; // relative to the end
    int64_t previousStart = size;
    bool startReached = false;
    for (;;) {
        if (startReached) {
            stream.Seek(remembered, base::TSeekOrigin::soBeginning);
            return -1;
        }
        base::BudgetTick(1 + bufferSize / 256);
        int64_t windowStart = size + windowOffset;
        int64_t windowSize = bufferSize;
        // A stream shorter than the windows so far is searched from its
        // start, with the room for the comment still counted from the
        // window's unclamped offset (so generously). Further back than the
        // record can lie, the window keeps to the bytes it may hold.
        const bool clampedAtStart = windowStart <= 0;
        if (clampedAtStart) {
            windowStart = 0;
            startReached = true;
        } else if (windowStart <= lowest) {
            windowStart = lowest;
            windowSize = std::min(bufferSize, previousStart + RecordSize - lowest);
            if (windowSize < RecordSize) {
                stream.Seek(remembered, base::TSeekOrigin::soBeginning);
                return -1; // the windows before covered every place
            }
            startReached = true;
        }
        stream.Seek(windowStart, base::TSeekOrigin::soBeginning);
        stream.ExpectRead(windowSize);
        buffer.resize(static_cast<size_t>(windowSize));
        const int64_t got = ReadUpTo(stream, buffer.data(), windowSize);
        if (got < RecordSize)
            return -1;
        // Every candidate of the window is tried, the last one first: a
        // comment may itself hold the signature bytes, and the real record
        // then lies before them in the same window.
        for (int64_t i = got - RecordSize; i >= 0; --i) {
            const uint8_t* p = buffer.data() + i;
            if (GetLE32(p) != EndOfCentralDirSignature)
                continue;
            const int64_t room = (clampedAtStart ? -windowOffset : size - windowStart) - i - RecordSize;
            if (GetLE16(p + 20) <= room) {
                stream.Seek(windowStart + i, base::TSeekOrigin::soBeginning);
                return windowStart + i;
            }
        }
        previousStart = windowStart;
        if (bufferSize < MaxBuffer)
            bufferSize = std::min(bufferSize * 2, MaxBuffer);
        windowOffset = windowOffset - bufferSize + RecordSize;
    }
}

void TZipArchive::ReadZip64EndRecords(int64_t endRecordPosition)
{
    // The locator immediately precedes the end record; nowhere else is it
    // looked for.
    constexpr int64_t LocatorSize = 20;
    const int64_t position = endRecordPosition - LocatorSize;
    uint8_t locator[LocatorSize] = {};
    if (position < 0)
        throw EZipInvalid();
    FStream->Seek(position, base::TSeekOrigin::soBeginning);
    if (ReadUpTo(*FStream, locator, LocatorSize) != LocatorSize ||
        GetLE32(locator) != Zip64EndOfCentralDirLocatorSignature)
        throw EZipInvalid();
    const uint64_t zip64EndOffset = GetLE64(locator + 8);
    const uint32_t totalDisks = GetLE32(locator + 16);
    FInfo->FDiskNumber = totalDisks - 1;
    if (FInfo->FDiskNumber != 0)
        return; // spanned: refused by the caller

    SeekTo(*FStream, zip64EndOffset);
    uint8_t record[56] = {};
    ReadUpTo(*FStream, record, sizeof record);
    if (GetLE32(record) != Zip64EndOfCentralDirSignature)
        throw EZipInvalid();
    TZipDirectoryFileFooter& info = *FInfo;
    if (info.FClassicDiskNumber == 0xFFFF)
        info.FDiskNumber = GetLE32(record + 16);
    if (info.FClassicStartDiskNumber == 0xFFFF)
        info.FStartDiskNumber = GetLE32(record + 20);
    if (info.FClassicEntriesOnDisk == 0xFFFF)
        info.FEntriesOnDisk = GetLE64(record + 24);
    if (info.FClassicTotalEntries == 0xFFFF)
        info.FTotalEntries = GetLE64(record + 32);
    if (info.FClassicDirectorySize == 0xFFFFFFFFu)
        info.FDirectorySize = GetLE64(record + 40);
    if (info.FClassicDirectoryOffset == 0xFFFFFFFFu)
        info.FDirectoryOffset = GetLE64(record + 48);
}

bool TZipArchive::SkipsEntry(const uint8_t* data, size_t size)
{
    // Only an entry whose item would be nothing but its plain fields is
    // left out: a valid signature; no field saturated, so no zip64 value
    // to read (which may fail); a name of ASCII bytes, decoded to itself
    // whatever the flags and code pages say, with no Unicode path field
    // that could replace it. Anything else is built as without a filter.
    if (GetLE32(data) != CentralFileHeaderSignature || GetLE32(data + 20) == 0xFFFFFFFFu ||
        GetLE32(data + 24) == 0xFFFFFFFFu || GetLE32(data + 42) == 0xFFFFFFFFu || GetLE16(data + 34) == 0xFFFF)
        return false;
    if (platform::AnsiCodePage() != platform::OemCodePage() && !AsciiKeptByCodePages())
        return false;
    const size_t nameLength = GetLE16(data + 28);
    const size_t extraLength = GetLE16(data + 30);
    if (46 + nameLength + extraLength > size)
        return false;
    const std::string_view name(reinterpret_cast<const char*>(data) + 46, nameLength);
    for (const char c : name)
        if (static_cast<uint8_t>(c) >= 0x80)
            return false;
    // The subfields walked as TExtraField::Get walks them.
    const uint8_t* extra = data + 46 + nameLength;
    for (size_t pos = 0; extraLength - pos >= 4;) {
        const uint16_t id = GetLE16(extra + pos);
        if (id == InfoZipUnicodePathId || id == NucxUnicodePathId)
            return false;
        pos += 4 + std::min<size_t>(GetLE16(extra + pos + 2), extraLength - pos - 4);
    }
    if (FNameFilter->Wants(name))
        return false;
    const uint32_t offset = GetLE32(data + 42);
    if (FIsExecutable && GetLE16(data + 34) == 0 && offset < FStubSize)
        FStubSize = offset;
    return true;
}

void TZipArchive::LoadArchive()
{
    base::TStream& stream = *FStream;
    if (stream.Size() == 0)
        return;

    uint8_t head[4] = {};
    stream.Seek(0, base::TSeekOrigin::soBeginning);
    stream.ExpectRead(4);
    ReadUpTo(stream, head, 4);
    FIsExecutable = (head[0] == 0x4D && head[1] == 0x5A) ||
                    (head[0] == 0x7F && head[1] == 0x45 && head[2] == 0x4C && head[3] == 0x46);

    // A spanned set's last disk could be asked for here, but only archives
    // opened from a file name can do that; a caller's stream is the whole
    // archive.
    const int64_t endRecord = FindEndOfCentralDirectory(stream);
    if (endRecord < 0) {
        FStatus = TArchiveStatus::asInvalid;
        throw EZipInvalid();
    }
    stream.Seek(endRecord, base::TSeekOrigin::soBeginning);
    FInfo->LoadFromStream(stream);

    if (FInfo->IsZip64()) {
        ReadZip64EndRecords(endRecord);
    }
    if (FInfo->FDiskNumber != 0) {
        FSpanned = true;
        throw EZipBadSpanStream();
    }

    const uint64_t total = FInfo->FTotalEntries;
    if (total > MaxDirectoryEntries)
        throw EZipInvalid();
    SeekTo(stream, FInfo->FDirectoryOffset);
    FStubSize = 0xFFFFFFFFu;
    // Items are read back to back until the stated count is reached; each
    // one consumes at least one fixed header of the stream, so a count that
    // lies ends at the first entry whose signature is wrong.
    TDirectoryReader reader(stream, FInfo->FDirectorySize);
    // Room for the stated entries up front, within what the stated size can
    // hold (46 bytes each at least): both are only claims, and the list
    // still grows past them for a real directory. A filtered load keeps a
    // handful of items.
    const size_t reserved = static_cast<size_t>(
        std::min<uint64_t>(FNameFilter ? 16 : total, FInfo->FDirectorySize / 46 + 1));
    FDirectoryCharge.Add(static_cast<int64_t>(reserved * (sizeof(void*) * 3)));
    FItemList.Reserve(reserved);
    // One entry read into this record after the other, so that its name,
    // extra field and comment buffers are reused.
    TZipDirectoryFileHeader entry;
    uint64_t nameBytes = 0;
    int64_t uncharged = 0;
    uint64_t count = 0;
    const auto countEntry = [&] {
        ++count;
        if (FOnArchiveProgress && ReportArchiveProgress(static_cast<uint8_t>(count * 100 / total))) {
            FStatus = TArchiveStatus::asInvalid;
            throw EArcUserAbort();
        }
    };
    while (count < total) {
        size_t available = reader.Ensure(46);
        if (available == 46)
            available = reader.Ensure(TZipDirectoryFileHeader::EntrySize(reader.Data()));
        base::BudgetTick(1 + static_cast<int64_t>(available / 64));
        if (available >= 46 && (nameBytes += GetLE16(reader.Data() + 28)) > MaxDirectoryNameBytes)
            throw EZipInvalid();
        if (FNameFilter && available >= 46 && available == TZipDirectoryFileHeader::EntrySize(reader.Data()) &&
            SkipsEntry(reader.Data(), available)) {
            reader.Skip(available);
            countEntry();
            continue;
        }
        reader.Skip(entry.LoadFromBuffer(reader.Data(), available));
        auto item = std::make_unique<TZipItem>();
        item->TakeEntry(entry);
        item->FDirectoryIndex = static_cast<uint32_t>(count);
        item->SetAction(TArchiveAction::aaNone);
        if (FIsExecutable && item->GetDiskNumberStart() == 0 && item->GetRelativeOffset() < FStubSize)
            FStubSize = static_cast<uint32_t>(item->GetRelativeOffset());
        // The item, its allocation and list slot, and a name too long to be
        // kept inside the string.
        const size_t nameCapacity = item->GetFileName().capacity();
        uncharged += static_cast<int64_t>(sizeof(TZipItem) + 16 + sizeof(void*) +
                                          (nameCapacity > 7 ? (nameCapacity + 1) * sizeof(char16_t) + 16 : 0));
        if (uncharged >= 65536) {
            FDirectoryCharge.Add(uncharged);
            uncharged = 0;
        }
        FItemList.Add(std::move(item));
        countEntry();
    }
    FDirectoryCharge.Add(uncharged);
    FDirectoryEntries = count;
    ReportArchiveProgress(100);
    FIsDirty = false;
}

} // namespace addoscope::zip
