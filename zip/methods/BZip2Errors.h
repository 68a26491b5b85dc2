#pragma once
// Errors of the bzip2 decoder. Return codes of the library appear in the
// message as "error %d"; the library's own consistency checks as
// "Compression Error %d".
#include "base/Exception.h"

namespace addoscope::zip {

class EBZip2Error : public base::Exception {
public:
    using base::Exception::Exception;
};

// Raised while reading (decompressing) and for unsupported stream operations.
class EBZCompressionError : public EBZip2Error {
public:
    using EBZip2Error::EBZip2Error;
};

// Raised when the decompressor cannot be set up, and for seeks and writes
// the decompression stream does not support.
class EBZDecompressionError : public EBZip2Error {
public:
    using EBZip2Error::EBZip2Error;
};

} // namespace addoscope::zip
