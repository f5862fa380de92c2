#include "sysdesc/system_description.h"

#include "platform/number_text.h"
#include "platform/system_info.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>

namespace sheen {

namespace {

constexpr std::int16_t kWin32s = 0;
constexpr std::int16_t kWindows9x = 1;
constexpr std::int16_t kWindowsNt = 2;

constexpr DWORD kInt16Max = DWORD(std::numeric_limits<std::int16_t>::max());

[[noreturn]] void ThrowOverflow() {
    throw std::overflow_error("Overflow");
}

std::int16_t ToInt16(DWORD value) {
    if (value > kInt16Max)
        ThrowOverflow();
    return static_cast<std::int16_t>(value);
}

std::wstring FamilyName(std::int16_t platformCode, float version) {
    switch (platformCode) {
    case kWin32s:
        return L"Win32";
    case kWindows9x:
        return L"Windows 95/98/Me";
    case kWindowsNt:
        // Compared unrounded: 4.99 is still NT although it is shown as 5.
        return version >= 5.0f ? L"Windows XP" : L"Windows NT";
    default:
        return DecimalText(platformCode);
    }
}

std::int16_t DisplayVersion(float version) {
    // x - remainder(x, 1) is x rounded to the nearest integer with halves to
    // even, whatever rounding mode a loaded DLL may have left the FPU in;
    // std::nearbyint would follow that mode.
    const float rounded = version - std::remainder(version, 1.0f);
    // Written so that NaN, for which every comparison is false, fails too.
    if (!(rounded >= float(std::numeric_limits<std::int16_t>::min()) &&
          rounded <= float(std::numeric_limits<std::int16_t>::max())))
        ThrowOverflow();
    return static_cast<std::int16_t>(rounded);
}

} // namespace

std::wstring DescribeSystem(std::int16_t platformCode, float version, std::int16_t build) {
    const std::int16_t displayVersion = DisplayVersion(version);
    return FamilyName(platformCode, version) + L", Version: " + DecimalText(displayVersion) +
           L", Build: " + DecimalText(build);
}

std::int16_t PlatformCodeFrom(DWORD platformId) {
    return ToInt16(platformId);
}

float VersionFrom(DWORD major, DWORD minor) {
    // The decimal the user would write, minor 10 as ".10": the quotient of two
    // integers, both exact in a double, rounded to the double nearest it and
    // that to a float: for decimals this short, the float nearest the decimal.
    // Parsing its text would take 40 KiB of the C++ library.
    double scale = 1;
    for (DWORD rest = minor; rest != 0; rest /= 10)
        scale *= 10;
    return float((double(major) * scale + double(minor)) / scale);
}

std::int16_t BuildFrom(DWORD platformId, DWORD buildField) {
    if (platformId == DWORD(kWindows9x))
        return ToInt16(LOWORD(buildField));
    return ToInt16(buildField);
}

std::wstring CurrentSystemDescription() {
    OsVersion os;
    if (ReadOsVersion(os) != ERROR_SUCCESS) // only ever in the window's start, which tells the user
        throw std::runtime_error("The Windows version could not be read.");
    const std::int16_t platformCode = PlatformCodeFrom(os.platformId);
    const float version = VersionFrom(os.major, os.minor);
    const std::int16_t build = BuildFrom(os.platformId, os.build);
    return DescribeSystem(platformCode, version, build);
}

} // namespace sheen
