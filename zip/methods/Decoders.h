#pragma once
// The decoders of the rarer compression methods, each behind one function
// that the item extraction dispatches to. Every decoder reads the item's
// compressed bytes from `input` (positioned at the item data, already
// decrypted, ending where the item's compressed data ends) and writes the
// uncompressed bytes to `output` (the running-CRC output stream). Errors are
// exceptions; the caller checks the CRC-32 afterwards.
#include "base/Stream.h"

#include <cstdint>

namespace addoscope::zip {

struct TDecodeParams {
    uint8_t Method = 0;          // low byte of the method field
    uint16_t Flags = 0;          // general purpose bit flag
    int64_t CompressedSize = 0;
    int64_t UncompressedSize = 0;
};

// Methods 1 (shrink), 2-5 (reduce) and 6 (implode).
void UnzipHelperDecode(base::TStream& input, base::TStream& output, const TDecodeParams& params);
// Method 12.
void BZip2Decode(base::TStream& input, base::TStream& output, const TDecodeParams& params);
// Method 14.
void LzmaDecode(base::TStream& input, base::TStream& output, const TDecodeParams& params);
// Method 97.
void WavPackDecode(base::TStream& input, base::TStream& output, const TDecodeParams& params);
// Method 98.
void PpmdDecode(base::TStream& input, base::TStream& output, const TDecodeParams& params);

} // namespace addoscope::zip
