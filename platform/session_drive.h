#pragma once

#include <string>

namespace sheen {

// `fullPath` as a process of another logon session reaches it, an
// administrator's among them: drive letters the user mapped to a share or made
// with SUBST belong to the user's own session. A mapped network drive becomes
// its share (Z:\dir\tool.exe gives \\server\share\dir\tool.exe), a SUBST drive
// the folder it stands for (S:\tool.exe gives C:\Apps\tool.exe), either in
// turn; the \\?\ form stays the \\?\ form. Any other path comes back as it is.
std::wstring ResolveSessionDrive(const std::wstring& fullPath);

} // namespace sheen
