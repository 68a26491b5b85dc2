// Threads with a chosen stack size, which std::thread cannot ask for.
#include "platform/Platform.h"
#include "platform/windows/WinApi.h"

#include <exception>
#include <limits>

namespace addoscope::platform {

namespace {

struct TThreadCall {
    const std::function<void()>* Function;
    std::exception_ptr Error;
};

DWORD WINAPI ThreadEntry(LPVOID argument)
{
    auto* call = static_cast<TThreadCall*>(argument);
    try {
        (*call->Function)();
    } catch (...) {
        call->Error = std::current_exception();
    }
    return 0;
}

} // namespace

bool RunWithStackSize(size_t stackSize, const std::function<void()>& function)
{
    // The size is the stack's reservation, as the linker's stack size is for
    // a host's threads; pages are committed as the stack grows.
    if (stackSize > std::numeric_limits<DWORD>::max())
        stackSize = std::numeric_limits<DWORD>::max();
    TThreadCall call {&function, nullptr};
    const HANDLE thread = ::CreateThread(nullptr, stackSize, ThreadEntry, &call, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                         nullptr);
    if (thread == nullptr)
        return false;
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    if (call.Error)
        std::rethrow_exception(call.Error);
    return true;
}

int64_t ThreadCpuNanoseconds()
{
    FILETIME creation, exit, kernel, user;
    if (!::GetThreadTimes(::GetCurrentThread(), &creation, &exit, &kernel, &user))
        return -1;
    const auto ticks = [](const FILETIME& t) {
        return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) * 100;
}

} // namespace addoscope::platform
