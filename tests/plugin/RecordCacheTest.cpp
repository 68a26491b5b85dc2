#include "plugin/RecordCache.h"

#include "base/Text.h"
#include "plugin/ContentPlugin.h"
#include "plugin/Lifecycle.h"
#include "plugin/PluginState.h"
#include "tests/cache/AllocationHook.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

using namespace addoscope;
using plugin::LookupRecord;
using plugin::RecordKey;
using plugin::TCacheObject;
using plugin::TRecordLookup;
using plugin::TwdxCache;

namespace {

// A stand-in for the package reader: counts readings and builds objects
// stamped with the file's state. Each object's list holder is watched, so
// tests can tell when the object itself is gone.
class TFakeReader {
public:
    int Reads = 0;
    bool Valid = true;
    bool GiveNone = false;
    bool FailNextStore = false; // the allocation after the reading fails
    std::vector<std::weak_ptr<package::TStringListInt>> Built;

    plugin::TPackageReader For(const std::u16string& name, platform::TFileTime time, int64_t size)
    {
        return [this, name, time, size]() -> std::unique_ptr<TCacheObject> {
            ++Reads;
            if (GiveNone)
                return nullptr;
            auto object = std::make_unique<TCacheObject>();
            object->Valid = Valid;
            object->FileTime = time;
            object->FileSize = size;
            object->Addoscope.Name = name;
            object->Addoscope.AutoFreed = std::make_shared<package::TStringListInt>();
            Built.push_back(object->Addoscope.AutoFreed);
            testhooks::TAllocationHook::FailNext = FailNextStore;
            return object;
        };
    }
    bool Alive(size_t index) const { return !Built.at(index).expired(); }
};

TRecordLookup Lookup(TwdxCache& cache, TFakeReader& reader, const std::u16string& name, platform::TFileTime time,
                     int64_t size)
{
    return LookupRecord(cache, name, time, size, reader.For(name, time, size));
}

// A raw file time (100 ns ticks since 1601), about 2023.
constexpr platform::TFileTime Stamp = 133200000000000000;

// Two different names with equal keys, found by search.
std::pair<std::u16string, std::u16string> CollidingNames()
{
    std::unordered_map<int64_t, std::u16string> seen;
    for (int i = 0;; ++i) {
        std::u16string name = u"c:\\addons\\" + std::u16string(1, u'a' + i % 26);
        for (int n = i; n > 0; n /= 10)
            name += static_cast<char16_t>(u'0' + n % 10);
        auto [it, added] = seen.emplace(RecordKey(name), name);
        if (!added)
            return {it->second, name};
    }
}

} // namespace

TEST(RecordKey, HashLittleKnownValues)
{
    const char* text = "Four score and seven years ago";
    EXPECT_EQ(plugin::HashLittle("", 0, 0), 0xdeadbeefu);
    EXPECT_EQ(plugin::HashLittle("", 0, 0xdeadbeef), 0xbd5b7ddeu);
    EXPECT_EQ(plugin::HashLittle(text, 30, 0), 0x17770551u);
    EXPECT_EQ(plugin::HashLittle(text, 30, 1), 0xcd628161u);
}

TEST(RecordKey, EveryByteOfEveryTailLengthCounts)
{
    // Lengths around the 12-byte blocks: a byte left out of the tail or of a
    // block would leave the hash unchanged when it changes.
    std::vector<uint8_t> bytes(40);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    for (size_t length = 1; length <= bytes.size(); ++length) {
        const uint32_t base = plugin::HashLittle(bytes.data(), length, 0);
        for (size_t i = 0; i < length; ++i) {
            std::vector<uint8_t> changed(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length));
            changed[i] ^= 0x01;
            ASSERT_NE(plugin::HashLittle(changed.data(), length, 0), base) << "length " << length << " byte " << i;
        }
        // Bytes beyond the length are not read.
        std::vector<uint8_t> longer(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length));
        longer.push_back(0xFF);
        EXPECT_EQ(plugin::HashLittle(longer.data(), length, 0), base);
    }
}

TEST(RecordKey, HashesUtf16LittleEndianAndSignExtends)
{
    EXPECT_EQ(RecordKey(u""), static_cast<int64_t>(static_cast<int32_t>(0xdeadbeefu)));
    EXPECT_LT(RecordKey(u""), 0);

    // Every length around the 12-byte blocks (six units), so that each way
    // a name's last units fill the final words is checked.
    const std::u16string name = u"C:\\Add-ons\\\u00e9\u2603\U0001F600-\uFFFF\u0100\u00ff.xpi";
    for (size_t length = 0; length <= name.size(); ++length) {
        std::vector<uint8_t> bytes;
        for (char16_t c : name.substr(0, length)) {
            bytes.push_back(static_cast<uint8_t>(c & 0xFF));
            bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        const uint32_t hash = plugin::HashLittle(bytes.data(), bytes.size(), 0);
        EXPECT_EQ(RecordKey(name.substr(0, length)), static_cast<int64_t>(static_cast<int32_t>(hash))) << length;
    }

    // Long names (beyond any short-name buffer) hash the same way.
    const std::u16string longName(3000, u'\u0441');
    std::vector<uint8_t> longBytes;
    for (char16_t c : longName) {
        longBytes.push_back(static_cast<uint8_t>(c & 0xFF));
        longBytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    EXPECT_EQ(RecordKey(longName),
              static_cast<int64_t>(static_cast<int32_t>(plugin::HashLittle(longBytes.data(), longBytes.size(), 0))));
    EXPECT_NE(RecordKey(u"a.xpi"), RecordKey(u"A.xpi"));
}

TEST(RecordCache, RepeatedRequestsReadOnce)
{
    TwdxCache cache;
    cache.SetMaxCount(1001);
    TFakeReader reader;
    TCacheObject* first = nullptr;
    for (int i = 0; i < 20; ++i) {
        TRecordLookup answer = Lookup(cache, reader, u"c:\\a.xpi", Stamp, 1234);
        ASSERT_TRUE(answer.HeldByCache());
        if (!first)
            first = answer.Object;
        EXPECT_EQ(answer.Object, first);
    }
    EXPECT_EQ(reader.Reads, 1);
    EXPECT_EQ(cache.Count(), 1);
}

TEST(RecordCache, ChangedTimeOrSizeReadsAgainAndDropsTheStaleRecord)
{
    TwdxCache cache;
    TFakeReader reader;
    Lookup(cache, reader, u"a.xpi", Stamp, 100);
    Lookup(cache, reader, u"a.xpi", Stamp + 1, 100); // touched
    EXPECT_EQ(reader.Reads, 2);
    EXPECT_FALSE(reader.Alive(0));
    Lookup(cache, reader, u"a.xpi", Stamp + 1, 101); // grown
    EXPECT_EQ(reader.Reads, 3);
    EXPECT_FALSE(reader.Alive(1));
    TRecordLookup answer = Lookup(cache, reader, u"a.xpi", Stamp + 1, 101);
    EXPECT_EQ(reader.Reads, 3);
    EXPECT_EQ(answer.Object->FileSize, 101);
    EXPECT_EQ(cache.Count(), 1);
}

TEST(RecordCache, RawTimeDecidesWhateverTheLocalTimeWas)
{
    // The record is kept by the file time as the system gives it: a local
    // time that could not be had (NaN) does not make the record stale, and
    // nothing needs converting to tell that it still holds.
    TwdxCache cache;
    TFakeReader reader;
    TRecordLookup first = Lookup(cache, reader, u"a.xpi", Stamp, 1);
    first.Object->FileDateTime = std::numeric_limits<double>::quiet_NaN();
    Lookup(cache, reader, u"a.xpi", Stamp, 1);
    EXPECT_EQ(reader.Reads, 1);
    Lookup(cache, reader, u"a.xpi", Stamp - 1, 1);
    EXPECT_EQ(reader.Reads, 2);
    EXPECT_EQ(cache.Count(), 1);
}

TEST(RecordCache, SmallCacheRereadsEveryFileOfThreeInTurn)
{
    TwdxCache cache;
    cache.SetMaxCount(2);
    TFakeReader reader;
    const std::u16string names[] = {u"a.xpi", u"b.xpi", u"c.xpi"};
    for (int i = 0; i < 9; ++i)
        Lookup(cache, reader, names[i % 3], 1, 1);
    EXPECT_EQ(reader.Reads, 9);
    EXPECT_EQ(cache.Count(), 2);
    // Evicted records are destroyed: only the last two live.
    for (size_t i = 0; i < reader.Built.size(); ++i)
        EXPECT_EQ(reader.Alive(i), i >= 7) << i;
}

TEST(RecordCache, NamesWithEqualKeysShareOneSlot)
{
    const auto [first, second] = CollidingNames();
    ASSERT_NE(first, second);
    ASSERT_EQ(RecordKey(first), RecordKey(second));

    TwdxCache cache;
    TFakeReader reader;
    Lookup(cache, reader, first, 1, 10);
    Lookup(cache, reader, second, 2, 20);
    Lookup(cache, reader, first, 1, 10);
    EXPECT_EQ(reader.Reads, 3);
    EXPECT_EQ(cache.Count(), 1);

    // Equal time and size: still the other name's record, which replaces
    // the first in the shared slot.
    TRecordLookup answer = Lookup(cache, reader, second, 1, 10);
    EXPECT_EQ(reader.Reads, 4);
    EXPECT_EQ(answer.Object->Addoscope.Name, second);
    EXPECT_EQ(cache.Count(), 1);
    answer = Lookup(cache, reader, second, 1, 10);
    EXPECT_EQ(reader.Reads, 4);
    EXPECT_EQ(answer.Object->FileName, second);
}

TEST(RecordCache, FailedReadingsAreRememberedAndNoneIsNot)
{
    TwdxCache cache;
    TFakeReader reader;
    reader.Valid = false;
    Lookup(cache, reader, u"broken.xpi", 1, 5);
    TRecordLookup again = Lookup(cache, reader, u"broken.xpi", 1, 5);
    EXPECT_EQ(reader.Reads, 1);
    ASSERT_TRUE(again.HeldByCache());
    EXPECT_FALSE(again.Object->Valid);

    reader.GiveNone = true;
    TRecordLookup none = Lookup(cache, reader, u"raising.xpi", 1, 5);
    EXPECT_EQ(none.Object, nullptr);
    EXPECT_FALSE(none.HeldByCache());
    Lookup(cache, reader, u"raising.xpi", 1, 5);
    EXPECT_EQ(reader.Reads, 3);
    EXPECT_EQ(cache.Count(), 1);
}

TEST(RecordCache, ObjectThatCannotBeStoredStillAnswersAndIsReleasedOnce)
{
    TwdxCache cache;
    TFakeReader reader;
    reader.FailNextStore = true;
    {
        TRecordLookup answer = Lookup(cache, reader, u"a.xpi", 1, 7);
        ASSERT_NE(answer.Object, nullptr);
        EXPECT_FALSE(answer.HeldByCache());
        EXPECT_EQ(answer.Object, answer.Owned.get());
        EXPECT_EQ(answer.Object->FileSize, 7);
        EXPECT_EQ(cache.Count(), 0);
        EXPECT_TRUE(reader.Alive(0));
    }
    EXPECT_FALSE(reader.Alive(0));

    reader.FailNextStore = false;
    EXPECT_TRUE(Lookup(cache, reader, u"a.xpi", 1, 7).HeldByCache());
    EXPECT_EQ(reader.Reads, 2);
}

TEST(RecordCache, ClearAndDestructionReleaseEveryRecord)
{
    TFakeReader reader;
    {
        TwdxCache cache;
        EXPECT_EQ(cache.ItemSize(), sizeof(void*));
        EXPECT_EQ(cache.HashSize(), 521u);
        Lookup(cache, reader, u"a.xpi", 1, 1);
        Lookup(cache, reader, u"b.xpi", 1, 1);
        cache.Clear();
        EXPECT_FALSE(reader.Alive(0));
        EXPECT_FALSE(reader.Alive(1));
        EXPECT_EQ(cache.Count(), 0);
        Lookup(cache, reader, u"a.xpi", 1, 1);
        EXPECT_EQ(reader.Reads, 3);
        EXPECT_TRUE(reader.Alive(2));
    }
    EXPECT_FALSE(reader.Alive(2));
}

TEST(RecordCache, HitThroughTheValueRequestAllocatesNothing)
{
    // The host asks for every field of every file one at a time; once the
    // package is cached, each request only finds the file and copies the
    // text, whatever the name's length (long names too, beyond any string's
    // own room).
    plugin::ModuleInitialize(base::Utf8ToUtf16(std::string(ADDOSCOPE_BIN_DIR) + "/record-cache-test-module"));
    const std::u16string name = base::Utf8ToUtf16(std::string(ADDOSCOPE_EXAMPLES_DIR) + "/tab-tidy.xpi");
    char16_t buffer[512] = {};
    ASSERT_EQ(plugin::GetValue(name.c_str(), 3, 0, buffer, sizeof buffer, 0), plugin::ft_stringw);
    EXPECT_EQ(std::u16string(buffer), u"Tab Tidy");
    {
        testhooks::TAllocationCounter counter;
        for (int field = 0; field < 16; ++field)
            plugin::GetValue(name.c_str(), field, 0, buffer, sizeof buffer, 0);
        EXPECT_EQ(counter.Allocations(), 0u);
        EXPECT_EQ(counter.Frees(), 0u);
    }
    ASSERT_EQ(plugin::GetValue(name.c_str(), 3, 0, buffer, sizeof buffer, 0), plugin::ft_stringw);
    EXPECT_EQ(std::u16string(buffer), u"Tab Tidy");
    plugin::ModuleFinalize();
}
