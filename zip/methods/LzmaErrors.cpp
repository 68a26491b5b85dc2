#include "zip/methods/LzmaErrors.h"

namespace addoscope::zip {

std::string LzmaErrorMessage(int result)
{
    switch (result) {
    case 1: return "LZMA Data Error.";
    case 2: return "LZMA Memory Error.";
    case 3: return "LZMA CRC Error.";
    case 4: return "LZMA \"Unsupported\" Error.";
    case 5: return "LZMA Parameter Error.";
    case 6: return "LZMA Input EOF Error.";
    case 7: return "LZMA Output EOF Error.";
    case 8: return "LZMA Read Error.";
    case 9: return "LZMA Write Error.";
    case 10: return "LZMA Progress Error.";
    case 11: return "LZMA \"Fail\" Error.";
    case 12: return "LZMA Thread Error.";
    case 16: return "LZMA Archive Error.";
    case 17: return "LZMA \"No Archive\" Error.";
    default: return base::FormatText("Unknown LZMA error (%d)", result);
    }
}

EArcLZMAException::EArcLZMAException(int result)
    : EArcException(LzmaErrorMessage(result)), FResult(result)
{
}

} // namespace addoscope::zip
