#include "stylescript/target_program.h"

#include "platform/embedded_manifest.h"
#include "platform/pe_image.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "platform/text_compare.h"
#include "platform/xml_elements.h"

namespace sheen {
namespace {

OsVersion RunningOsVersion() {
    OsVersion os;
    if (ReadOsVersion(os) != ERROR_SUCCESS)
        // Assume the newest: its notes only ever warn, and its touch harms nothing.
        return {VER_PLATFORM_WIN32_NT, ~DWORD(0), 0, 0};
    return os;
}

// Windows Server 2003 (5.2) and later take a program's embedded manifest over
// the file beside it; Windows XP reads the file first.
bool EmbeddedManifestComesFirst(const OsVersion& os) {
    return IsAtLeast(os, 5, 2);
}

// Windows Vista (6.0) and later remember per program, by path and last-write
// time, whether it has a manifest.
bool CachesManifestLookups(const OsVersion& os) {
    return IsAtLeast(os, 6, 0);
}

// Set to 1 by an administrator, it makes Windows take the file beside a program
// over the manifest inside it.
bool PrefersExternalManifest() {
    DWORD value = 0;
    return ReadRegistryNumber(HKEY_LOCAL_MACHINE,
                              L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SideBySide",
                              L"PreferExternalManifest", value) == ERROR_SUCCESS &&
           value == 1;
}

// The processor whose Common Controls the program's process will ask for.
std::string_view ScriptArchitecture(const PeImage& image) {
    switch (image.machine()) {
    case IMAGE_FILE_MACHINE_I386: {
        // A .NET program built for Any CPU says I386, yet runs as a 64-bit
        // process on 64-bit Windows, and natively on ARM64.
        DWORD flags = 0;
        const bool anyCpu = image.ReadClrFlags(flags) == ERROR_SUCCESS &&
                            (flags & COMIMAGE_FLAGS_ILONLY) &&
                            !(flags & COMIMAGE_FLAGS_32BITREQUIRED);
        return anyCpu ? kArchitectureAny : kArchitectureX86;
    }
    case IMAGE_FILE_MACHINE_AMD64:
        return kArchitectureAmd64;
    case IMAGE_FILE_MACHINE_ARM64:
        return kArchitectureArm64;
    case IMAGE_FILE_MACHINE_ARMNT:
        return kArchitectureArm;
    default:
        return kArchitectureAny;
    }
}

bool IsCommonControls6Identity(XmlElement& element) {
    if (!EqualsIgnoringAsciiCase(element.localName(), L"assemblyIdentity"))
        return false;
    bool named = false;
    bool version6 = false;
    std::wstring_view attribute;
    std::wstring_view value;
    while (element.NextAttribute(attribute, value)) {
        if (EqualsIgnoringAsciiCase(attribute, L"name"))
            named = EqualsIgnoringAsciiCase(value, L"Microsoft.Windows.Common-Controls");
        else if (EqualsIgnoringAsciiCase(attribute, L"version"))
            version6 = value.substr(0, 2) == L"6.";
    }
    return named && version6;
}

} // namespace

bool DependsOnCommonControls6(std::string_view manifest) {
    return AnyXmlElement(manifest, IsCommonControls6Identity);
}

TargetProgram InspectTarget(const std::wstring& fullPath) {
    TargetProgram program;
    PeImage image;
    if (image.Open(fullPath) != ERROR_SUCCESS)
        return program; // not a program: nothing inside it can compete
    program.architecture = ScriptArchitecture(image);
    const OsVersion os = RunningOsVersion();
    program.needsTouch = CachesManifestLookups(os);
    if (!EmbeddedManifestComesFirst(os))
        return program;
    std::string manifest;
    if (ReadEmbeddedManifest(image, manifest) != ERROR_SUCCESS || PrefersExternalManifest())
        return program;
    program.embeddedManifestWins = true;
    program.alreadyStyled = DependsOnCommonControls6(manifest);
    return program;
}

} // namespace sheen
