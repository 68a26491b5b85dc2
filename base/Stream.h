#pragma once
#include <cstdint>

namespace addoscope::base {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// A seekable byte stream. Read and Write transfer up to count bytes and
// answer how many moved; ReadBuffer and WriteBuffer insist on all of them.
class TStream {
public:
    TStream() = default;
    virtual ~TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Answers the new position from the beginning.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size();
    // A hint: the reads that follow from the current position cover about
    // `count` bytes. A stream that reads its source in buffer-sized pieces
    // fetches just that range instead; reads go on working past it.
    virtual void ExpectRead(int64_t /*count*/) {}

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

    // Raise EReadError / EWriteError when fewer than count bytes move.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);

    // Copies exactly count bytes from source's current position, through a
    // buffer of bufferSize bytes; a short read raises EReadError.
    void CopyFrom(TStream& source, int64_t count, int64_t bufferSize = 1048576);
};

} // namespace addoscope::base
