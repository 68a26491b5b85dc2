#include "zip/methods/BZip2Errors.h"
#include "zip/methods/BZip2Stream.h"
#include "zip/methods/Decoders.h"

namespace addoscope::zip {

void BZip2Decode(base::TStream& input, base::TStream& output, const TDecodeParams& params)
{
    TBZDecompressionStream source(input);
    // A short result (the bzip2 stream or the item data ended first) fails
    // with the stream read error; the megabytes before it stay written.
    output.CopyFrom(source, params.UncompressedSize, 1048576);
}

} // namespace addoscope::zip

// The bzip2 library reports a broken internal invariant through this hook;
// its default prints to stderr and ends the process, which must never happen
// inside the host. Raising instead turns it into an ordinary failed
// extraction. Debian's libbz2 calls the hook under the name
// BZ2_bz__AssertH__fail through its PLT, upstream builds call
// bz_internal_error; a definition wins only where it is visible to the
// dynamic linker ahead of the library's own.
#if defined(__GNUC__)
#define ADDOSCOPE_BZ_HOOK __attribute__((visibility("default")))
#else
#define ADDOSCOPE_BZ_HOOK
#endif

extern "C" {

ADDOSCOPE_BZ_HOOK void BZ2_bz__AssertH__fail(int errcode)
{
    throw addoscope::zip::EBZip2Error(addoscope::base::FormatText("Compression Error %d", errcode));
}

ADDOSCOPE_BZ_HOOK void bz_internal_error(int errcode)
{
    throw addoscope::zip::EBZip2Error(addoscope::base::FormatText("Compression Error %d", errcode));
}

} // extern "C"
