#include "base/SeededHash.h"

#include "platform/Platform.h"

#include <atomic>
#include <chrono>
#include <cstring>

#define XXH_INLINE_ALL
#define XXH_STATIC_LINKING_ONLY
#include <xxhash.h>

namespace addoscope::base {

namespace {

constexpr size_t SecretSize = XXH3_SECRET_DEFAULT_SIZE;

struct TProcessSecret {
    unsigned char Bytes[SecretSize];
    std::atomic<uint64_t> Tables {0};

    TProcessSecret()
    {
        unsigned char entropy[64] = {};
        if (!platform::RandomBytes(entropy, sizeof entropy)) {
            // No random source at all: the clock and an address still
            // differ from run to run, which is the best left to do.
            const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
            const auto here = reinterpret_cast<uintptr_t>(this);
            std::memcpy(entropy, &now, sizeof now);
            std::memcpy(entropy + sizeof now, &here, sizeof here);
        }
        XXH3_generateSecret(Bytes, sizeof Bytes, entropy, sizeof entropy);
    }
};

TProcessSecret& Secret()
{
    static TProcessSecret secret;
    return secret;
}

} // namespace

TSeededHash::TSeededHash()
{
    // Each table's seed is the keyed hash of a counter: distinct for every
    // table and, without the secret, unpredictable.
    TProcessSecret& secret = Secret();
    const uint64_t table = secret.Tables.fetch_add(1, std::memory_order_relaxed);
    FSeed = XXH3_64bits_withSecret(&table, sizeof table, secret.Bytes, SecretSize);
}

uint64_t TSeededHash::operator()(const void* data, size_t size) const
{
    return XXH3_64bits_withSecretandSeed(data, size, Secret().Bytes, SecretSize, FSeed);
}

} // namespace addoscope::base
