#include "platform/retrying.h"

namespace sheen {

void PauseBeforeRetry(DWORD milliseconds) {
    ::Sleep(milliseconds);
}

} // namespace sheen
