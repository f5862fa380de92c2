#pragma once
// A way for the tests to make a handler fail as if something unexpected went
// wrong. Only the test build of the program has it; in the shipped one it is
// nothing at all.

namespace sheen {

#ifdef SHEENWRIGHT_FAULT_INJECTION
// Throws if the environment variable SHEENWRIGHT_FAULT names `handler`.
void InjectFault(const char* handler);
#else
inline void InjectFault(const char*) {}
#endif

} // namespace sheen
