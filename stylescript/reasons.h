#pragma once
// Sheenwright's own reasons for not doing what it was asked, as error codes
// with the customer bit (29) set, so that none can be mistaken for the
// system's: the system's own sharing violation or CRC error stays what it is.
// What the user reads for each is in app/outcome_text.cpp; the codes scripts
// have long seen for them are kept at the command line (app/command_line.cpp).

#include "platform/resource_writer.h"

#include <windows.h>

namespace sheen {

inline constexpr DWORD kOwnReason = 0x20000000;

// The folder an administrator's run was handed is not the one its path leads to.
inline constexpr DWORD kFolderChangedError = kOwnReason | 1;
// The resource writer's: kSectionAfterResources (2) and kResourcesShareSection (3).
static_assert(kSectionAfterResources == (kOwnReason | 2));
static_assert(kResourcesShareSection == (kOwnReason | 3));
// The program's own manifest already depends on Common Controls in another
// version: the loader would refuse a second dependency beside it.
inline constexpr DWORD kOtherCommonControlsVersion = kOwnReason | 4;
// The side-by-side loader refuses the changed manifest, which the original's
// it accepts: Windows would not start the program.
inline constexpr DWORD kWouldNotStart = kOwnReason | 5;
// The program carries a certificate, which the change would break.
inline constexpr DWORD kSignedProgram = kOwnReason | 6;
// A .NET program, whose manifest the runtime, not the loader alone, reads.
inline constexpr DWORD kDotNetProgram = kOwnReason | 7;
// Data after the last section (an installer's archive), which a change would lose.
inline constexpr DWORD kDataAfterSections = kOwnReason | 8;
inline constexpr DWORD kReadOnlyProgram = kOwnReason | 9;
// Running, or held open for writing or without sharing.
inline constexpr DWORD kProgramInUse = kOwnReason | 10;
// The program's own manifest cannot be read as XML, or gives nothing to add to.
inline constexpr DWORD kUnreadableManifest = kOwnReason | 11;
// The changed program did not read back as intended.
inline constexpr DWORD kCheckAfterChangeFailed = kOwnReason | 12;
// The program Sheenwright changed has changed since in some other byte.
inline constexpr DWORD kProgramChangedSince = kOwnReason | 13;

} // namespace sheen
