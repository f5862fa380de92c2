#pragma once
// Ways for the tests to make the program fail, or stall, as if something
// unexpected happened. Only the test build of the program has them; in the
// shipped one they are nothing at all.

namespace sheen {

#ifdef SHEENWRIGHT_FAULT_INJECTION
// Throws if the environment variable SHEENWRIGHT_FAULT names `point`.
void InjectFault(const char* point);
// If SHEENWRIGHT_STALL names `point`, waits there while the event
// "SheenwrightStallRelease" exists and is not set, as a share that stops
// answering would.
void InjectStall(const char* point);
#else
inline void InjectFault(const char*) {}
inline void InjectStall(const char*) {}
#endif

} // namespace sheen
