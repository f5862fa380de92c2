#pragma once
// What the user is told when a Create, a removal or a change of the program's
// own manifest ends.

#include "stylescript/request.h"

#include <string>

namespace sheen {

// What the user is told about an outcome, in the message box, on the command
// line and from an elevated instance alike: a Create's success note followed
// by one line for each thing to know, a removal's lines, the program's own
// manifest's, or for an error the sentence of a program left as it is or the
// system's own description, and nothing else. Lines are parted by a lone CR.
std::wstring StyleScriptOutcomeText(const StyleScriptOutcome& outcome);

// What a whole request did: each step's lines, the script's first; a
// removal's as one, the program it put back among them.
std::wstring RequestOutcomeText(const RequestOutcome& outcome);

// The sentence for an error code: Sheenwright's own for its reasons (see
// stylescript/reasons.h), else the system's description.
std::wstring ReasonText(DWORD error);

// The name a program would be kept under, for a sentence; "a backup beside
// it" where that could not be told.
std::wstring ProgramKeptAs(const std::wstring& backupName);

// Told below a Create's outcome where the program's own manifest wins, but
// `refusal` keeps the style out of it.
std::wstring StyleRefusalLine(DWORD refusal);

// Asked below a Create's outcome where the program's own manifest wins; the
// program would be kept as `backupName`.
std::wstring EmbeddingQuestion(const std::wstring& backupName);

// What /check tells of a program: its processor; which manifest Windows
// uses and whether that gives Common Controls 6; what Creat would keep;
// whether the style can go into the program's own manifest, or why not; what
// a removal would put back. One line each, parted by a lone CR.
std::wstring InspectionText(const Inspection& inspection);

} // namespace sheen
