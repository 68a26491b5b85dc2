#pragma once
// A bounded in-memory cache of fixed-size items addressed by 64-bit
// identifiers: a chained hash index for look-up and one doubly linked recency
// list for least-recently-used eviction. Invalidated nodes stay allocated
// and are reused before anything new is allocated, so a cache in steady use
// allocates nothing. What an item's bytes mean is left to a subclass.
//
// Not thread-safe: the user serialises every call.
#include <cstddef>
#include <cstdint>

namespace addoscope::cache {

// The identifier, read either as one signed 64-bit value or as its two
// unsigned 32-bit halves (c1 the low half, c2 the high half).
struct TCacheID {
    int64_t i = 0;

    uint32_t c1() const { return static_cast<uint32_t>(static_cast<uint64_t>(i)); }
    uint32_t c2() const { return static_cast<uint32_t>(static_cast<uint64_t>(i) >> 32); }
};

// One node: this header followed, in the same allocation, by the item's
// bytes. The bytes start at a boundary fit for any scalar type, so a
// subclass may keep pointers or doubles in them.
struct TCacheItem {
    TCacheID ID;
    TCacheItem* Previous = nullptr; // recency list, toward the most recent
    TCacheItem* Next = nullptr;     // recency list, toward the least recent
    TCacheItem* NextHash = nullptr; // next node of the same bucket

    void* Data();
};

// Offset of the item bytes from the start of their node.
inline constexpr size_t CacheItemDataOffset =
    (sizeof(TCacheItem) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);

inline void* TCacheItem::Data()
{
    return reinterpret_cast<unsigned char*>(this) + CacheItemDataOffset;
}

using PCacheItem = TCacheItem*;
using PCacheItemArray = PCacheItem*;

class TAbstractItemCache {
public:
    TAbstractItemCache(int32_t itemSize, uint32_t hashSize);
    // Frees the nodes' memory only: a subclass whose items own resources
    // must call Clear in its own destructor, since the virtual operations
    // are no longer its own once this destructor runs.
    virtual ~TAbstractItemCache();
    TAbstractItemCache(const TAbstractItemCache&) = delete;
    TAbstractItemCache& operator=(const TAbstractItemCache&) = delete;

    // Adds an item (without looking for one with the same identifier) and
    // answers its bytes, as InitializeItem left them. When the cache is full
    // the least recently used evictable item makes room. Raises
    // std::bad_alloc, leaving the cache unchanged, when memory runs out.
    void* AddItem(int64_t id);
    // The item's bytes, made the most recently used; null on a miss.
    void* GetItem(int64_t id);
    // Finalises and frees the item; false when there is none.
    bool DeleteItem(int64_t id);
    // Finalises the item and keeps its node for reuse; false when there is
    // none.
    bool InvalidateItem(int64_t id);
    // Turns every item in use into a reusable node.
    void Invalidate();
    // Finalises and frees every node.
    void Clear();

    int32_t Count() const { return FCount; }
    uint32_t HashSize() const { return FHashSize; }
    uint32_t ItemSize() const { return FItemSize; }
    int32_t MaxCount() const { return FMaxCount; }

    // At least 59 and always odd. Raises std::bad_alloc, leaving the old
    // buckets in force, when the new bucket array cannot be had.
    void SetHashSize(uint32_t value);
    // Only while no item is in use.
    void SetItemSize(uint32_t value);
    // Greater than zero; lowering it below Count deletes items from the
    // least recently used end.
    void SetMaxCount(int32_t value);

protected:
    // May this item be evicted to make room? Always yes here.
    virtual bool CanEvictItem(void* data) noexcept;
    // Prepares the bytes of a node that has just been given an identifier;
    // the cache does not zero them.
    virtual void InitializeItem(void* data) noexcept = 0;
    // Releases what the bytes hold. May be called again on bytes it has
    // already finalised, and must then do no harm.
    virtual void FinalizeItem(void* data) noexcept = 0;

private:
    int32_t FCount = 0;
    PCacheItemArray FHash = nullptr;
    uint32_t FHashSize = 0;
    uint32_t FItemSize = 0;
    PCacheItem FFirstItem = nullptr;
    PCacheItem FUnusedItem = nullptr;
    PCacheItem FLastItem = nullptr;
    int32_t FMaxCount = 2147483647;

    uint32_t BucketIndex(TCacheID id) const { return (id.c1() ^ id.c2()) % FHashSize; }
    PCacheItem AllocateNode() const;
    static void FreeNode(PCacheItem node) noexcept;
    PCacheItem LastUsedItem() const { return FUnusedItem ? FUnusedItem->Previous : FLastItem; }
    PCacheItem TakeUnusedItem() noexcept;
    void FreeUnusedItems() noexcept;
    void RemoveUsedItem(PCacheItem node) noexcept;

    void LinkFirst(PCacheItem node) noexcept;
    void LinkLast(PCacheItem node) noexcept;
    void Unlink(PCacheItem node) noexcept;
    void ChainInsert(PCacheItem node) noexcept;
    PCacheItem ChainExtract(TCacheID id) noexcept;
    void ChainRemove(PCacheItem node) noexcept;
    void ClearBuckets() noexcept;
};

// Items are plain bytes: nothing to prepare, nothing to release.
class TItemCache : public TAbstractItemCache {
public:
    using TAbstractItemCache::TAbstractItemCache;

protected:
    void InitializeItem(void* data) noexcept override;
    void FinalizeItem(void* data) noexcept override;
};

} // namespace addoscope::cache
