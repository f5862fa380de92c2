#pragma once

#include <string>

namespace sheen {

// `fullPath` with the letter of a mapped network drive replaced by the share
// it stands for (Z:\dir\tool.exe becomes \\server\share\dir\tool.exe, the
// \\?\ form \\?\UNC\server\share\...): another account, an administrator's
// among them, has drive letters of its own but can reach the share. Any other
// path comes back as it is.
std::wstring WithNetworkShare(const std::wstring& fullPath);

} // namespace sheen
