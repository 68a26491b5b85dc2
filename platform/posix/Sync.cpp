#include "platform/Platform.h"

#include <mutex>

namespace addoscope::platform {

struct TCriticalSection::TImpl {
    std::mutex Mutex;
};

TCriticalSection::TCriticalSection() : FImpl(std::make_unique<TImpl>()) {}
TCriticalSection::~TCriticalSection() = default;

void TCriticalSection::Enter()
{
    FImpl->Mutex.lock();
}

void TCriticalSection::Leave()
{
    FImpl->Mutex.unlock();
}

} // namespace addoscope::platform
