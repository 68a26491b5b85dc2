#include "plugin/RecordCache.h"

#include "base/LittleEndian.h"

#include <bit>
#include <cstring>
#include <new>

namespace addoscope::plugin {

// ---- TwdxCache -----------------------------------------------------------

TwdxCache::TwdxCache(uint32_t hashSize) : TItemCache(static_cast<int32_t>(sizeof(TCacheObject*)), hashSize) {}

TwdxCache::~TwdxCache()
{
    // The base destructor frees memory only; the objects go here.
    Clear();
}

// The reference is copied in and out bytewise: the item bytes are raw
// memory that InitializeItem fills, not a constructed pointer object.
TCacheObject* TwdxCache::ObjectOf(const void* data)
{
    TCacheObject* object;
    std::memcpy(&object, data, sizeof(object));
    return object;
}

void TwdxCache::StoreObject(void* data, TCacheObject* object)
{
    std::memcpy(data, &object, sizeof(object));
}

void TwdxCache::InitializeItem(void* data) noexcept
{
    std::memset(data, 0, sizeof(TCacheObject*));
}

void TwdxCache::FinalizeItem(void* data) noexcept
{
    // Null first, so that finalising the same item again does nothing.
    TCacheObject* object = ObjectOf(data);
    StoreObject(data, nullptr);
    delete object;
}

// ---- RecordKey -----------------------------------------------------------

namespace {

constexpr uint32_t Rotate(uint32_t x, int k)
{
    return (x << k) | (x >> (32 - k));
}

void Mix(uint32_t& a, uint32_t& b, uint32_t& c)
{
    a -= c; a ^= Rotate(c, 4);  c += b;
    b -= a; b ^= Rotate(a, 6);  a += c;
    c -= b; c ^= Rotate(b, 8);  b += a;
    a -= c; a ^= Rotate(c, 16); c += b;
    b -= a; b ^= Rotate(a, 19); a += c;
    c -= b; c ^= Rotate(b, 4);  b += a;
}

void Final(uint32_t& a, uint32_t& b, uint32_t& c)
{
    c ^= b; c -= Rotate(b, 14);
    a ^= c; a -= Rotate(c, 11);
    b ^= a; b -= Rotate(a, 25);
    c ^= b; c -= Rotate(b, 16);
    a ^= c; a -= Rotate(c, 4);
    b ^= a; b -= Rotate(a, 14);
    c ^= b; c -= Rotate(b, 24);
}

// hashlittle over length bytes. word(offset, count) gives the little-endian
// word of the min(count, 4) bytes from offset, missing bytes zero; words are
// read little-endian whatever the machine, so the result is the same
// everywhere.
template <class WordAt>
uint32_t HashWords(size_t length, uint32_t initval, const WordAt& word)
{
    uint32_t a = 0xdeadbeefu + static_cast<uint32_t>(length) + initval;
    uint32_t b = a;
    uint32_t c = a;
    size_t offset = 0;
    // Every block but the last (which may be a full 12 bytes) is mixed.
    while (length - offset > 12) {
        a += word(offset, 4);
        b += word(offset + 4, 4);
        c += word(offset + 8, 4);
        Mix(a, b, c);
        offset += 12;
    }
    const size_t rest = length - offset;
    if (rest == 0)
        return c;
    a += word(offset, rest);
    if (rest > 4)
        b += word(offset + 4, rest - 4);
    if (rest > 8)
        c += word(offset + 8, rest - 8);
    Final(a, b, c);
    return c;
}

} // namespace

// Whole words are read as such; only a last partial word byte by byte.
uint32_t HashLittle(const void* key, size_t length, uint32_t initval)
{
    const auto* bytes = static_cast<const uint8_t*>(key);
    return HashWords(length, initval, [bytes](size_t offset, size_t count) {
        if (count >= 4)
            return base::GetLE32(bytes + offset);
        uint32_t value = 0;
        for (size_t i = 0; i < count; ++i)
            value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
        return value;
    });
}

// The name's UTF-16LE bytes are its code units as they lie in memory on
// the little-endian machines the plugin is built for. Every request
// hashes the name, so they are hashed in place.
static_assert(std::endian::native == std::endian::little, "RecordKey hashes UTF-16 units as little-endian bytes");

int64_t RecordKey(std::u16string_view name)
{
    const uint32_t hash = HashLittle(name.data(), 2 * name.size(), 0);
    return static_cast<int64_t>(static_cast<int32_t>(hash));
}

// ---- Record look-up ------------------------------------------------------

namespace {

// Equality only, compared as bytes: every cache hit compares a whole path,
// and the ordering comparison of UTF-16 strings goes unit by unit.
bool SameName(const std::u16string& stored, std::u16string_view name)
{
    return stored.size() == name.size() && std::memcmp(stored.data(), name.data(), name.size() * sizeof(char16_t)) == 0;
}

} // namespace

TRecordLookup LookupRecord(TwdxCache& cache, std::u16string_view name, platform::TFileTime fileTime,
                           int64_t fileSize, const TPackageReader& readPackage)
{
    const int64_t key = RecordKey(name);
    if (void* data = cache.GetItem(key)) {
        TCacheObject* object = TwdxCache::ObjectOf(data);
        // Exact equality on purpose: any change of time or size means the
        // file was rewritten. A record of another name with the same key is
        // as stale as a changed file.
        if (object && object->FileTime == fileTime && object->FileSize == fileSize && SameName(object->FileName, name)) {
            TRecordLookup answer;
            answer.Object = object;
            return answer;
        }
        cache.InvalidateItem(key);
    }

    TRecordLookup answer;
    answer.Owned = readPackage();
    if (!answer.Owned)
        return answer;
    answer.Object = answer.Owned.get();
    try {
        answer.Owned->FileName.assign(name);
        void* data = cache.AddItem(key);
        TwdxCache::StoreObject(data, answer.Owned.release());
    } catch (const std::bad_alloc&) {
        // The cache is unchanged; the request still answers from the object,
        // which the answer keeps owning.
    }
    return answer;
}

} // namespace addoscope::plugin
