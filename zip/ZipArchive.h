#pragma once
// Public face of the zip reader: an archive over a caller's seekable stream,
// its item directory, look-up by name and extraction of one item.
#include "base/Stream.h"
#include "zip/ArcTypes.h"
#include "zip/ZipRecords.h"

#include <cstdint>
#include <memory>
#include <string>

namespace addoscope::zip {

// One entry of the central directory, with its name decoded and its sizes
// and offset widened by the zip64 extra field.
class TZipItem : public TArchiveItem {
public:
    TZipItem();
    ~TZipItem() override;

    // Reads the entry at the stream's position. Errors propagate.
    void LoadFromStream(base::TStream& stream);
    // The same from bytes in memory (see TZipDirectoryFileHeader); answers
    // the bytes the entry took.
    size_t LoadFromBuffer(const uint8_t* data, size_t available);

    uint32_t GetCRC32() const override { return FItemInfo.FCRC32; }
    bool GetIsEncrypted() const override { return FItemInfo.IsEncrypted(); }
    uint16_t GetVersionNeededToExtract() const { return FItemInfo.FVersionNeededToExtract; }
    uint16_t GetVersionMadeBy() const { return FItemInfo.FVersionMadeBy; }
    // The high byte of version-made-by: 0 is MS-DOS.
    uint8_t GetHostSystem() const { return static_cast<uint8_t>(FItemInfo.FVersionMadeBy >> 8); }
    uint16_t GetGeneralPurposeBitFlag() const { return FItemInfo.FGeneralPurposeBitFlag; }
    // The method in use is the low byte of the stored 16-bit field.
    uint8_t GetCompressionMethod() const { return static_cast<uint8_t>(FItemInfo.FCompressionMethod); }
    uint16_t GetRawCompressionMethod() const { return FItemInfo.FCompressionMethod; }
    // Imploded items: 8 KiB dictionary when flag bit 1 is set, else 4 KiB;
    // 3 Shannon-Fano trees when bit 2 is set, else 2.
    uint32_t GetDictionarySize() const { return (GetGeneralPurposeBitFlag() & 2) ? 8192 : 4096; }
    int GetShannonFanoTreeCount() const { return (GetGeneralPurposeBitFlag() & 4) ? 3 : 2; }
    uint64_t GetRelativeOffset() const { return FRelativeOffset; }
    uint32_t GetDiskNumberStart() const { return FDiskNumberStart; }
    const TZipDirectoryFileHeader& ItemInfo() const { return FItemInfo; }

private:
    // Name decoding and zip64 widening once the entry is read.
    void TakeEntry();

    TZipDirectoryFileHeader FItemInfo;
    uint32_t FDiskNumberStart = 0;
    TExtraField FLFHExtraField;
    uint64_t FRelativeOffset = 0;
};

class TZipArchive : public TArchive {
public:
    // The archive reads `stream` but does not own it; the caller frees the
    // stream after the archive.
    static std::unique_ptr<TZipArchive> CreateFromStream(base::TStream& stream, const std::u16string& archiveName);
    ~TZipArchive() override;

    // Points the extraction slots at the archive's own procedures; without
    // this, ExtractToStream fails (quietly) with EZipNoExtraction.
    void SetupExtraction();

    // Load (reads the central directory; errors propagate), FindFile and
    // ExtractToStream (never raises for a failed extraction: the target
    // keeps what was written) come from TArchive.

    // The item's decoded name at an index in directory order.
    const std::u16string& ItemName(int index) const { return Item(index).GetFileName(); }
    TZipItem& Item(int index) const { return static_cast<TZipItem&>(TArchive::Item(index)); }

    const TZipDirectoryFileFooter& Info() const { return *FInfo; }
    bool IsExecutable() const { return FIsExecutable; }
    uint32_t StubSize() const { return FStubSize; }

    // Traditional encryption: the password tried for encrypted items, and
    // the handler asked for one when it is empty or wrong. The plugin sets
    // neither, so encrypted items fail with EZipInvalidPassword.
    void SetPassword(const std::u16string& password) { FPassword = password; }
    void SetOnNeedPassword(TOnNeedPassword handler) { FOnNeedPassword = std::move(handler); }

    // How far from the stream's end the end-of-directory record may start:
    // the record (22 bytes) and the longest comment (65,535).
    static constexpr int64_t MaxEndRecordDistance = 22 + 65535;

    // The end-of-directory record's position, or -1 (the stream is left at
    // the record when found). Reads only the last MaxEndRecordDistance
    // bytes.
    static int64_t FindEndOfCentralDirectory(base::TStream& stream);

    // The extract-to-stream procedure (see UnzipProc.cpp).
    void UnzipToStreamProc(TArchiveItem& item, base::TStream* outStream);

protected:
    explicit TZipArchive(base::TStream& stream, const std::u16string& archiveName);
    void LoadArchive() override;

private:
    std::unique_ptr<base::TStream> OpenItemData(TZipItem& item);
    void DecodeItemData(TZipItem& item, base::TStream& input, base::TStream& target);
    void ReadZip64EndRecords(int64_t endRecordPosition);

    std::unique_ptr<TZipDirectoryFileFooter> FInfo;
    bool FIsExecutable = false;
    std::u16string FPassword;
    int FPasswordRetries = 3;
    uint32_t FStubSize = 0xFFFFFFFFu;
    TOnNeedPassword FOnNeedPassword;
};

} // namespace addoscope::zip
