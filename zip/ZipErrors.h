#pragma once
// The zip reader's error classes. Coded errors carry ErrorCode; their
// messages are fixed texts.
#include "base/Exception.h"

#include <cstdint>

namespace addoscope::zip {

class EArcException : public base::Exception {
public:
    EArcException(std::string message, int32_t errorCode = 0)
        : base::Exception(std::move(message)), FErrorCode(errorCode) {}
    int32_t ErrorCode() const noexcept { return FErrorCode; }

private:
    int32_t FErrorCode;
};

class EZipException : public EArcException {
public:
    using EArcException::EArcException;
};

#define ADDOSCOPE_ARC_ERROR(Name, Base, Code, Text)                                                      \
    class Name : public Base {                                                                           \
    public:                                                                                              \
        static constexpr int32_t Code_ = Code;                                                           \
        Name() : Base(Text, Code) {}                                                                     \
    };

ADDOSCOPE_ARC_ERROR(EZipVersion, EZipException, 1, "Cannot extract file - newer version required")
ADDOSCOPE_ARC_ERROR(EZipInvalidMethod, EZipException, 2, "Cannot extract file - unsupported compression method")
ADDOSCOPE_ARC_ERROR(EZipNoExtraction, EZipException, 3, "Cannot extract file - no extraction support provided")
ADDOSCOPE_ARC_ERROR(EZipInvalidPassword, EZipException, 4, "Cannot extract file - invalid password")
ADDOSCOPE_ARC_ERROR(EZipInvalidFactor, EZipException, 6, "Invalid Reduce Factor")
ADDOSCOPE_ARC_ERROR(EArcUserAbort, EArcException, 9, "Process aborted by user")
ADDOSCOPE_ARC_ERROR(EZipBadSpanStream, EZipException, 11, "Spanned archives must be opened as file streams")
ADDOSCOPE_ARC_ERROR(EArcNoSuchDirectory, EArcException, 15, "Directory does not exist")
ADDOSCOPE_ARC_ERROR(EArcBadStream, EArcException, 17, "Invalid Stream")
ADDOSCOPE_ARC_ERROR(EZipBadCRC, EZipException, 19, "Failed CRC Check")
ADDOSCOPE_ARC_ERROR(EZipInvalidLFH, EZipException, 22, "Invalid Local File Header entry")
ADDOSCOPE_ARC_ERROR(EArcNoArchive, EArcException, 23, "Archive does not exist - Filename is blank")
ADDOSCOPE_ARC_ERROR(EZipInvalid, EZipException, 24, "Invalid file - not a PKZip file")
ADDOSCOPE_ARC_ERROR(EArcReadError, EZipException, 25, "Error reading archive")

#undef ADDOSCOPE_ARC_ERROR

// Corrupt Deflate data, as it leaves Inflate:
// "Inflate error, possibly a corrupted compressed stream. (Internal cause: ...)".
class EArcInflateError : public base::Exception {
public:
    using base::Exception::Exception;
};

} // namespace addoscope::zip
