#pragma once
#include "base/Stream.h"

#include <memory>
#include <string>

namespace addoscope::platform {
class TFile;
}

namespace addoscope::base {

// A file opened for reading only (other readers may share it, writers are
// not asked for), read through a buffer of 32768 bytes. Writing raises
// EWriteError. Opening failures raise EFOpenError.
class TFileStream : public TStream {
public:
    static constexpr int64_t BufferSize = 32768;

    explicit TFileStream(const std::u16string& fileName);
    ~TFileStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;

private:
    std::unique_ptr<platform::TFile> FFile;
    // Not value-initialised: every byte read from it was first read in.
    std::unique_ptr<uint8_t[]> FBuffer;
    int64_t FBufferStart = 0; // file offset of FBuffer[0]
    int64_t FBufferCount = 0; // valid bytes in FBuffer
    int64_t FPosition = 0;    // logical position
    int64_t FFilePosition = 0; // the open file's own offset; -1 when unknown
    int64_t FSize = -1;        // measured on first use, then kept
};

} // namespace addoscope::base
