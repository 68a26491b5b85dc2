#include "base/Text.h"
#include "platform/Platform.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

namespace addoscope::platform {

namespace {

void ModuleAnchor() {}

} // namespace

std::u16string ModuleFileName()
{
    Dl_info info {};
    if (::dladdr(reinterpret_cast<void*>(&ModuleAnchor), &info) != 0 && info.dli_fname && *info.dli_fname) {
        char resolved[PATH_MAX];
        if (::realpath(info.dli_fname, resolved))
            return base::Utf8ToUtf16(resolved);
    }
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n > 0)
        return base::Utf8ToUtf16(std::string_view(self, static_cast<size_t>(n)));
    return {};
}

TLibrary::TLibrary(const std::u16string& path)
{
    FHandle = ::dlopen(base::Utf16ToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!FHandle) {
        const char* error = ::dlerror();
        FErrorText = error ? error : "cannot load library";
    }
}

TLibrary::~TLibrary()
{
    if (FHandle)
        ::dlclose(FHandle);
}

void* TLibrary::Symbol(const char* name) const
{
    return FHandle ? ::dlsym(FHandle, name) : nullptr;
}

bool StdErrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

} // namespace addoscope::platform
