#include "zip/ZipCrypt.h"

#include "base/Budget.h"
#include "base/Crc32.h"
#include "base/Exception.h"
#include "platform/Platform.h"
#include "zip/ZipErrors.h"

namespace addoscope::zip {

namespace {

uint32_t CrcByte(uint32_t crc, uint8_t b)
{
    // One step of the CRC-32 register, as the key schedule defines it
    // (no pre- or post-conditioning).
    return base::Crc32Update(crc, &b, 1);
}

} // namespace

void TZipDecryptEngine::UpdateKeys(uint8_t plain)
{
    FKey0 = CrcByte(FKey0, plain);
    FKey1 = (FKey1 + (FKey0 & 0xFF)) * 134775813u + 1;
    FKey2 = CrcByte(FKey2, static_cast<uint8_t>(FKey1 >> 24));
}

void TZipDecryptEngine::Initialize(const std::string& password)
{
    FKey0 = 0x12345678u;
    FKey1 = 0x23456789u;
    FKey2 = 0x34567890u;
    for (const char c : password)
        UpdateKeys(static_cast<uint8_t>(c));
    FReady = true;
}

TDfDecryptStream::TDfDecryptStream(base::TStream& stream, uint32_t checkValue, const std::u16string& passphrase)
    : FStream(&stream), FCheckValue(checkValue), FPassphrase(passphrase), FEngine(std::make_unique<TZipDecryptEngine>())
{
}

TDfDecryptStream::~TDfDecryptStream() = default;

bool TDfDecryptStream::VerifyHeader()
{
    FEngine->Initialize(platform::UnicodeToAnsi(FPassphrase));
    uint8_t header[12] = {};
    const int64_t got = FStream->Read(header, sizeof header);
    FEngine->Decrypt(header, sizeof header);
    FReady = got == static_cast<int64_t>(sizeof header) && header[11] == static_cast<uint8_t>(FCheckValue >> 24);
    if (!FReady && got > 0)
        FStream->Seek(-got, base::TSeekOrigin::soCurrent);
    return FReady;
}

void TDfDecryptStream::TakeOwnership(std::unique_ptr<base::TStream> stream)
{
    FOwnedStream = std::move(stream);
}

int64_t TDfDecryptStream::Read(void* buffer, int64_t count)
{
    if (!FReady)
        base::RaiseAssertion("Decrypt stream read before its header was verified", __FILE__, __LINE__);
    const int64_t n = FStream->Read(buffer, count);
    base::BudgetTick(1 + std::max<int64_t>(n, 0) / 64);
    if (n > 0)
        FEngine->Decrypt(static_cast<uint8_t*>(buffer), static_cast<size_t>(n));
    return n;
}

int64_t TDfDecryptStream::Write(const void*, int64_t)
{
    base::RaiseAssertion("Decrypt stream is read-only", __FILE__, __LINE__);
}

int64_t TDfDecryptStream::Seek(int64_t offset, base::TSeekOrigin origin)
{
    // The cipher runs forwards only: a decoder may ask where it is, or seek
    // to where it already is, and nothing else. Positions count from the
    // first byte after the encryption header.
    const int64_t current = FStream->Seek(0, base::TSeekOrigin::soCurrent) - 12;
    int64_t target = offset;
    if (origin == base::TSeekOrigin::soCurrent)
        target = current + offset;
    else if (origin == base::TSeekOrigin::soEnd)
        target = Size() + offset;
    if (target != current)
        throw EArcException("TDfDecryptStream.Seek not supported");
    return current;
}

int64_t TDfDecryptStream::Size()
{
    return FStream->Size() - 12;
}

} // namespace addoscope::zip
