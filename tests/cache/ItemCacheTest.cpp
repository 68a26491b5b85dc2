#include "cache/ItemCache.h"

#include "base/Exception.h"
#include "tests/cache/AllocationHook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <list>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace addoscope;
using cache::TAbstractItemCache;
using testhooks::TAllocationCounter;
using testhooks::TAllocationHook;

namespace {

// Items hold one int64 payload. Every initialisation and finalisation is
// logged, with the payload the finalised item held; finalising does not
// clear the payload, so repeated finalisation shows in the log.
class TProbeCache : public TAbstractItemCache {
public:
    // Events has room reserved so that logging does not disturb the
    // allocation counts of short tests.
    explicit TProbeCache(uint32_t hashSize = 59) : TAbstractItemCache(sizeof(int64_t), hashSize)
    {
        Events.reserve(64);
    }
    ~TProbeCache() override { Clear(); }

    std::vector<std::string> Events;
    bool Logging = true;
    std::set<int64_t> Pinned; // payloads that may not be evicted

    static int64_t& Payload(void* data) { return *static_cast<int64_t*>(data); }

    // Adds id with a payload (the id itself unless given) and answers the
    // item's address.
    void* Add(int64_t id) { return Add(id, id); }
    void* Add(int64_t id, int64_t payload)
    {
        void* data = AddItem(id);
        Payload(data) = payload;
        return data;
    }
    // Payload of the item, or -1 on a miss.
    int64_t Get(int64_t id)
    {
        void* data = GetItem(id);
        return data ? Payload(data) : -1;
    }
    std::map<int64_t, int> Finalisations() const
    {
        std::map<int64_t, int> counts;
        for (const std::string& event : Events)
            if (event.rfind("fin ", 0) == 0)
                ++counts[std::stoll(event.substr(4))];
        return counts;
    }

protected:
    bool CanEvictItem(void* data) noexcept override { return Pinned.count(Payload(data)) == 0; }
    void InitializeItem(void* data) noexcept override
    {
        if (Logging)
            Events.push_back("init");
        Payload(data) = 0;
    }
    void FinalizeItem(void* data) noexcept override
    {
        if (Logging)
            Events.push_back("fin " + std::to_string(Payload(data)));
    }
};

std::string AssertionMessage(const std::function<void()>& action)
{
    try {
        action();
    } catch (const base::EAssertionFailed& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

} // namespace

TEST(ItemCache, HashSizeIsOddAndAtLeast59AndHalvesAreXored)
{
    const std::pair<uint32_t, uint32_t> cases[] = {{0, 59}, {10, 59}, {59, 59}, {60, 61}, {521, 521}, {1000, 1001}};
    for (const auto& [requested, expected] : cases) {
        cache::TItemCache cache(8, requested);
        EXPECT_EQ(cache.HashSize(), expected) << requested;
        EXPECT_EQ(cache.Count(), 0);
        EXPECT_EQ(cache.MaxCount(), 2147483647);
    }
    // Halves (1, 0) and (0, 1): one bucket, two items.
    TProbeCache cache;
    cache.Add(1, 10);
    cache.Add(4294967296, 20);
    EXPECT_EQ(cache.Get(1), 10);
    EXPECT_EQ(cache.Get(4294967296), 20);
}

TEST(ItemCache, FullCacheEvictsLeastRecentlyUsedInPlace)
{
    TProbeCache cache;
    cache.SetMaxCount(2);
    cache.Add(1);
    void* second = cache.Add(2);
    EXPECT_EQ(cache.Get(1), 1); // 2 is now the least recently used
    cache.Events.clear();

    TAllocationCounter counter;
    void* third = cache.Add(3);
    EXPECT_EQ(counter.Allocations(), 0u);
    EXPECT_EQ(third, second); // the node of 2 now carries 3
    EXPECT_EQ(cache.Events, (std::vector<std::string> {"fin 2", "init"}));
    EXPECT_EQ(cache.Count(), 2);
    EXPECT_EQ(cache.Get(2), -1);
    EXPECT_EQ(cache.Get(1), 1);
    EXPECT_EQ(cache.Get(3), 3);
}

TEST(ItemCache, SteadyStateAllocatesNothing)
{
    TProbeCache cache(521);
    cache.SetMaxCount(100);
    cache.Logging = false;
    TAllocationCounter counter;
    for (int64_t id = 0; id < 5000; ++id) {
        cache.Add(id);
        if (id % 3 == 0)
            cache.InvalidateItem(id - 50);
    }
    EXPECT_LE(cache.Count(), 100);
    EXPECT_EQ(counter.Allocations(), 100u);
    EXPECT_EQ(counter.Frees(), 0u);
}

TEST(ItemCache, PinnedItemsAreSkippedAndTheCacheGrowsWhenNothingMayGo)
{
    TProbeCache cache;
    cache.SetMaxCount(2);
    cache.Add(1);
    cache.Add(2);
    cache.Pinned = {1};
    cache.Add(3); // 1 is least recently used but pinned: 2 goes
    EXPECT_EQ(cache.Count(), 2);
    EXPECT_EQ(cache.Get(2), -1);
    cache.Pinned = {1, 3};
    cache.Add(4); // nothing may go
    EXPECT_EQ(cache.Count(), 3);
    for (int64_t id : {1, 3, 4})
        EXPECT_EQ(cache.Get(id), id);
    cache.Pinned.clear();
    cache.Add(5); // over capacity: evicts, does not grow further
    EXPECT_EQ(cache.Count(), 3);
    EXPECT_EQ(cache.Get(1), -1);
}

TEST(ItemCache, InvalidatedNodesAreReusedWithoutAllocation)
{
    TProbeCache cache;
    cache.SetMaxCount(3);
    cache.Add(1);
    void* node2 = cache.Add(2);
    cache.Add(3);
    cache.Events.clear();
    EXPECT_TRUE(cache.InvalidateItem(2));
    EXPECT_EQ(cache.Events, (std::vector<std::string> {"fin 2"}));
    EXPECT_EQ(cache.Count(), 2);
    EXPECT_EQ(cache.Get(2), -1);

    TAllocationCounter counter;
    EXPECT_EQ(cache.Add(4), node2);
    EXPECT_EQ(counter.Allocations(), 0u);
    EXPECT_EQ(cache.Count(), 3);
    for (int64_t id : {1, 3, 4})
        EXPECT_EQ(cache.Get(id), id);
}

TEST(ItemCache, InvalidateAllKeepsNodesForReuse)
{
    TProbeCache cache;
    for (int64_t id = 1; id <= 10; ++id)
        cache.Add(id);
    cache.Invalidate();
    EXPECT_EQ(cache.Count(), 0);
    EXPECT_EQ(cache.Finalisations().size(), 10u);
    for (int64_t id = 1; id <= 10; ++id)
        EXPECT_EQ(cache.Get(id), -1);
    TAllocationCounter counter;
    for (int64_t id = 11; id <= 20; ++id)
        cache.Add(id);
    EXPECT_EQ(counter.Allocations(), 0u);
    EXPECT_EQ(cache.Count(), 10);
}

TEST(ItemCache, LoweringCapacityFreesReusableNodesThenDeletesOldest)
{
    TProbeCache cache;
    for (int64_t id = 1; id <= 5; ++id)
        cache.Add(id);
    cache.Get(1);            // recency: 1 5 4 3 2
    cache.InvalidateItem(4); // in use: 1 5 3 2, one reusable node
    cache.Events.clear();
    TAllocationCounter counter;
    cache.SetMaxCount(2);
    EXPECT_EQ(counter.Frees(), 3u); // the reusable node, then 2 and 3
    EXPECT_EQ(cache.Events, (std::vector<std::string> {"fin 2", "fin 3"}));
    EXPECT_EQ(cache.Count(), 2);
    EXPECT_EQ(cache.MaxCount(), 2);
    EXPECT_EQ(cache.Get(1), 1);
    EXPECT_EQ(cache.Get(5), 5);
}

TEST(ItemCache, LoweringCapacityRemovesTheOlderOfTwoDuplicates)
{
    // Deleting by identifier would take the newer node and leave the walk
    // holding a freed one.
    TProbeCache cache;
    cache.Add(7, 70);
    cache.Add(7, 71);
    cache.SetMaxCount(1);
    EXPECT_EQ(cache.Count(), 1);
    EXPECT_EQ(cache.Get(7), 71);
    EXPECT_EQ(cache.Events.back(), "fin 70");
}

TEST(ItemCache, FullCacheNeverEvictsAReusableNode)
{
    TProbeCache cache;
    cache.SetMaxCount(3);
    cache.Add(1);
    cache.Add(2);
    cache.Add(3);
    cache.InvalidateItem(3);
    cache.SetMaxCount(2); // full again, with a node waiting for reuse
    cache.Add(4);
    EXPECT_EQ(cache.Count(), 2);
    EXPECT_EQ(cache.Get(1), -1);
    EXPECT_EQ(cache.Get(2), 2);
    EXPECT_EQ(cache.Get(4), 4);
    cache.Add(5);
    EXPECT_EQ(cache.Count(), 2);
    EXPECT_EQ(cache.Get(2), -1);
}

// "<text> (ItemCache, line <digits>)"
static bool IsAssertion(const std::string& message, const std::string& text)
{
    const std::string head = text + " (ItemCache, line ";
    if (message.size() <= head.size() + 1 || message.compare(0, head.size(), head) != 0 || message.back() != ')')
        return false;
    const std::string digits = message.substr(head.size(), message.size() - head.size() - 1);
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

TEST(ItemCache, SettersRaiseAssertionsAndChangeNothing)
{
    TProbeCache cache;
    cache.SetMaxCount(10);
    cache.Add(1);
    EXPECT_TRUE(IsAssertion(AssertionMessage([&] { cache.SetMaxCount(0); }), "MaxCount must be greater than zero."));
    EXPECT_TRUE(IsAssertion(AssertionMessage([&] { cache.SetMaxCount(-5); }), "MaxCount must be greater than zero."));
    EXPECT_EQ(cache.MaxCount(), 10);
    EXPECT_TRUE(IsAssertion(AssertionMessage([&] { cache.SetItemSize(16); }),
                            "ItemSize can only be set when cache is empty."));
    EXPECT_EQ(cache.ItemSize(), sizeof(int64_t));
    EXPECT_EQ(cache.Get(1), 1);
}

TEST(ItemCache, NewItemSizeNeverGetsAnOldNode)
{
    TProbeCache cache;
    cache.Add(1);
    cache.InvalidateItem(1); // empty, one reusable node of 8 bytes
    TAllocationCounter counter;
    cache.SetItemSize(64);
    EXPECT_EQ(counter.Frees(), 1u);
    void* data = cache.AddItem(2);
    EXPECT_EQ(counter.Allocations(), 1u);
    EXPECT_GE(TAllocationHook::LastSize, cache::CacheItemDataOffset + 64);
    std::memset(data, 0xAB, 64); // the whole new size is writable
    EXPECT_EQ(cache.Count(), 1);
}

TEST(ItemCache, ItemBytesAreAlignedForAnyScalar)
{
    cache::TItemCache cache(3, 59);
    for (int64_t id = 0; id < 16; ++id)
        EXPECT_EQ(reinterpret_cast<uintptr_t>(cache.AddItem(id)) % alignof(std::max_align_t), 0u);
}

TEST(ItemCache, ClearFinalisesEveryNodeOnce)
{
    TProbeCache cache;
    cache.Add(1);
    cache.Add(2);
    cache.Add(3);
    cache.InvalidateItem(2); // first finalisation of 2
    TAllocationCounter counter;
    cache.Clear();
    EXPECT_EQ(counter.Frees(), 3u);
    EXPECT_EQ(cache.Finalisations(), (std::map<int64_t, int> {{1, 1}, {2, 2}, {3, 1}}));
    EXPECT_EQ(cache.Count(), 0);
    EXPECT_EQ(cache.Get(1), -1);
    cache.Add(9);
    EXPECT_EQ(cache.Get(9), 9);
}

TEST(ItemCache, OutOfMemoryLeavesTheCacheUnchanged)
{
    TProbeCache cache;
    cache.Add(1);
    cache.Add(2);
    cache.Events.clear();
    TAllocationHook::FailNext = true;
    EXPECT_THROW(cache.AddItem(3), std::bad_alloc);
    EXPECT_TRUE(cache.Events.empty());
    EXPECT_EQ(cache.Count(), 2);
    EXPECT_EQ(cache.Get(3), -1);

    TAllocationHook::FailNext = true;
    EXPECT_THROW(cache.SetHashSize(1001), std::bad_alloc);
    EXPECT_EQ(cache.HashSize(), 59u);
    EXPECT_EQ(cache.Get(1), 1);
    EXPECT_EQ(cache.Get(2), 2);
    cache.Add(3);
    EXPECT_EQ(cache.Count(), 3);
}

// Random operations against a plain list kept in recency order: every
// answer and the count must agree throughout, and the items left at the end.
TEST(ItemCache, AgreesWithASimpleModelUnderRandomOperations)
{
    struct TEntry {
        int64_t Id, Payload;
    };
    std::list<TEntry> model; // items in use, most recently used first
    int32_t capacity = 2147483647;
    const auto find = [&](int64_t id) {
        return std::find_if(model.begin(), model.end(), [id](const TEntry& e) { return e.Id == id; });
    };

    TProbeCache cache;
    cache.Logging = false;
    std::mt19937 random(12345);
    int64_t nextPayload = 1;
    for (int step = 0; step < 40000; ++step) {
        // Small identifiers, and pairs whose halves collide in one bucket.
        const int64_t small = static_cast<int64_t>(random() % 24);
        const int64_t id = random() % 4 == 0 ? (small << 32) | (small ^ 3) : small;
        switch (random() % 16) {
        case 0: case 1: case 2: case 3: case 4: {
            const int64_t payload = nextPayload++;
            cache.Add(id, payload);
            if (static_cast<int32_t>(model.size()) >= capacity)
                model.pop_back();
            model.push_front({id, payload});
            break;
        }
        case 5: case 6: case 7: case 8: case 9: {
            const auto it = find(id);
            const int64_t expected = it == model.end() ? -1 : it->Payload;
            if (it != model.end())
                model.splice(model.begin(), model, it);
            ASSERT_EQ(cache.Get(id), expected) << "step " << step;
            break;
        }
        case 10: case 11: {
            const auto it = find(id);
            ASSERT_EQ(cache.DeleteItem(id), it != model.end()) << "step " << step;
            if (it != model.end())
                model.erase(it);
            break;
        }
        case 12: case 13: {
            const auto it = find(id);
            ASSERT_EQ(cache.InvalidateItem(id), it != model.end()) << "step " << step;
            if (it != model.end())
                model.erase(it);
            break;
        }
        case 14:
            capacity = 1 + static_cast<int32_t>(random() % 20);
            cache.SetMaxCount(capacity);
            while (static_cast<int32_t>(model.size()) > capacity)
                model.pop_back();
            break;
        default:
            cache.SetHashSize(static_cast<uint32_t>(random() % 200));
            break;
        }
        ASSERT_EQ(cache.Count(), static_cast<int32_t>(model.size())) << "step " << step;
    }
    // Drain: every item the model holds is found, newest duplicate first.
    while (!model.empty()) {
        const TEntry entry = model.front();
        model.pop_front();
        ASSERT_EQ(cache.Get(entry.Id), entry.Payload);
        ASSERT_TRUE(cache.DeleteItem(entry.Id));
    }
    EXPECT_EQ(cache.Count(), 0);
}
