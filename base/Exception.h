#pragma once
#include <exception>
#include <string>

namespace addoscope::base {

// Root of every error class raised on the reading path. The message is UTF-8.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }

private:
    std::string FMessage;
};

class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// Raised by ReadBuffer on a short read: "Stream read error".
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
    using EStreamError::EStreamError;
};

// Raised by WriteBuffer on a short write: "Stream write error".
class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
    using EStreamError::EStreamError;
};

// A file that cannot be opened: "Cannot open file "%s". %s".
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// A violated precondition. The message carries the source location as
// "%s (%s, line %d)".
class EAssertionFailed : public Exception {
public:
    using Exception::Exception;
};

// printf-style formatting into a std::string.
std::string FormatText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Raises EAssertionFailed with "message (unit, line N)".
[[noreturn]] void RaiseAssertion(const char* message, const char* unit, int line);

} // namespace addoscope::base
