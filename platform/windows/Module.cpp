#include "base/Text.h"
#include "platform/Platform.h"
#include "platform/windows/WinApi.h"

#include <cstring>
#include <vector>

namespace addoscope::platform {

using windows::FromWide;
using windows::Wide;

namespace {

void ModuleAnchor() {}

// GetModuleFileNameW cuts the path silently when the buffer is too small,
// so the buffer grows until the whole path fits (paths may be long ones).
std::u16string ModulePath(HMODULE module)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    while (buffer.size() <= 65536) {
        const DWORD length = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return FromWide(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

} // namespace

std::u16string ModuleFileName()
{
    // The module that holds this code: the plugin DLL inside a host, the
    // program itself in a test or tool.
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&ModuleAnchor), &module))
        return {};
    return ModulePath(module);
}

TLibrary::TLibrary(const std::u16string& path)
{
    FHandle = reinterpret_cast<void*>(::LoadLibraryW(Wide(path)));
    if (!FHandle)
        FErrorText = windows::ErrorText(::GetLastError());
}

TLibrary::~TLibrary()
{
    if (FHandle)
        ::FreeLibrary(static_cast<HMODULE>(FHandle));
}

void* TLibrary::Symbol(const char* name) const
{
    if (!FHandle)
        return nullptr;
    const FARPROC address = ::GetProcAddress(static_cast<HMODULE>(FHandle), name);
    void* symbol = nullptr;
    static_assert(sizeof(symbol) == sizeof(address));
    std::memcpy(&symbol, &address, sizeof(symbol));
    return symbol;
}

bool StdErrIsTerminal()
{
    DWORD mode = 0;
    const HANDLE handle = ::GetStdHandle(STD_ERROR_HANDLE);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

} // namespace addoscope::platform
