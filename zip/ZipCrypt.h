#pragma once
// Traditional PKWARE encryption, decrypting side.
#include "base/Stream.h"

#include <cstdint>
#include <memory>
#include <string>

namespace addoscope::zip {

// The three running keys of the traditional cipher.
class TZipDecryptEngine {
public:
    // Keys from the password bytes (ANSI code page).
    void Initialize(const std::string& password);
    uint8_t DecryptByte(uint8_t cipher)
    {
        const uint32_t temp = (FKey2 & 0xFFFF) | 2;
        const uint8_t plain = cipher ^ static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
        UpdateKeys(plain);
        return plain;
    }
    void Decrypt(uint8_t* data, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            data[i] = DecryptByte(data[i]);
    }
    bool Ready() const { return FReady; }
    void SetReady(bool ready) { FReady = ready; }

private:
    void UpdateKeys(uint8_t plain);

    uint32_t FKey0 = 0;
    uint32_t FKey1 = 0;
    uint32_t FKey2 = 0;
    bool FReady = false;
};

// Read-only stream that decrypts the item data behind its 12-byte
// encryption header. VerifyHeader must succeed before the first Read.
class TDfDecryptStream : public base::TStream {
public:
    // `checkValue`'s top byte is what the last header byte must decrypt to.
    TDfDecryptStream(base::TStream& stream, uint32_t checkValue, const std::u16string& passphrase);
    ~TDfDecryptStream() override;

    // Reads and decrypts the header; false (and the source moved back to
    // where it was) when the password does not fit.
    bool VerifyHeader();
    // Hands the source stream over; it is freed with this stream.
    void TakeOwnership(std::unique_ptr<base::TStream> stream);

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, base::TSeekOrigin origin) override;
    int64_t Size() override;

private:
    base::TStream* FStream;
    uint32_t FCheckValue;
    std::u16string FPassphrase;
    std::unique_ptr<TZipDecryptEngine> FEngine;
    bool FReady = false;
    std::unique_ptr<base::TStream> FOwnedStream;
};

} // namespace addoscope::zip
