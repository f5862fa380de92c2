#include "platform/random_number.h"

#include "platform/system_function.h"

namespace sheen {

ULONGLONG RandomNumber() {
    // RtlGenRandom, which advapi32 exports under this name from Windows XP on;
    // the program imports advapi32, so it is loaded.
    static const auto generate =
        FindSystemFunction<BOOLEAN(WINAPI*)(void*, ULONG)>(L"advapi32.dll", "SystemFunction036");
    ULONGLONG number = 0;
    if (generate && generate(&number, sizeof number))
        return number;
    // Never seen; still different for each request and process.
    LARGE_INTEGER counter = {};
    ::QueryPerformanceCounter(&counter);
    return ULONGLONG(counter.QuadPart) ^ (ULONGLONG(::GetCurrentProcessId()) << 32) ^
           ::GetTickCount();
}

} // namespace sheen
