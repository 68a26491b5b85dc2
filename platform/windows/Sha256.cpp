// SHA-256 from CNG (bcrypt.dll, part of Windows since Vista). The
// create/hash/finish calls are used rather than BCryptHash, which only
// Windows 10 has.
#include "platform/windows/WinApi.h"

#include <bcrypt.h>

#include "platform/Platform.h"

#include <climits>

namespace addoscope::platform {

namespace {

class TAlgorithm {
public:
    TAlgorithm() { FOk = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&FHandle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)); }
    ~TAlgorithm()
    {
        if (FOk)
            BCryptCloseAlgorithmProvider(FHandle, 0);
    }
    TAlgorithm(const TAlgorithm&) = delete;
    TAlgorithm& operator=(const TAlgorithm&) = delete;

    bool FOk = false;
    BCRYPT_ALG_HANDLE FHandle = nullptr;
};

class THash {
public:
    explicit THash(BCRYPT_ALG_HANDLE algorithm)
    {
        FOk = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &FHandle, nullptr, 0, nullptr, 0, 0));
    }
    ~THash()
    {
        if (FOk)
            BCryptDestroyHash(FHandle);
    }
    THash(const THash&) = delete;
    THash& operator=(const THash&) = delete;

    bool FOk = false;
    BCRYPT_HASH_HANDLE FHandle = nullptr;
};

} // namespace

bool Sha256(const void* data, size_t size, TSha256Digest& digest)
{
    TAlgorithm algorithm;
    if (!algorithm.FOk)
        return false;
    THash hash(algorithm.FHandle);
    if (!hash.FOk)
        return false;
    // The input length is a ULONG: larger inputs go in pieces.
    auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
    while (size > 0) {
        const ULONG piece = size > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(BCryptHashData(hash.FHandle, bytes, piece, 0)))
            return false;
        bytes += piece;
        size -= piece;
    }
    return BCRYPT_SUCCESS(BCryptFinishHash(hash.FHandle, digest.data(), static_cast<ULONG>(digest.size()), 0));
}

} // namespace addoscope::platform
