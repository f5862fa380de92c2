#include "platform/named_lock.h"

namespace sheen {

NamedLock::~NamedLock() {
    if (held_)
        ::ReleaseMutex(mutex_.get());
}

DWORD NamedLock::Acquire(const std::wstring& name, DWORD timeoutMs) {
    // Local\ is the session's namespace, which an elevated process of the
    // same session shares.
    mutex_.reset(::CreateMutexW(nullptr, FALSE, (L"Local\\" + name).c_str()));
    if (!mutex_)
        return ::GetLastError();
    switch (::WaitForSingleObject(mutex_.get(), timeoutMs)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED: // a run that ended holding it left the program whole: every step does
        held_ = true;
        return ERROR_SUCCESS;
    case WAIT_TIMEOUT:
        return ERROR_BUSY;
    default:
        return ::GetLastError();
    }
}

} // namespace sheen
