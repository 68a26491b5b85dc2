#include "zip/Decoders.h"
#include "zip/ZipErrors.h"

namespace addoscope::zip {

// Not built yet: items of this method are refused like an unknown method.
void UnzipHelperDecode(base::TStream&, base::TStream&, const TDecodeParams&)
{
    throw EZipInvalidMethod();
}

} // namespace addoscope::zip
