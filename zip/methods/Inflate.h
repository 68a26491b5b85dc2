#pragma once
// Deflate (RFC 1951) and PKWARE's Deflate64 decoding from one stream into
// another.
#include "base/Exception.h"
#include "base/Stream.h"

#include <cstdint>

namespace addoscope::zip {

// Option bits understood when decoding.
constexpr uint32_t DeflateOptDeflate64 = 0x10;
// The caller checks the output itself (the zip item extraction does, on
// its output stream), so the window need not keep a second checksum.
constexpr uint32_t DeflateOptNoChecksum = 0x20000000;

// Options and results of one decode. The compression-side settings of the
// option record are not kept: this reader never compresses.
struct TDeflateHelper {
    uint32_t FOptions = 15;
    int64_t FStreamSize = -1;
    int64_t FSizeCompressed = 0; // result: bytes the source advanced
    int64_t FSizeNormal = 0;     // result: bytes the target advanced
};

// Corrupt compressed data, as found inside the decoder. Inflate turns it
// into EArcInflateError.
class EArcInternalInflateError : public base::Exception {
public:
    using base::Exception::Exception;
};

// Decodes from the source's position to the target's and answers the
// CRC-32 of the output (0 with DeflateOptNoChecksum). Corrupt data raises
// EArcInflateError with "Inflate error, possibly a corrupted compressed
// stream. (Internal cause: ...)"; stream errors pass through. Output flushed
// before a failure stays in the target.
uint32_t Inflate(base::TStream& source, base::TStream& target, TDeflateHelper* helper = nullptr);

} // namespace addoscope::zip
