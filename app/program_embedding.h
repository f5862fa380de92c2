#pragma once
// What the user is asked about adding the visual style to a program's own
// manifest (stylescript/program_update.h), and the requests of the window,
// the command line and the elevated instance carried out alike.

#include "stylescript/style_script_writer.h"

#include <string>

namespace sheen {

// Does `action` for `targetPath`; the test build can make the program update
// fail right after its copy is written. Never throws.
StyleScriptOutcome CarryOutRequest(StyleScriptAction action, const std::wstring& targetPath);

// Asked below a Create's outcome where the program's own manifest wins; the
// program would be kept as `backupName`.
std::wstring EmbeddingQuestion(const std::wstring& backupName);

} // namespace sheen
