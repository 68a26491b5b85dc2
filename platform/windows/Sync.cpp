#include "platform/Platform.h"
#include "platform/windows/WinApi.h"

namespace addoscope::platform {

struct TCriticalSection::TImpl {
    CRITICAL_SECTION Section;
};

TCriticalSection::TCriticalSection() : FImpl(std::make_unique<TImpl>())
{
    ::InitializeCriticalSection(&FImpl->Section);
}

TCriticalSection::~TCriticalSection()
{
    ::DeleteCriticalSection(&FImpl->Section);
}

void TCriticalSection::Enter()
{
    ::EnterCriticalSection(&FImpl->Section);
}

void TCriticalSection::Leave()
{
    ::LeaveCriticalSection(&FImpl->Section);
}

} // namespace addoscope::platform
