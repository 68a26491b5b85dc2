#pragma once
// A read-only stream that decompresses bzip2 data from another stream.
#include "base/Stream.h"
#include "zip/methods/CountedMemory.h"

#include <bzlib.h>

#include <cstdint>
#include <vector>

namespace addoscope::zip {

class TBZDecompressionStream : public base::TStream {
public:
    // Decodes from `source`, starting at its current position. The source
    // is borrowed; its position is restored before every read, so others may
    // move it in between.
    explicit TBZDecompressionStream(base::TStream& source);
    ~TBZDecompressionStream() override;

    // Answers fewer bytes than asked only at the end of the bzip2 stream or
    // of the source.
    int64_t Read(void* buffer, int64_t count) override;
    // Raises EBZDecompressionError "Invalid stream operation".
    int64_t Write(const void* buffer, int64_t count) override;
    // Seeking to 0 from the beginning restarts decoding; seeking forward
    // decodes and discards; anything else raises "Invalid stream operation".
    int64_t Seek(int64_t offset, base::TSeekOrigin origin) override;

private:
    static constexpr size_t InputBufferSize = 65536;

    void Start();
    void Finish() noexcept;
    void Skip(int64_t count);

    base::TStream& FStream;
    int64_t FStartPos;     // the source's position where the bzip2 data starts
    int64_t FStreamPos;    // the source's position after the last read from it
    int64_t FPosition = 0; // bytes decoded so far
    bool FActive = false;  // FRec holds an initialised decompressor
    bool FInputEnded = false;
    bool FStreamEnded = false;
    TCountedMemory FMemory; // the decompressor's, counted against the budget
    base::TBudgetCharge FBufferCharge;
    bz_stream FRec{};
    std::vector<char> FBuffer;
};

} // namespace addoscope::zip
