#pragma once
// What the user is told when a Create, a removal or a change of the program's
// own manifest ends.

#include "stylescript/style_script_writer.h"

#include <string>

namespace sheen {

// What the user is told about an outcome, in the message box, on the command
// line and from an elevated instance alike: a Create's success note followed
// by one line for each thing to know, a removal's lines, the program's own
// manifest's, or for an error the sentence of a program left as it is or the
// system's own description, and nothing else. Lines are parted by a lone CR.
std::wstring StyleScriptOutcomeText(const StyleScriptOutcome& outcome);

} // namespace sheen
