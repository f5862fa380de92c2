#pragma once
// Where the program's own process looks for DLLs. A downloaded program runs
// from a folder that anything may write to, such as Downloads; Windows looks
// there first for the DLLs that system DLLs load by name (version.dll,
// uxtheme.dll, msimg32.dll, ...), unless told otherwise.

#include <windows.h>

namespace sheen {

// From now on, DLLs this process loads by name come from the system folder,
// and those they load in turn: SetDefaultDllDirectories where the system has
// it (Windows 8, and 7 or Vista updated), else at least not from the current
// folder (SetDllDirectoryW). Call it first, before anything loads the Common
// Controls, the shell or COM.
void KeepDllSearchesToSystemFolder();

// Loads the Common Controls (the version the program's manifest asks for),
// after KeepDllSearchesToSystemFolder, so that the DLLs they load come from the
// system folder too, and registers the window classes of `classes` (ICC_...).
// A class that could not be registered shows when a control of it is created.
void LoadCommonControls(DWORD classes);

} // namespace sheen
