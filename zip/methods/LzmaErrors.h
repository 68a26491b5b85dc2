#pragma once
// Errors of the LZMA decoder: one class, the message chosen by the LZMA SDK
// result code.
#include "zip/ZipErrors.h"

#include <string>

namespace addoscope::zip {

class EArcLZMAException : public EArcException {
public:
    explicit EArcLZMAException(int result);
    // The LZMA SDK result code (SZ_ERROR_...).
    int Result() const noexcept { return FResult; }

private:
    int FResult;
};

// "LZMA Data Error." for 1 and so on; "Unknown LZMA error (%d)" otherwise.
std::string LzmaErrorMessage(int result);

} // namespace addoscope::zip
