#include "cache/ItemCache.h"

#include "base/Exception.h"

#include <limits>
#include <new>

namespace addoscope::cache {

namespace {
constexpr uint32_t MinHashSize = 59;
constexpr const char* UnitName = "ItemCache";
} // namespace

TAbstractItemCache::TAbstractItemCache(int32_t itemSize, uint32_t hashSize)
    : FItemSize(static_cast<uint32_t>(itemSize))
{
    SetHashSize(hashSize);
}

TAbstractItemCache::~TAbstractItemCache()
{
    PCacheItem node = FFirstItem;
    while (node) {
        const PCacheItem next = node->Next;
        FreeNode(node);
        node = next;
    }
    delete[] FHash;
}

// ---- Nodes ---------------------------------------------------------------

PCacheItem TAbstractItemCache::AllocateNode() const
{
    // Only a 32-bit size type can overflow here.
    if constexpr (sizeof(size_t) <= sizeof(uint32_t)) {
        if (FItemSize > std::numeric_limits<size_t>::max() - CacheItemDataOffset)
            throw std::bad_alloc();
    }
    void* memory = ::operator new(CacheItemDataOffset + FItemSize);
    return new (memory) TCacheItem();
}

void TAbstractItemCache::FreeNode(PCacheItem node) noexcept
{
    node->~TCacheItem();
    ::operator delete(node);
}

PCacheItem TAbstractItemCache::TakeUnusedItem() noexcept
{
    const PCacheItem node = FUnusedItem;
    FUnusedItem = node->Next;
    Unlink(node);
    return node;
}

void TAbstractItemCache::FreeUnusedItems() noexcept
{
    while (FUnusedItem) {
        const PCacheItem node = FLastItem;
        Unlink(node);
        if (node == FUnusedItem)
            FUnusedItem = nullptr;
        FreeNode(node);
    }
}

// Deletes a node in use found by reference. Removing by identifier could
// pick another node carrying the same identifier.
void TAbstractItemCache::RemoveUsedItem(PCacheItem node) noexcept
{
    ChainRemove(node);
    Unlink(node);
    FinalizeItem(node->Data());
    FreeNode(node);
    --FCount;
}

// ---- List and chains -----------------------------------------------------

void TAbstractItemCache::LinkFirst(PCacheItem node) noexcept
{
    node->Previous = nullptr;
    node->Next = FFirstItem;
    if (FFirstItem)
        FFirstItem->Previous = node;
    else
        FLastItem = node;
    FFirstItem = node;
}

void TAbstractItemCache::LinkLast(PCacheItem node) noexcept
{
    node->Next = nullptr;
    node->Previous = FLastItem;
    if (FLastItem)
        FLastItem->Next = node;
    else
        FFirstItem = node;
    FLastItem = node;
}

void TAbstractItemCache::Unlink(PCacheItem node) noexcept
{
    if (node->Previous)
        node->Previous->Next = node->Next;
    else
        FFirstItem = node->Next;
    if (node->Next)
        node->Next->Previous = node->Previous;
    else
        FLastItem = node->Previous;
}

void TAbstractItemCache::ChainInsert(PCacheItem node) noexcept
{
    PCacheItem& head = FHash[BucketIndex(node->ID)];
    node->NextHash = head;
    head = node;
}

PCacheItem TAbstractItemCache::ChainExtract(TCacheID id) noexcept
{
    for (PCacheItem* link = &FHash[BucketIndex(id)]; *link; link = &(*link)->NextHash) {
        const PCacheItem node = *link;
        if (node->ID.i == id.i) {
            *link = node->NextHash;
            return node;
        }
    }
    return nullptr;
}

void TAbstractItemCache::ChainRemove(PCacheItem node) noexcept
{
    for (PCacheItem* link = &FHash[BucketIndex(node->ID)]; *link; link = &(*link)->NextHash) {
        if (*link == node) {
            *link = node->NextHash;
            return;
        }
    }
}

void TAbstractItemCache::ClearBuckets() noexcept
{
    for (uint32_t i = 0; i < FHashSize; ++i)
        FHash[i] = nullptr;
}

// ---- Public operations ---------------------------------------------------

void* TAbstractItemCache::AddItem(int64_t id)
{
    PCacheItem node = nullptr;
    if (FCount >= FMaxCount) {
        // Full: re-key the least recently used evictable item in place. The
        // walk starts at the last item in use, never at a reusable node.
        PCacheItem victim = LastUsedItem();
        while (victim && !CanEvictItem(victim->Data()))
            victim = victim->Previous;
        if (victim) {
            ChainRemove(victim);
            victim->ID.i = id;
            ChainInsert(victim);
            Unlink(victim);
            LinkFirst(victim);
            FinalizeItem(victim->Data());
            InitializeItem(victim->Data());
            return victim->Data();
        }
        // Nothing may go: the cache grows beyond its capacity.
    }
    if (FCount == std::numeric_limits<int32_t>::max())
        throw std::bad_alloc();
    // Memory is the only thing that can fail, and it is had before any
    // change, so a failure leaves the cache as it was.
    node = FUnusedItem ? TakeUnusedItem() : AllocateNode();
    node->ID.i = id;
    ChainInsert(node);
    LinkFirst(node);
    ++FCount;
    InitializeItem(node->Data());
    return node->Data();
}

void* TAbstractItemCache::GetItem(int64_t id)
{
    const TCacheID key {id};
    PCacheItem* head = &FHash[BucketIndex(key)];
    for (PCacheItem* link = head; *link; link = &(*link)->NextHash) {
        const PCacheItem node = *link;
        if (node->ID.i != id)
            continue;
        if (link != head) {
            // Repeated look-ups of a hot identifier stop at the first entry.
            *link = node->NextHash;
            node->NextHash = *head;
            *head = node;
        }
        if (node != FFirstItem) {
            Unlink(node);
            LinkFirst(node);
        }
        return node->Data();
    }
    return nullptr;
}

bool TAbstractItemCache::DeleteItem(int64_t id)
{
    const PCacheItem node = ChainExtract(TCacheID {id});
    if (!node)
        return false;
    Unlink(node);
    FinalizeItem(node->Data());
    FreeNode(node);
    --FCount;
    return true;
}

bool TAbstractItemCache::InvalidateItem(int64_t id)
{
    const PCacheItem node = ChainExtract(TCacheID {id});
    if (!node)
        return false;
    Unlink(node);
    LinkLast(node);
    FinalizeItem(node->Data());
    if (!FUnusedItem)
        FUnusedItem = node;
    --FCount;
    return true;
}

void TAbstractItemCache::Invalidate()
{
    if (FCount == 0)
        return;
    ClearBuckets();
    const PCacheItem end = FUnusedItem;
    for (PCacheItem node = FFirstItem; node != end; node = node->Next)
        FinalizeItem(node->Data());
    FUnusedItem = FFirstItem;
    FCount = 0;
}

void TAbstractItemCache::Clear()
{
    ClearBuckets();
    PCacheItem node = FFirstItem;
    while (node) {
        const PCacheItem next = node->Next;
        // Reusable nodes were finalised once already; a second call is
        // harmless by contract.
        FinalizeItem(node->Data());
        FreeNode(node);
        node = next;
    }
    FFirstItem = nullptr;
    FUnusedItem = nullptr;
    FLastItem = nullptr;
    FCount = 0;
}

void TAbstractItemCache::SetHashSize(uint32_t value)
{
    const uint32_t size = value <= MinHashSize ? MinHashSize : (value | 1u);
    if (size == FHashSize)
        return;
    if constexpr (sizeof(size_t) <= sizeof(uint32_t)) {
        if (size > std::numeric_limits<size_t>::max() / sizeof(PCacheItem))
            throw std::bad_alloc();
    }
    // The new array is complete before anything changes, so a failed
    // allocation leaves the old count and buckets in force.
    const PCacheItemArray buckets = new PCacheItem[size]();
    delete[] FHash;
    FHash = buckets;
    FHashSize = size;
    // From least to most recently used, each to the head of its chain: every
    // chain ends up ordered from most to least recently used.
    for (PCacheItem node = LastUsedItem(); node; node = node->Previous)
        ChainInsert(node);
}

void TAbstractItemCache::SetItemSize(uint32_t value)
{
    if (FCount != 0)
        base::RaiseAssertion("ItemSize can only be set when cache is empty.", UnitName, __LINE__);
    if (value == FItemSize)
        return;
    // Reusable nodes were allocated for the old size.
    FreeUnusedItems();
    FItemSize = value;
}

void TAbstractItemCache::SetMaxCount(int32_t value)
{
    if (value <= 0)
        base::RaiseAssertion("MaxCount must be greater than zero.", UnitName, __LINE__);
    if (FCount >= value) {
        // The cache is full (or over) after this: reusable nodes could only
        // wait, so they go first.
        FreeUnusedItems();
        PCacheItem node = FLastItem;
        while (FCount > value && node) {
            const PCacheItem previous = node->Previous;
            if (CanEvictItem(node->Data()))
                RemoveUsedItem(node);
            node = previous;
        }
    }
    FMaxCount = value;
}

bool TAbstractItemCache::CanEvictItem(void* /*data*/) noexcept
{
    return true;
}

// ---- TItemCache ----------------------------------------------------------

void TItemCache::InitializeItem(void* /*data*/) noexcept {}

void TItemCache::FinalizeItem(void* /*data*/) noexcept {}

} // namespace addoscope::cache
