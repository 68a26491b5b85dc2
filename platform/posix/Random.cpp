// The system's random source, for hash seeds that no file can predict.
#include "platform/Platform.h"

#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/random.h>
#endif

namespace addoscope::platform {

bool RandomBytes(void* buffer, size_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
#if defined(__linux__)
    while (count > 0) {
        const ssize_t n = ::getrandom(out, count, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break; // no getrandom (old kernel): try the device below
        }
        out += n;
        count -= static_cast<size_t>(n);
    }
    if (count == 0)
        return true;
#endif
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    while (count > 0) {
        const ssize_t n = ::read(fd, out, count);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            break;
        }
        out += n;
        count -= static_cast<size_t>(n);
    }
    ::close(fd);
    return count == 0;
}

} // namespace addoscope::platform
