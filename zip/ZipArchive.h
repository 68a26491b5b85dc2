#pragma once
// Public face of the zip reader: an archive over a caller's seekable stream,
// its item directory, look-up by name and extraction of one item.
#include "base/Budget.h"
#include "base/Stream.h"
#include "zip/ArcTypes.h"
#include "zip/ZipRecords.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace addoscope::zip {

// One entry of the central directory, with its name decoded and its sizes
// and offset widened by the zip64 extra field. An item keeps only what
// its getters answer; the entry's extra field and comment serve while it
// is read and are not kept.
class TZipItem : public TArchiveItem {
public:
    TZipItem();
    ~TZipItem() override;

    // Reads the entry at the stream's position. Errors propagate.
    void LoadFromStream(base::TStream& stream);
    // Takes the item from an entry just read (see TZipDirectoryFileHeader),
    // whose name it may take over.
    void TakeEntry(TZipDirectoryFileHeader& entry);

    uint16_t GetVersionNeededToExtract() const { return FVersionNeededToExtract; }
    uint16_t GetVersionMadeBy() const { return FVersionMadeBy; }
    // The high byte of version-made-by: 0 is MS-DOS.
    uint8_t GetHostSystem() const { return static_cast<uint8_t>(FVersionMadeBy >> 8); }
    uint16_t GetGeneralPurposeBitFlag() const { return FGeneralPurposeBitFlag; }
    // The method in use is the low byte of the stored 16-bit field.
    uint8_t GetCompressionMethod() const { return static_cast<uint8_t>(FCompressionMethod); }
    uint16_t GetRawCompressionMethod() const { return FCompressionMethod; }
    // Imploded items: 8 KiB dictionary when flag bit 1 is set, else 4 KiB;
    // 3 Shannon-Fano trees when bit 2 is set, else 2.
    uint32_t GetDictionarySize() const { return (GetGeneralPurposeBitFlag() & 2) ? 8192 : 4096; }
    int GetShannonFanoTreeCount() const { return (GetGeneralPurposeBitFlag() & 4) ? 3 : 2; }
    uint64_t GetRelativeOffset() const { return FRelativeOffset; }
    uint32_t GetDiskNumberStart() const { return FDiskNumberStart; }
    uint16_t GetInternalFileAttributes() const { return FInternalFileAttributes; }
    // The size of the item's local header as its central entry suggests
    // (fixed part, name and extra field of the same lengths): where the
    // item's data likely begin, so that header and data are read at once.
    uint32_t GetLocalHeaderGuess() const { return FLocalHeaderGuess; }
    // The entry's position in the central directory, counting every entry
    // (items a name filter left out included).
    uint32_t GetDirectoryIndex() const { return FDirectoryIndex; }

private:
    friend class TZipArchive;
    uint64_t FRelativeOffset = 0;
    uint32_t FLocalHeaderGuess = 0;
    uint32_t FDirectoryIndex = 0;
    uint32_t FDiskNumberStart = 0;
    uint16_t FVersionMadeBy = 0;
    uint16_t FVersionNeededToExtract = 0;
    uint16_t FGeneralPurposeBitFlag = 0;
    uint16_t FCompressionMethod = 0;
    uint16_t FInternalFileAttributes = 0;
};

// The names a reader will look up, so that a directory load builds items
// only for entries that may carry one of them. A name is wanted when it
// equals one of the exact names, or starts with a prefix and ends with its
// suffix (with something between them), ASCII letters compared without
// case as look-ups compare them. Only plain-ASCII stored names are judged
// by their bytes; an entry whose name is decoded any other way (high
// bytes, a Unicode path extra field, code pages that move ASCII) is always
// built, since its decoded name cannot be seen without decoding it.
class TZipNameFilter {
public:
    TZipNameFilter& Exact(std::string name);
    TZipNameFilter& Around(std::string prefix, std::string suffix);

    bool Wants(std::string_view name) const;
    bool Wants(std::u16string_view name) const;

private:
    template <class TView> bool WantsView(TView name) const;
    std::vector<std::string> FExact;
    std::vector<std::pair<std::string, std::string>> FAround;
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

    // Before Load: keep only the items whose names `filter` wants (see
    // TZipNameFilter), so that a large directory costs no item, decoded
    // name or index slot for the entries nobody asks for. FindFile then
    // answers the same item as the full directory for every name the
    // filter wants; for the others, nothing or one of the kept items of
    // that name. Count, Item and ItemName see the kept items only. Every entry is still read and checked as
    // without a filter: the same limits and the same errors. The filter
    // must outlive Load.
    void SetNameFilter(const TZipNameFilter* filter) { FNameFilter = filter; }
    // The entries the directory holds, kept or not.
    uint64_t DirectoryEntries() const { return FDirectoryEntries; }

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

    // The most entries a directory may hold, and the most name bytes in all
    // its entries: far above any add-on package (a few thousand entries of
    // names some tens of bytes long), and low enough that a directory's
    // items stay some tens of megabytes. Larger directories are refused
    // with EZipInvalid.
    static constexpr uint64_t MaxDirectoryEntries = 100000;
    static constexpr uint64_t MaxDirectoryNameBytes = 8 << 20;

    // How far from the stream's end the end-of-directory record may start:
    // the record (22 bytes) and the longest comment (65,535).
    static constexpr int64_t MaxEndRecordDistance = 22 + 65535;

    // The most compressed bytes an item of `method` needs to hold `output`
    // bytes when its encoder did what the method allows, for
    // SetCompressedReadLimit: the output itself for stored data; 9/8 of it
    // for Deflate, Deflate64, bzip2, LZMA, PPMd, WavPack and unknown methods
    // (literals of nine bits at worst; the others expand incompressible
    // data by under 3%); 13/8 for shrink (a 13-bit code per byte), 17/8
    // for implode (a flag and a 16-bit literal code per byte) and 9/4 for
    // reduce (the escape byte written twice, each nine bits); and 64 KiB
    // more for headers, trees, follower sets and an encryption header.
    static int64_t CompressedReadBound(uint8_t method, int64_t output);

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

    // Whether the entry in `data` (complete, `size` bytes) is left out by the
    // name filter; advances the stub size as its item would.
    bool SkipsEntry(const uint8_t* data, size_t size);

    std::unique_ptr<TZipDirectoryFileFooter> FInfo;
    const TZipNameFilter* FNameFilter = nullptr;
    uint64_t FDirectoryEntries = 0;
    // The memory of the items read, counted against the reading's budget.
    base::TBudgetCharge FDirectoryCharge;
    bool FIsExecutable = false;
    std::u16string FPassword;
    int FPasswordRetries = 3;
    uint32_t FStubSize = 0xFFFFFFFFu;
    TOnNeedPassword FOnNeedPassword;
};

} // namespace addoscope::zip
