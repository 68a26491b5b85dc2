#include "zip/ZipRecords.h"

#include "base/Budget.h"
#include "base/Exception.h"
#include "platform/Platform.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <cstring>

namespace addoscope::zip {

// ---- TExtraField -----------------------------------------------------------

void TExtraField::LoadFromStream(base::TStream& stream, uint16_t size)
{
    FBuffer.assign(size, 0);
    stream.ReadBuffer(FBuffer.data(), size);
}

void TExtraField::Assign(const void* data, size_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    FBuffer.assign(bytes, bytes + size);
}

bool TExtraField::Get(uint16_t id, const uint8_t*& data, uint16_t& size)
{
    size_t pos = 0;
    while (FBuffer.size() - pos >= 4) {
        base::BudgetTick();
        uint8_t* header = FBuffer.data() + pos;
        const uint16_t subId = GetLE16(header);
        uint16_t subSize = GetLE16(header + 2);
        const size_t remaining = FBuffer.size() - pos - 4;
        if (subSize > remaining) {
            subSize = static_cast<uint16_t>(remaining);
            header[2] = static_cast<uint8_t>(subSize);
            header[3] = static_cast<uint8_t>(subSize >> 8);
        }
        if (subId == id) {
            data = header + 4;
            size = subSize;
            return true;
        }
        pos += 4 + size_t(subSize);
    }
    return false;
}

std::unique_ptr<base::TMemoryStream> TExtraField::GetStream(uint16_t id)
{
    const uint8_t* data = nullptr;
    uint16_t size = 0;
    if (!Get(id, data, size))
        return nullptr;
    auto stream = std::make_unique<base::TMemoryStream>();
    stream->LoadFromBuffer(data, size);
    return stream;
}

// ---- Headers ---------------------------------------------------------------

namespace {

// Reads up to `count` bytes; whatever is missing stays as it was (zero).
void ReadTolerant(base::TStream& stream, void* buffer, int64_t count)
{
    auto* p = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        const int64_t n = stream.Read(p, count);
        if (n <= 0)
            return;
        p += n;
        count -= n;
    }
}

std::string ReadBytes(base::TStream& stream, uint16_t count)
{
    std::string bytes(count, '\0');
    ReadTolerant(stream, bytes.data(), count);
    return bytes;
}

} // namespace

void TZipLocalFileHeader::LoadFromStream(base::TStream& stream)
{
    uint8_t fixed[30] = {};
    ReadTolerant(stream, fixed, sizeof fixed);
    FSignature = GetLE32(fixed);
    FVersionNeededToExtract = GetLE16(fixed + 4);
    FGeneralPurposeBitFlag = GetLE16(fixed + 6);
    FCompressionMethod = GetLE16(fixed + 8);
    FLastModFileTime = GetLE16(fixed + 10);
    FLastModFileDate = GetLE16(fixed + 12);
    FCRC32 = GetLE32(fixed + 14);
    FCompressedSize = GetLE32(fixed + 18);
    FUncompressedSize = GetLE32(fixed + 22);
    const uint16_t nameLength = GetLE16(fixed + 26);
    const uint16_t extraLength = GetLE16(fixed + 28);
    // Nothing of the name or extra field is used, but both must be passed
    // to reach the data; a header that is not one is rejected before that.
    if (!IsValid())
        throw EZipInvalid();
    FFileName = DecodeStoredName(ReadBytes(stream, nameLength));
    FExtraField.LoadFromStream(stream, extraLength);
}

namespace {

struct TEntryLengths {
    uint16_t Name, Extra, Comment;
};

TEntryLengths ParseFixed(TZipDirectoryFileHeader& h, const uint8_t* fixed)
{
    h.FSignature = GetLE32(fixed);
    h.FVersionMadeBy = GetLE16(fixed + 4);
    h.FVersionNeededToExtract = GetLE16(fixed + 6);
    h.FGeneralPurposeBitFlag = GetLE16(fixed + 8);
    h.FCompressionMethod = GetLE16(fixed + 10);
    h.FLastModFileTime = GetLE16(fixed + 12);
    h.FLastModFileDate = GetLE16(fixed + 14);
    h.FCRC32 = GetLE32(fixed + 16);
    h.FCompressedSize = GetLE32(fixed + 20);
    h.FUncompressedSize = GetLE32(fixed + 24);
    h.FDiskNumberStart = GetLE16(fixed + 34);
    h.FInternalFileAttributes = GetLE16(fixed + 36);
    h.FExternalFileAttributes = GetLE32(fixed + 38);
    h.FRelativeOffset = GetLE32(fixed + 42);
    return {GetLE16(fixed + 28), GetLE16(fixed + 30), GetLE16(fixed + 32)};
}

} // namespace

size_t TZipDirectoryFileHeader::EntrySize(const uint8_t* fixed)
{
    return 46 + size_t(GetLE16(fixed + 28)) + GetLE16(fixed + 30) + GetLE16(fixed + 32);
}

void TZipDirectoryFileHeader::LoadFromStream(base::TStream& stream)
{
    uint8_t fixed[46] = {};
    ReadTolerant(stream, fixed, sizeof fixed);
    const TEntryLengths lengths = ParseFixed(*this, fixed);

    FRawFileName = ReadBytes(stream, lengths.Name);
    FFileName = DecodeStoredName(FRawFileName);
    FExtraField.LoadFromStream(stream, lengths.Extra);
    if (lengths.Comment != 0)
        FFileComment = platform::AnsiToUnicode(ReadBytes(stream, lengths.Comment));
    else
        FFileComment.clear();
    if (!IsValid())
        throw EZipInvalid();
}

size_t TZipDirectoryFileHeader::LoadFromBuffer(const uint8_t* data, size_t available)
{
    // Missing bytes of the fixed part, name and comment read as zeros, as a
    // short stream read leaves them; a short extra field is an error.
    uint8_t fixed[46] = {};
    size_t pos = std::min(sizeof fixed, available);
    std::memcpy(fixed, data, pos);
    const TEntryLengths lengths = ParseFixed(*this, fixed);

    const size_t nameBytes = std::min<size_t>(lengths.Name, available - pos);
    FRawFileName.assign(reinterpret_cast<const char*>(data + pos), nameBytes);
    FRawFileName.resize(lengths.Name, '\0');
    pos += nameBytes;
    FFileName = DecodeStoredName(FRawFileName);
    if (available - pos < lengths.Extra)
        throw base::EReadError();
    FExtraField.Assign(data + pos, lengths.Extra);
    pos += lengths.Extra;
    if (lengths.Comment != 0) {
        const size_t commentBytes = std::min<size_t>(lengths.Comment, available - pos);
        std::string comment(reinterpret_cast<const char*>(data + pos), commentBytes);
        comment.resize(lengths.Comment, '\0');
        pos += commentBytes;
        FFileComment = platform::AnsiToUnicode(comment);
    } else {
        FFileComment.clear();
    }
    if (!IsValid())
        throw EZipInvalid();
    return pos;
}

// ---- TZipDirectoryFileFooter -----------------------------------------------

void TZipDirectoryFileFooter::LoadFromStream(base::TStream& stream)
{
    uint8_t fixed[22] = {};
    ReadTolerant(stream, fixed, sizeof fixed);
    if (GetLE32(fixed) != EndOfCentralDirSignature)
        throw EZipInvalid();
    FClassicDiskNumber = GetLE16(fixed + 4);
    FClassicStartDiskNumber = GetLE16(fixed + 6);
    FClassicEntriesOnDisk = GetLE16(fixed + 8);
    FClassicTotalEntries = GetLE16(fixed + 10);
    FClassicDirectorySize = GetLE32(fixed + 12);
    FClassicDirectoryOffset = GetLE32(fixed + 16);
    const uint16_t commentLength = GetLE16(fixed + 20);

    FDiskNumber = FClassicDiskNumber;
    FStartDiskNumber = FClassicStartDiskNumber;
    FEntriesOnDisk = FClassicEntriesOnDisk;
    FTotalEntries = FClassicTotalEntries;
    FDirectorySize = FClassicDirectorySize;
    FDirectoryOffset = FClassicDirectoryOffset;
    FIsZip64 = FClassicDiskNumber == 0xFFFF || FClassicStartDiskNumber == 0xFFFF ||
               FClassicEntriesOnDisk == 0xFFFF || FClassicTotalEntries == 0xFFFF ||
               FClassicDirectorySize == 0xFFFFFFFFu || FClassicDirectoryOffset == 0xFFFFFFFFu;

    if (commentLength != 0) {
        std::string comment(commentLength, '\0');
        stream.ReadBuffer(comment.data(), commentLength);
        FZipfileComment = platform::AnsiToUnicode(comment);
    } else {
        FZipfileComment.clear();
    }
}

} // namespace addoscope::zip
