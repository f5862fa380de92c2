#pragma once
// Ways for the tests to make the program fail, or stall, as if something
// unexpected happened. Only the test build of the program has them; in the
// shipped one they are nothing at all.

#include "platform/file_swap.h"
#include "stylescript/program_update.h"

namespace sheen {

#ifdef SHEENWRIGHT_FAULT_INJECTION
// Throws if the environment variable SHEENWRIGHT_FAULT names `point`.
void InjectFault(const char* point);
// Whether SHEENWRIGHT_FAULT names `point`, for a fault that throws nothing.
bool FaultNamed(const char* point);
// Where SHEENWRIGHT_REPLACE names one, a stand-in for ReplaceFileW that
// leaves one of the states its failures are documented to leave; else null.
ReplaceFunction ReplaceStandIn();
// If SHEENWRIGHT_STALL names `point`, waits there while the event
// "SheenwrightStallRelease" exists and is not set, as a share that stops
// answering would. Where SHEENWRIGHT_RUN_LOG names a file, `point` is first
// added to it as a line.
void InjectStall(const char* point);
// The program update's steps as the environment makes them fail: right after
// its copy is written (SHEENWRIGHT_FAULT or SHEENWRIGHT_STALL
// "ProgramCopyWritten"), with a manifest the side-by-side loader cannot
// satisfy ("SpoilMergedManifest"), or with ReplaceStandIn.
ProgramUpdateHooks UpdateHooks();
#else
inline void InjectFault(const char*) {}
inline void InjectStall(const char*) {}
inline bool FaultNamed(const char*) {
    return false;
}
inline ReplaceFunction ReplaceStandIn() {
    return nullptr;
}
inline ProgramUpdateHooks UpdateHooks() {
    return {};
}
#endif

} // namespace sheen
