#pragma once

#include <string>
#include <string_view>

namespace sheen {

// The style script: an application manifest that gives the program beside it
// an identity of its own and binds it to version 6 of the Common Controls, so
// that Windows draws its controls in the visual style. The same 22 ASCII lines,
// each ended by CR LF, for every target. The public key token is the one under
// which Windows publishes Microsoft.Windows.Common-Controls; with any other the
// dependency cannot be found. This is the text for 32-bit x86 programs.
inline constexpr std::string_view kStyleScript =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
    "<assemblyIdentity \r\n"
    "version=\"1.0.0.0\"\r\n"
    "processorArchitecture=\"X86\"\r\n"
    "name=\"RORO\"\r\n"
    "type=\"win32\"\r\n"
    "/>\r\n"
    "<description>XP THEMING</description>\r\n"
    "<dependency>\r\n"
    "<dependentAssembly>\r\n"
    "<assemblyIdentity\r\n"
    "type=\"win32\"\r\n"
    "name=\"Microsoft.Windows.Common-Controls\"\r\n"
    "version=\"6.0.0.0\"\r\n"
    "processorArchitecture=\"X86\"\r\n"
    "publicKeyToken=\"6595b64144ccf1df\"\r\n"
    "language=\"*\"\r\n"
    "/>\r\n"
    "</dependentAssembly>\r\n"
    "</dependency>\r\n"
    "</assembly>\r\n";

static_assert(kStyleScript.size() == 531);

// The processorArchitecture values a style script can carry: X86 is
// kStyleScript's own; "*" serves a program that runs as whichever processor
// the system has.
inline constexpr std::string_view kArchitectureX86 = "X86";
inline constexpr std::string_view kArchitectureAmd64 = "amd64";
inline constexpr std::string_view kArchitectureArm64 = "arm64";
inline constexpr std::string_view kArchitectureArm = "arm";
inline constexpr std::string_view kArchitectureAny = "*";
inline constexpr std::string_view kScriptArchitectures[] = {
    kArchitectureX86, kArchitectureAmd64, kArchitectureArm64, kArchitectureArm, kArchitectureAny};

// The style script with `architecture`, one of kScriptArchitectures, in both
// processorArchitecture attributes: Windows refuses to start a program whose
// manifest asks for another processor's Common Controls.
std::string StyleScriptFor(std::string_view architecture);

// Whether `bytes` are exactly one of the style scripts StyleScriptFor makes:
// what Sheenwright itself wrote, and may replace without keeping it.
bool IsOwnStyleScript(std::string_view bytes);

} // namespace sheen
