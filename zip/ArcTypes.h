#pragma once
// Format-neutral archive classes: one archive entry, the item list with its
// name index, and the archive that owns both.
#include "base/Stream.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace addoscope::zip {

enum class TArchiveAction { aaFailed, aaNone, aaAdd, aaDelete, aaFreshen, aaMove, aaReplace, aaStreamAdd };
enum class TArchiveStatus { asInvalid, asIdle, asBusy };
enum class TProcessType { ptAdd, ptDelete, ptExtract, ptFreshen, ptMove, ptReplace, ptFoundUnhandled };
enum class TErrorClass { ecArchive, ecCabError, ecFileCreateError, ecFileOpenError, ecFilerError, ecInOutError, ecOther };

// One entry of an archive. Items read from a directory are never changed
// after loading.
class TArchiveItem {
public:
    TArchiveItem() = default;
    virtual ~TArchiveItem() = default;
    TArchiveItem(const TArchiveItem&) = delete;
    TArchiveItem& operator=(const TArchiveItem&) = delete;

    virtual const std::u16string& GetFileName() const { return FFileName; }
    virtual uint64_t GetCompressedSize() const { return FCompressedSize; }
    virtual uint64_t GetUncompressedSize() const { return FUncompressedSize; }
    virtual uint32_t GetCRC32() const { return FCRC32; }
    virtual bool GetIsEncrypted() const { return FIsEncrypted; }
    // The name with Windows path separators, made when asked: nearly no
    // item is ever asked for it.
    std::u16string GetDiskFileName() const;
    uint32_t GetExternalFileAttributes() const { return FExternalFileAttributes; }
    uint16_t GetLastModFileTime() const { return FLastModFileTime; }
    uint16_t GetLastModFileDate() const { return FLastModFileDate; }
    TArchiveAction Action() const { return FAction; }
    void SetAction(TArchiveAction action) { FAction = action; }
    bool Tagged() const { return FTagged; }

    // Next item of the same hash chain; maintained by TArchiveList.
    TArchiveItem* NextItem = nullptr;

protected:
    TArchiveAction FAction = TArchiveAction::aaNone;
    uint64_t FCompressedSize = 0;
    uint32_t FCRC32 = 0;
    uint32_t FExternalFileAttributes = 0;
    std::u16string FFileName;
    bool FIsEncrypted = false;
    uint16_t FLastModFileTime = 0;
    uint16_t FLastModFileDate = 0;
    bool FTagged = false;
    uint64_t FUncompressedSize = 0;

private:
    friend class TArchiveList;
    int FIndex = -1; // position in the ordered list, kept by the list
};

// The archive's items in directory order, with a 1021-bucket name index.
class TArchiveList {
public:
    static constexpr size_t HashSize = 1021;

    explicit TArchiveList(bool ownsItems = true);
    ~TArchiveList();
    TArchiveList(const TArchiveList&) = delete;
    TArchiveList& operator=(const TArchiveList&) = delete;

    // Appends the item; a later item with an equal name shadows earlier ones
    // in look-ups, since it goes to the front of its chain.
    void Add(std::unique_ptr<TArchiveItem> item);
    // Room for `count` items, so a directory of known size fills the list
    // without regrowing it.
    void Reserve(size_t count) { FList.reserve(count); }
    // Position of the item named so (ASCII letters compared without case),
    // or -1.
    int Find(const std::u16string& fileName) const;
    void Clear();

    int Count() const { return static_cast<int>(FList.size()); }
    TArchiveItem& Item(int index) const { return *FList[static_cast<size_t>(index)]; }

    // Bucket of a name: locale-aware upper-casing, then the classic ELF-style
    // hash over the UTF-16 code units.
    static uint32_t NameHash(const std::u16string& fileName);

private:
    std::vector<std::unique_ptr<TArchiveItem>> FList;
    bool FOwnsItems;
    std::array<TArchiveItem*, HashSize> HashTable {};
};

// Signatures of the optional handlers. None is set by the plugin; they let
// a caller watch or steer loading and extraction.
using TOnProcessItemFailure = std::function<void(TArchiveItem& item, TProcessType processType, TErrorClass errorClass, int32_t errorCode)>;
using TOnConfirmProcessItem = std::function<void(TArchiveItem& item, TProcessType processType, bool& confirm)>;
using TOnArchiveProgress = std::function<void(uint8_t progress, bool& abort)>;
using TOnLoad = std::function<void()>;
using TOnNeedPassword = std::function<void(std::u16string& password)>;
using TExtractToStreamProc = std::function<void(TArchiveItem& item, base::TStream* outStream)>;

class TArchive {
public:
    virtual ~TArchive();
    TArchive(const TArchive&) = delete;
    TArchive& operator=(const TArchive&) = delete;

    // Reads the archive's directory. Errors propagate to the caller.
    void Load();
    // Index of the item in directory order, or -1.
    int FindFile(const std::u16string& fileName) const { return FItemList.Find(fileName); }
    // Appends the item's uncompressed bytes to `target`. A missing name does
    // nothing; a failed extraction is reported to OnProcessItemFailure (if
    // set) and otherwise only visible in what reached the target.
    void ExtractToStream(const std::u16string& fileName, base::TStream& target);

    int Count() const { return FItemList.Count(); }
    TArchiveItem& Item(int index) const { return FItemList.Item(index); }
    TArchiveStatus Status() const { return FStatus; }
    const std::u16string& ArchiveName() const { return FArchiveName; }

    void SetOnProcessItemFailure(TOnProcessItemFailure handler) { FOnProcessItemFailure = std::move(handler); }
    void SetOnConfirmProcessItem(TOnConfirmProcessItem handler) { FOnConfirmProcessItem = std::move(handler); }
    void SetOnArchiveProgress(TOnArchiveProgress handler) { FOnArchiveProgress = std::move(handler); }
    void SetOnLoad(TOnLoad handler) { FOnLoad = std::move(handler); }

protected:
    TArchive(base::TStream* stream, bool ownsStream, std::u16string archiveName);

    virtual void LoadArchive() = 0;
    // Reports progress of loading; answers true when the handler asks to stop.
    bool ReportArchiveProgress(uint8_t progress);

    base::TStream* FStream;
    bool FOwnsStream;
    std::u16string FArchiveName;
    TArchiveStatus FStatus = TArchiveStatus::asIdle;
    TArchiveList FItemList {true};
    TArchiveItem* FCurrentItem = nullptr;
    bool FSpanned = false;
    bool FIsDirty = false;
    TExtractToStreamProc FExtractToStreamHelper;
    TOnProcessItemFailure FOnProcessItemFailure;
    TOnArchiveProgress FOnArchiveProgress;
    TOnConfirmProcessItem FOnConfirmProcessItem;
    TOnLoad FOnLoad;
};

} // namespace addoscope::zip
