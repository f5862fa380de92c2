#pragma once
// The status bar's line about the running system.

#include <windows.h>

#include <cstdint>
#include <string>

namespace sheen {

// "<family>, Version: <version>, Build: <build>". The family is named after the
// platform code (0 Win32, 1 Windows 95/98/Me, 2 Windows NT, any other code as
// its number), except that platform 2 from version 5.0 on is "Windows XP". The
// version is shown rounded to the nearest whole number, halves to even.
// Throws std::overflow_error("Overflow") if the rounded version does not fit
// in 16 signed bits.
std::wstring DescribeSystem(std::int16_t platformCode, float version, std::int16_t build);

// Turn what the system reports into DescribeSystem's arguments. Each throws
// std::overflow_error("Overflow") rather than let a value wrap around.
std::int16_t PlatformCodeFrom(DWORD platformId);
// The version as the decimal number "major.minor", so 4.10 is 4.1, not 5.0.
float VersionFrom(DWORD major, DWORD minor);
// Windows 9x keeps its major and minor version in the high word of the build
// field, so only the low word is the build there.
std::int16_t BuildFrom(DWORD platformId, DWORD buildField);

// The line for the system this program runs on. Throws std::overflow_error
// like the conversions above, std::runtime_error if the version is unreadable.
std::wstring CurrentSystemDescription();

} // namespace sheen
