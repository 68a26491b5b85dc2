// Threads with a chosen stack size, which std::thread cannot ask for.
#include "platform/Platform.h"

#include <exception>
#include <limits.h>
#include <pthread.h>
#include <time.h>

namespace addoscope::platform {

namespace {

struct TThreadCall {
    const std::function<void()>* Function;
    std::exception_ptr Error;
};

void* ThreadEntry(void* argument)
{
    auto* call = static_cast<TThreadCall*>(argument);
    try {
        (*call->Function)();
    } catch (...) {
        call->Error = std::current_exception();
    }
    return nullptr;
}

} // namespace

bool RunWithStackSize(size_t stackSize, const std::function<void()>& function)
{
    const size_t minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
    if (stackSize < minimum)
        stackSize = minimum;
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0)
        return false;
    TThreadCall call {&function, nullptr};
    pthread_t thread;
    const bool started = ::pthread_attr_setstacksize(&attributes, stackSize) == 0 &&
                         ::pthread_create(&thread, &attributes, ThreadEntry, &call) == 0;
    ::pthread_attr_destroy(&attributes);
    if (!started)
        return false;
    ::pthread_join(thread, nullptr);
    if (call.Error)
        std::rethrow_exception(call.Error);
    return true;
}

int64_t ThreadCpuNanoseconds()
{
    timespec now {};
    if (::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0)
        return -1;
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace addoscope::platform
