#pragma once
// What Windows will make of a style script beside a program, as far as the
// program and the running system tell.

#include "platform/pe_image.h"
#include "stylescript/style_script.h"

#include <string>
#include <string_view>

namespace sheen {

struct TargetProgram {
    bool isProgram = false;          // read as a program at all
    DWORD readError = ERROR_SUCCESS; // why it was not, where that is not its format
    std::string_view architecture = kArchitectureX86; // for the script, see StyleScriptFor
    bool hasOwnManifest = false;                      // it carries a manifest that could be read
    bool ownManifestStyled = false;                   // which asks for Common Controls 6 itself
    bool fileComesFirst = false;       // Windows takes the file beside it over its own
    bool embeddedManifestWins = false; // Windows reads the program's own manifest instead
    bool alreadyStyled = false;        // and that one asks for Common Controls 6 itself
    bool needsTouch = false; // a program whose manifest Windows remembers by its last-write time
};

// The processor whose Common Controls the program's process will ask for.
std::string_view ArchitectureOf(const PeImage& image);

// The program's own manifest as an inspection read it, so that nothing after
// it reads and judges the same bytes again.
struct OwnManifest {
    std::string text;
    WORD language = 0;
};
DWORD ReadOwnManifest(const PeImage& image, OwnManifest& own);

// Inspects the program at `fullPath` (a full path to a name CheckNewFileName
// accepts) for the running system. Never fails: what cannot be read leaves the
// defaults, which describe a script written as it always was and no program.
TargetProgram InspectTarget(const std::wstring& fullPath);
// The same for the program already open as `image`; with `own`, that receives
// its manifest where it has one (hasOwnManifest).
TargetProgram InspectTarget(const PeImage& image, OwnManifest* own = nullptr);

// Whether a manifest, read as XML, depends on Microsoft.Windows.Common-Controls
// in version 6 as the side-by-side loader reads it: an assemblyIdentity
// element of the urn:schemas-microsoft-com:asm.v1 namespace, its attributes
// named as the schema names them, the assembly's name in any case. Never
// where it is not well-formed, or where the system cannot read XML, so that
// nothing is claimed that was not read.
bool DependsOnCommonControls6(std::string_view manifest);

// Whether it depends, so read, on Common Controls in another version.
bool DependsOnOtherCommonControls(std::string_view manifest);

} // namespace sheen
