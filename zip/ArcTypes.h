#pragma once
// Format-neutral archive classes: one archive entry, the item list with its
// name index, and the archive that owns both.
#include "base/SeededHash.h"
#include "base/Stream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace addoscope::zip {

enum class TArchiveAction : uint8_t { aaFailed, aaNone, aaAdd, aaDelete, aaFreshen, aaMove, aaReplace, aaStreamAdd };
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
    // Laid out widest first: a directory may hold many thousands of items.
    std::u16string FFileName;
    uint64_t FCompressedSize = 0;
    uint64_t FUncompressedSize = 0;
    uint32_t FCRC32 = 0;
    uint32_t FExternalFileAttributes = 0;
    uint16_t FLastModFileTime = 0;
    uint16_t FLastModFileDate = 0;
    TArchiveAction FAction = TArchiveAction::aaNone;
    bool FIsEncrypted = false;
    bool FTagged = false;

private:
    friend class TArchiveList;
    int FIndex = -1; // position in the ordered list, kept by the list
};

// The archive's items in directory order, with a name index: chains of
// items whose names hash alike, as many chains as items (a power of two),
// the hash keyed afresh for every list so that no file can choose names
// that crowd one chain.
class TArchiveList {
public:
    explicit TArchiveList(bool ownsItems = true);
    ~TArchiveList();
    TArchiveList(const TArchiveList&) = delete;
    TArchiveList& operator=(const TArchiveList&) = delete;

    // Appends the item; a later item with an equal name shadows earlier ones
    // in look-ups, since it goes to the front of its chain.
    void Add(std::unique_ptr<TArchiveItem> item);
    // Room for `count` items, so a directory of known size fills the list
    // without regrowing it.
    void Reserve(size_t count);
    // Position of the item named so, or -1. An item whose name is the same
    // code unit for code unit is preferred; otherwise ASCII letters compare
    // without case. Of several such items the one added last wins.
    int Find(std::u16string_view fileName) const;
    void Clear();

    int Count() const { return static_cast<int>(FList.size()); }
    TArchiveItem& Item(int index) const { return *FList[static_cast<size_t>(index)]; }

    // Hash of a name in which ASCII letters count without case, so that
    // names the look-up takes as equal share a chain.
    uint64_t NameHash(std::u16string_view fileName) const;

private:
    void Rehash(size_t buckets);
    TArchiveItem*& Head(std::u16string_view fileName) const
    {
        return FHashTable[static_cast<size_t>(NameHash(fileName)) & (FHashTable.size() - 1)];
    }

    std::vector<std::unique_ptr<TArchiveItem>> FList;
    bool FOwnsItems;
    base::TSeededHash FHash;
    mutable std::vector<TArchiveItem*> FHashTable;
    mutable std::u16string FFolded; // scratch of NameHash
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
    // Index of the item in directory order, or -1: the last item whose
    // name is exactly `fileName`, else the last whose name differs from it
    // only in the case of ASCII letters.
    int FindFile(const std::u16string& fileName) const { return FItemList.Find(fileName); }
    // Appends the item's uncompressed bytes to `target`. A missing name does
    // nothing; a failed extraction is reported to OnProcessItemFailure (if
    // set) and otherwise only visible in what reached the target.
    void ExtractToStream(const std::u16string& fileName, base::TStream& target);

    int Count() const { return FItemList.Count(); }
    TArchiveItem& Item(int index) const { return FItemList.Item(index); }
    TArchiveStatus Status() const { return FStatus; }
    const std::u16string& ArchiveName() const { return FArchiveName; }

    // The most compressed bytes one extraction may read (0, the default:
    // no limit). An item's data then ends after that many bytes, as if the
    // item's data ended there, whatever its method: its decoder meets the
    // end of its input, and the output holds what it produced until then.
    void SetCompressedReadLimit(int64_t bytes) { FCompressedReadLimit = bytes > 0 ? bytes : 0; }
    int64_t CompressedReadLimit() const { return FCompressedReadLimit; }

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
    int64_t FCompressedReadLimit = 0;
    TExtractToStreamProc FExtractToStreamHelper;
    TOnProcessItemFailure FOnProcessItemFailure;
    TOnArchiveProgress FOnArchiveProgress;
    TOnConfirmProcessItem FOnConfirmProcessItem;
    TOnLoad FOnLoad;
};

} // namespace addoscope::zip
