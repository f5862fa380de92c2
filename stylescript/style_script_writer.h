#pragma once

#include <windows.h>

#include <string>

namespace sheen {

// The style script's file name: the target path with ".manifest" appended,
// nothing trimmed or resolved.
std::wstring StyleScriptPath(const std::wstring& targetPath);

// What a Create did, and what the user should know about it besides.
struct StyleScriptOutcome {
    DWORD error = ERROR_SUCCESS;       // the first error; then nothing else below is set
    std::wstring backupName;           // file name only, when an earlier manifest was kept
    bool embeddedManifestWins = false; // Windows reads the program's own manifest instead
    bool alreadyStyled = false;        // which already gives the program the visual style
    bool touchFailed = false;          // Windows may go on using what it remembers
};

// Writes the style script that fits the program at `targetPath` (its
// processor's, see StyleScriptFor): afterwards its manifest holds the whole
// script, or whatever it held before. An earlier manifest with other bytes,
// unless it is a style script of any processor, is first kept as
// <manifest>.bak (or .bak2, ...). On systems that remember a program's
// manifest, a target read as a program then has its last-write time set to now.
// Never throws: running out of memory is ERROR_NOT_ENOUGH_MEMORY.
StyleScriptOutcome WriteStyleScriptFile(const std::wstring& targetPath);

// What the user is told about an outcome, in the message box, on the command
// line and from an elevated Create alike: the success note followed by one
// line for each thing to know, or the system's own description of the error
// and nothing else. Lines are parted by a lone CR.
std::wstring StyleScriptOutcomeText(const StyleScriptOutcome& outcome);

} // namespace sheen
