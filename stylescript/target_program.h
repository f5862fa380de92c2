#pragma once
// What Windows will make of a style script beside a program, as far as the
// program and the running system tell.

#include "platform/system_info.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace sheen {

struct TargetProgram {
    WORD machine = 0;                  // IMAGE_FILE_MACHINE_*; 0 when not a readable program
    bool embeddedManifestWins = false; // Windows reads the program's own manifest instead
    bool alreadyStyled = false;        // and that one asks for Common Controls 6 itself
};

// Inspects the program at `fullPath` (a full path to a name CheckNewFileName
// accepts) for a system of version `os`. Never fails: what cannot be read
// leaves the defaults, which describe a script written as it always was.
TargetProgram InspectTarget(const std::wstring& fullPath, const OsVersion& os);

// Whether a manifest names Microsoft.Windows.Common-Controls in version 6 in
// one assemblyIdentity element outside comments; names and values compared
// without regard to case. A manifest in any encoding but UTF-8 or ASCII never
// does, so that nothing is claimed that was not read.
bool DependsOnCommonControls6(std::string_view manifest);

// Windows Vista (6.0) and later remember per program, by path and last-write
// time, whether it has a manifest.
bool CachesManifestLookups(const OsVersion& os);

} // namespace sheen
