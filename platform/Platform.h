#pragma once
// The only door to the operating system. Everything here is shaped after
// the Windows calls the plugin was designed around; the POSIX build supplies
// the nearest equivalent of each.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace addoscope::platform {

// ---- Synchronisation -----------------------------------------------------

// A process-wide mutual exclusion object (a critical section on Windows).
// Not re-entrant by contract: callers never enter it twice on one thread.
class TCriticalSection {
public:
    TCriticalSection();
    ~TCriticalSection();
    TCriticalSection(const TCriticalSection&) = delete;
    TCriticalSection& operator=(const TCriticalSection&) = delete;

    void Enter();
    void Leave();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

// ---- Threads ---------------------------------------------------------------

// Runs the function on a new thread with a stack of the given size and waits
// for it, as code runs on a host's thread of that size (1 MiB on Windows).
// An exception thrown by the function is raised again in the caller. False
// when no such thread could be made.
bool RunWithStackSize(size_t stackSize, const std::function<void()>& function);

// Processor time the calling thread has used so far, in nanoseconds; -1
// when the system cannot tell. Windows counts in clock ticks (about 16 ms).
int64_t ThreadCpuNanoseconds();

// ---- Randomness ------------------------------------------------------------

// Fills `buffer` with `count` bytes from the system's random source
// (getrandom on Linux, the CRT's rand_s on Windows). False when none could
// be had; the buffer is then unspecified.
bool RandomBytes(void* buffer, size_t count);

// ---- Hashing ---------------------------------------------------------------

using TSha256Digest = std::array<uint8_t, 32>;

// The SHA-256 of `size` bytes, computed by the system's cryptography library
// (OpenSSL's libcrypto on POSIX, CNG's bcrypt on Windows). False when the
// system could not compute it; the digest is then unspecified.
bool Sha256(const void* data, size_t size, TSha256Digest& digest);

// ---- Files ---------------------------------------------------------------

// Windows FILETIME: 100-nanosecond intervals since 1601-01-01 UTC.
using TFileTime = int64_t;

struct TFindData {
    TFileTime LastWriteTime = 0; // UTC
    int64_t Size = 0;
};

// True when something exists under the name, following symbolic links
// (a dangling link does not exist).
bool FileExists(const std::u16string& name);

// Find-first/find-close with every attribute but "directory": answers the
// entry's last-write time and size. Fails for directories and, on POSIX,
// for anything that is not a regular file (FIFOs, devices, sockets), since
// opening those could block the caller.
bool FindFile(const std::u16string& name, TFindData& data);
// The same, with the storage for the name as the system takes it kept by
// the caller (POSIX converts it to UTF-8; Windows needs none): a caller that
// finds file after file allocates nothing once it has held a name as long.
bool FindFile(const std::u16string& name, TFindData& data, std::string& scratch);

// UTC file time to local time by the time-zone rules in force at that date,
// as a TDateTime (days since 1899-12-30). Answers 0 when conversion fails.
double FileTimeToLocalDateTime(TFileTime time);

// The TDateTime of a local civil date and time of day, for the file-time
// conversions of each platform.
double LocalDateTime(int64_t year, unsigned month, unsigned day, double secondsOfDay);

// A file opened for reading only, shared with other readers.
class TFile {
public:
    // Opens the file; on failure IsOpen() is false and ErrorText() says why.
    explicit TFile(const std::u16string& name);
    ~TFile();
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    bool IsOpen() const;
    const std::string& ErrorText() const { return FErrorText; }

    // Reads up to count bytes; answers the count read, or -1 on an error.
    int64_t Read(void* buffer, int64_t count);
    // Reads up to count bytes from an absolute offset (pread; ReadFile at an
    // offset on Windows), one call for the exact range without a seek
    // before it; answers the count read (fewer only at the file's end), or
    // -1 on an error. The file's own offset is unspecified afterwards.
    int64_t ReadAt(void* buffer, int64_t count, int64_t offset);
    // Moves to an absolute offset; false on an error.
    bool SeekTo(int64_t offset);
    // The file's size in bytes, or -1 on an error.
    int64_t Size();
    // The size the file had when it was opened, or -1 on an error. POSIX
    // keeps it from the check made while opening, so it costs no call;
    // Windows measures it on the first call.
    int64_t SizeAtOpen();

private:
    intptr_t FHandle;
    int64_t FSizeAtOpen = -1;
    std::string FErrorText;
};

// ---- Module, locale, text ------------------------------------------------

// Full path of the shared library (or program) that holds this code.
std::u16string ModuleFileName();

// The user's default locale as its ISO 639 language name ("de"), or empty
// when it has none (POSIX: LC_ALL, then LC_MESSAGES, then LANG; "C",
// "POSIX" and unset give empty).
std::u16string UserDefaultLanguageName();

// Locale-aware casing of UTF-16 text, non-ASCII letters included.
std::u16string LowerCase(std::u16string_view text);
std::u16string UpperCase(std::u16string_view text);
// Locale-aware case-insensitive comparison: <0, 0 or >0.
int CompareTextLocale(std::u16string_view a, std::u16string_view b);
inline bool SameTextLocale(std::u16string_view a, std::u16string_view b)
{
    return CompareTextLocale(a, b) == 0;
}

// The user's decimal separator, read without touching the process locale.
char16_t DecimalSeparator();
// Puts a given separator in place of the user's (0 restores the user's).
// For tests, which cannot rely on a locale being installed.
void OverrideDecimalSeparator(char16_t separator);

// 8-bit file names as the host passes them to the ANSI entry point: the
// system ANSI code page on Windows, UTF-8 on POSIX.
std::u16string HostNameToUnicode(std::string_view name);

// The code pages the zip reader decodes legacy names with. On POSIX these
// are fixed: ANSI 1252 and OEM 437.
unsigned AnsiCodePage();
unsigned OemCodePage();
std::u16string AnsiToUnicode(std::string_view bytes);
std::u16string OemToUnicode(std::string_view bytes);
// Characters the ANSI code page cannot represent become '?'.
std::string UnicodeToAnsi(std::u16string_view text);

// Whether the running system keeps file-name case per folder, so that names
// must not be lower-cased. Windows: version 10 build 17134 or later; POSIX
// file systems are case-sensitive, so always true there.
bool FileNamesKeepCase();
// The Windows rule itself, for a given major version and build number.
bool WindowsVersionKeepsCase(uint32_t major, uint32_t build);

// Whether the file system tells names apart by letter case, so that a
// lower-cased name may name another file (POSIX) or the same one (Windows).
#if defined(_WIN32)
inline constexpr bool FileNameCaseMatters = false;
#else
inline constexpr bool FileNameCaseMatters = true;
#endif

// Whether file names of 256 characters or more need the "\\?\" long-name
// prefix before they are used (Windows only).
#if defined(_WIN32)
inline constexpr bool UsesLongNamePrefix = true;
#else
inline constexpr bool UsesLongNamePrefix = false;
#endif

// Whether FindFile takes "*" and "?" in the last name component as
// wildcards (find-first on Windows), so that a successful find does not
// prove that the name itself exists.
#if defined(_WIN32)
inline constexpr bool FindFileMatchesPatterns = true;
#else
inline constexpr bool FindFileMatchesPatterns = false;
#endif

// ---- Dynamic libraries and terminals (for host programs and tests) -------

class TLibrary {
public:
    explicit TLibrary(const std::u16string& path);
    ~TLibrary();
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;

    bool IsLoaded() const { return FHandle != nullptr; }
    const std::string& ErrorText() const { return FErrorText; }
    void* Symbol(const char* name) const;

private:
    void* FHandle = nullptr;
    std::string FErrorText;
};

// True when standard error is an interactive terminal.
bool StdErrIsTerminal();

} // namespace addoscope::platform
