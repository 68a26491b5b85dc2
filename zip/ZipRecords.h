#pragma once
// The zip format's records as the reader meets them: extra fields, local and
// central file headers, the end-of-directory record (after zip64 widening),
// and the rules that decode stored names.
#include "base/LittleEndian.h"
#include "base/MemoryStream.h"
#include "base/Stream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace addoscope::zip {

constexpr uint32_t LocalFileHeaderSignature = 0x04034B50;
constexpr uint32_t CentralFileHeaderSignature = 0x02014B50;
constexpr uint32_t EndOfCentralDirSignature = 0x06054B50;
constexpr uint32_t Zip64EndOfCentralDirSignature = 0x06064B50;
constexpr uint32_t Zip64EndOfCentralDirLocatorSignature = 0x07064B50;
constexpr uint32_t SpannedArchiveSignature = 0x08074B50;

constexpr uint16_t Zip64ExtraFieldId = 0x0001;
constexpr uint16_t InfoZipUnicodePathId = 0x7075;
constexpr uint16_t NucxUnicodePathId = 0x554E;
constexpr uint32_t NucxUnicodePathMarker = 0x5843554E;

using base::GetLE16;
using base::GetLE32;
using base::GetLE64;

// ---- Names -------------------------------------------------------------

enum class TNameCharSet { ascii, ansi, utf8 };

// ascii when every byte is below 0x80; utf8 when the high bytes form
// complete UTF-8 sequences (overlong and surrogate forms not examined);
// ansi otherwise.
TNameCharSet DetectNameCharSet(std::string_view bytes);

// Whether a name's high bytes look like letters of the current OEM code
// page rather than of the ANSI one. False for names without high bytes and
// for OEM code pages the table does not know.
bool IsOemName(std::string_view bytes);
// The same test for a given OEM code page (for tests of the table).
bool IsOemNameForCodePage(std::string_view bytes, unsigned oemCodePage);

// Decodes stored name bytes by their detected character set.
std::u16string DecodeStoredName(std::string_view bytes);

// ---- Extra fields ------------------------------------------------------

// The raw extra-field bytes: subfields of a 16-bit id, a 16-bit size and
// that many data bytes.
class TExtraField {
public:
    // Reads exactly `size` bytes; a short read raises EReadError.
    void LoadFromStream(base::TStream& stream, uint16_t size);
    void Assign(const void* data, size_t size);

    // Finds the first subfield with the id. A subfield whose declared size
    // runs past the end is clamped to the bytes that remain (and the buffer
    // is corrected to say so).
    bool Get(uint16_t id, const uint8_t*& data, uint16_t& size);
    // The subfield's data as a new stream positioned at 0, or null.
    std::unique_ptr<base::TMemoryStream> GetStream(uint16_t id);

    const std::vector<uint8_t>& Buffer() const { return FBuffer; }

private:
    std::vector<uint8_t> FBuffer;
};

// ---- File headers ------------------------------------------------------

class TZipFileHeader {
public:
    explicit TZipFileHeader(uint32_t validSignature) : FValidSignature(validSignature) {}
    virtual ~TZipFileHeader() = default;
    TZipFileHeader(const TZipFileHeader&) = delete;
    TZipFileHeader& operator=(const TZipFileHeader&) = delete;

    bool IsEncrypted() const { return (FGeneralPurposeBitFlag & 0x0001) != 0; }
    bool HasDataDescriptor() const { return (FGeneralPurposeBitFlag & 0x0008) != 0; }
    bool IsUTF8() const { return (FGeneralPurposeBitFlag & 0x0800) != 0; }
    bool IsValid() const { return FSignature == FValidSignature; }

    uint32_t FValidSignature;
    uint32_t FSignature = 0;
    uint16_t FVersionNeededToExtract = 0;
    uint16_t FGeneralPurposeBitFlag = 0;
    uint16_t FCompressionMethod = 0;
    uint16_t FLastModFileTime = 0;
    uint16_t FLastModFileDate = 0;
    uint32_t FCRC32 = 0;
    uint32_t FCompressedSize = 0;
    uint32_t FUncompressedSize = 0;
    std::u16string FFileName;
    TExtraField FExtraField;
};

class TZipLocalFileHeader : public TZipFileHeader {
public:
    TZipLocalFileHeader() : TZipFileHeader(LocalFileHeaderSignature) {}
    // Reads the header, its name and extra field; a wrong signature raises
    // EZipInvalid. Leaves the stream at the item's data.
    void LoadFromStream(base::TStream& stream);
};

class TZipDirectoryFileHeader : public TZipFileHeader {
public:
    TZipDirectoryFileHeader() : TZipFileHeader(CentralFileHeaderSignature) {}
    // Reads one central directory entry. Short reads of the fixed fields,
    // name or comment are not errors in themselves; the signature check that
    // follows them catches a directory that ends early. A short extra field
    // raises EReadError, a wrong signature EZipInvalid.
    void LoadFromStream(base::TStream& stream);
    // The same from `available` bytes in memory, whose end stands for the
    // stream's end: the same fields, the same errors. Answers the bytes the
    // entry took.
    size_t LoadFromBuffer(const uint8_t* data, size_t available);
    // Bytes an entry takes, from its first 46 bytes.
    static size_t EntrySize(const uint8_t* fixed);

    std::string FRawFileName;
    uint16_t FVersionMadeBy = 0;
    uint16_t FDiskNumberStart = 0;
    uint16_t FInternalFileAttributes = 0;
    uint32_t FExternalFileAttributes = 0;
    uint32_t FRelativeOffset = 0;
    std::u16string FFileComment;
};

// The end-of-central-directory record, widened by the zip64 record.
class TZipDirectoryFileFooter {
public:
    // True when the classic record saturates any field, which announces
    // zip64 records in front of it.
    bool IsZip64() const { return FIsZip64; }
    // Reads the 22-byte record and its comment at the stream's position.
    void LoadFromStream(base::TStream& stream);

    uint32_t FDiskNumber = 0;
    uint32_t FStartDiskNumber = 0;
    uint64_t FEntriesOnDisk = 0;
    uint64_t FTotalEntries = 0;
    uint64_t FDirectorySize = 0;
    uint64_t FDirectoryOffset = 0;
    std::u16string FZipfileComment;

    // The values as the classic record stored them.
    uint16_t FClassicDiskNumber = 0;
    uint16_t FClassicStartDiskNumber = 0;
    uint16_t FClassicEntriesOnDisk = 0;
    uint16_t FClassicTotalEntries = 0;
    uint32_t FClassicDirectorySize = 0;
    uint32_t FClassicDirectoryOffset = 0;

private:
    bool FIsZip64 = false;
};

} // namespace addoscope::zip
