#include "base/Text.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace addoscope::platform {

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t FileTimeEpochSeconds = 11644473600LL;
constexpr int64_t TicksPerSecond = 10000000LL;
// Linux moves at most 0x7FFFF000 bytes in one read.
constexpr int64_t MaxSingleRead = 0x7FFFF000LL;

std::string NativeName(const std::u16string& name)
{
    return base::Utf16ToUtf8(name);
}

} // namespace

bool FileExists(const std::u16string& name)
{
    if (name.empty())
        return false;
    struct stat st {};
    return ::stat(NativeName(name).c_str(), &st) == 0;
}

bool FindFile(const std::u16string& name, TFindData& data)
{
    std::string native;
    return FindFile(name, data, native);
}

bool FindFile(const std::u16string& name, TFindData& data, std::string& native)
{
    if (name.empty())
        return false;
    base::Utf16ToUtf8(name, native);
    // Filled by a successful stat(), and read only then: this find runs on
    // every request.
    struct stat st;
    if (::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    data.LastWriteTime = (static_cast<int64_t>(st.st_mtim.tv_sec) + FileTimeEpochSeconds) * TicksPerSecond +
                         st.st_mtim.tv_nsec / 100;
    data.Size = static_cast<int64_t>(st.st_size);
    return true;
}

double FileTimeToLocalDateTime(TFileTime time)
{
    const int64_t ticksSinceUnix = time - FileTimeEpochSeconds * TicksPerSecond;
    int64_t seconds = ticksSinceUnix / TicksPerSecond;
    int64_t fraction = ticksSinceUnix % TicksPerSecond;
    if (fraction < 0) {
        fraction += TicksPerSecond;
        --seconds;
    }
    const auto t = static_cast<time_t>(seconds);
    struct tm local {};
    if (::localtime_r(&t, &local) == nullptr)
        return 0;
    const double secondsOfDay = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
                                static_cast<double>(fraction) / TicksPerSecond;
    return LocalDateTime(local.tm_year + 1900LL, static_cast<unsigned>(local.tm_mon + 1),
                         static_cast<unsigned>(local.tm_mday), secondsOfDay);
}

TFile::TFile(const std::u16string& name) : FHandle(-1)
{
    // O_NONBLOCK keeps a FIFO that replaced the file from blocking the open;
    // anything that is not a regular file is refused right after. The flag
    // stays set: reads of a regular file never block on it, and clearing it
    // would cost two more calls per package.
    const int fd = ::open(NativeName(name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        FErrorText = std::strerror(errno);
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        FErrorText = "Not a regular file";
        ::close(fd);
        return;
    }
    FHandle = fd;
    FSizeAtOpen = static_cast<int64_t>(st.st_size);
}

TFile::~TFile()
{
    if (FHandle >= 0)
        ::close(static_cast<int>(FHandle));
}

bool TFile::IsOpen() const
{
    return FHandle >= 0;
}

namespace {

// Reads `count` bytes by repeating `call(out, want, done)` (one read or
// pread of `want` bytes, `done` bytes in) until they are all there or the
// file ends; -1 on an error.
template <class Call>
int64_t ReadFully(void* buffer, int64_t count, const Call& call)
{
    auto* out = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const int64_t want = count - done;
        const ssize_t n = call(out + done, static_cast<size_t>(want), done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        done += n;
        // A regular file answers a read short only at its end (one read
        // moves at most MaxSingleRead bytes, so only smaller requests
        // count): asking again would just answer 0.
        if (n == 0 || n < std::min(want, MaxSingleRead))
            break;
    }
    return done;
}

} // namespace

int64_t TFile::Read(void* buffer, int64_t count)
{
    if (FHandle < 0)
        return -1;
    const int fd = static_cast<int>(FHandle);
    return ReadFully(buffer, count, [fd](char* out, size_t want, int64_t) { return ::read(fd, out, want); });
}

int64_t TFile::ReadAt(void* buffer, int64_t count, int64_t offset)
{
    if (FHandle < 0 || count < 0 || offset < 0)
        return -1;
    const int fd = static_cast<int>(FHandle);
    return ReadFully(buffer, count, [fd, offset](char* out, size_t want, int64_t done) {
        return ::pread(fd, out, want, static_cast<off_t>(offset + done));
    });
}

bool TFile::SeekTo(int64_t offset)
{
    return FHandle >= 0 && ::lseek(static_cast<int>(FHandle), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

int64_t TFile::Size()
{
    struct stat st {};
    if (FHandle < 0 || ::fstat(static_cast<int>(FHandle), &st) != 0)
        return -1;
    return static_cast<int64_t>(st.st_size);
}

int64_t TFile::SizeAtOpen()
{
    return FHandle >= 0 ? FSizeAtOpen : -1;
}

} // namespace addoscope::platform
