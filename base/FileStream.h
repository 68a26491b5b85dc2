#pragma once
#include "base/Budget.h"
#include "base/Stream.h"

#include <memory>
#include <string>

namespace addoscope::platform {
class TFile;
}

namespace addoscope::base {

// A file opened for reading only (other readers may share it, writers are
// not asked for). Every read is a positioned read of the file, so a seek
// costs nothing; small reads go through a buffer of 32768 bytes, or of
// just the range a reader said it expects (ExpectRead, at most 1 MiB).
// Writing raises EWriteError. Opening failures raise EFOpenError.
class TFileStream : public TStream {
public:
    static constexpr int64_t BufferSize = 32768;
    static constexpr int64_t MaxExpectedRead = 1048576;

    explicit TFileStream(const std::u16string& fileName);
    ~TFileStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;
    void ExpectRead(int64_t count) override;

private:
    // Reads [FPosition, FPosition + count) into the buffer; answers the count read.
    int64_t Fill(int64_t count);

    std::unique_ptr<platform::TFile> FFile;
    // Not value-initialised: every byte read from it was first read in.
    std::unique_ptr<uint8_t[]> FBuffer;
    int64_t FBufferCapacity = 0;
    TBudgetCharge FBufferCharge;
    int64_t FBufferStart = 0; // file offset of FBuffer[0]
    int64_t FBufferCount = 0; // valid bytes in FBuffer
    int64_t FPosition = 0;    // logical position
    int64_t FExpectedStart = 0; // the range a reader announced
    int64_t FExpectedEnd = 0;
    int64_t FSize = -1; // measured on first use, then kept
};

} // namespace addoscope::base
