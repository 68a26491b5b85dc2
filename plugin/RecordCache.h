#pragma once
// The package record cache: the result of reading each package, kept while
// the file's last-write time and size stay exactly as they were, so that the
// host's one-field-at-a-time requests read a package only once.
#include "base/DateTime.h"
#include "cache/ItemCache.h"
#include "package/Addoscope.h"
#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace addoscope::plugin {

// One reading result. Valid is false when the file is not a readable add-on
// package; such results are kept too, so a broken file is not read again
// until it changes.
class TCacheObject {
public:
    // The prepared file name the record was read for: two names can share
    // a cache key, and one must never be answered with the other's record.
    std::u16string FileName;
    bool Valid = false;
    // The file's last-write time as the system gave it, which decides
    // whether the record still holds, and as local time.
    platform::TFileTime FileTime = 0;
    base::TDateTime FileDateTime = 0;
    int64_t FileSize = 0;
    package::TAddoscope Addoscope;
};

// Each item holds one owning reference to a TCacheObject, or null.
class TwdxCache : public cache::TItemCache {
public:
    static constexpr uint32_t DefaultHashSize = 521;

    explicit TwdxCache(uint32_t hashSize = DefaultHashSize);
    ~TwdxCache() override;

    // An item must stay exactly one reference wide.
    void SetItemSize(uint32_t value) = delete;

    // The object an item refers to (null when none).
    static TCacheObject* ObjectOf(const void* data);
    // Hands an object to an item, which then owns it.
    static void StoreObject(void* data, TCacheObject* object);

protected:
    void InitializeItem(void* data) noexcept override;
    void FinalizeItem(void* data) noexcept override;
};

// Bob Jenkins' lookup3 hash, byte-wise little-endian form (hashlittle).
uint32_t HashLittle(const void* key, size_t length, uint32_t initval);

// The cache key of a file name: hashlittle over its UTF-16LE code units,
// initial value 0, sign-extended to 64 bits.
int64_t RecordKey(std::u16string_view name);

// The answer of a record look-up. Object is null when no record could be
// had. Owned is set when the cache could not keep the object, which then
// lives as long as this answer; otherwise the cache holds it, and Object
// stays valid until the cache is next changed.
struct TRecordLookup {
    TCacheObject* Object = nullptr;
    std::unique_ptr<TCacheObject> Owned;

    bool HeldByCache() const { return Object && !Owned; }
};

// Reads the package afresh; null when reading failed outright.
using TPackageReader = std::function<std::unique_ptr<TCacheObject>()>;

// The record of a prepared file name whose current raw last-write time and
// size are given: the cached one when it was read for this very name and
// both are exactly equal (so no time-zone conversion is needed to tell),
// else a new reading, which is stored (valid or not) in place of any stale
// one.
TRecordLookup LookupRecord(TwdxCache& cache, std::u16string_view name, platform::TFileTime fileTime,
                           int64_t fileSize, const TPackageReader& readPackage);

} // namespace addoscope::plugin
