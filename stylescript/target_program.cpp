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

} // namespace

std::string_view ArchitectureOf(const PeImage& image) {
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

namespace {

// Whether `element` names Common Controls as the side-by-side loader reads
// a dependency: an assemblyIdentity of the asm.v1 namespace whose name and
// version attributes are written as the schema writes them; in version 6 or,
// where `version6` is false, in any other.
template <bool version6> bool IsCommonControlsIdentity(XmlElement& element) {
    if (element.localName() != L"assemblyIdentity" ||
        element.namespaceUri() != L"urn:schemas-microsoft-com:asm.v1")
        return false;
    bool named = false;
    std::wstring_view version;
    std::wstring_view attribute;
    std::wstring_view value;
    bool prefixed = false;
    while (element.NextAttribute(attribute, value, &prefixed)) {
        if (prefixed)
            continue; // in another namespace, or a declaration of one
        // Assembly names are compared without regard to case.
        if (attribute == L"name")
            named = EqualsIgnoringAsciiCase(value, L"Microsoft.Windows.Common-Controls");
        else if (attribute == L"version")
            version = value;
    }
    return named && !version.empty() && version.starts_with(L"6.") == version6;
}

} // namespace

bool DependsOnCommonControls6(std::string_view manifest) {
    return AnyXmlElement(manifest, IsCommonControlsIdentity<true>);
}

bool DependsOnOtherCommonControls(std::string_view manifest) {
    return AnyXmlElement(manifest, IsCommonControlsIdentity<false>);
}

TargetProgram InspectTarget(const std::wstring& fullPath) {
    PeImage image;
    if (const DWORD error = image.Open(fullPath)) {
        TargetProgram program; // not a program: nothing inside it can compete
        if (error != ERROR_BAD_EXE_FORMAT)
            program.readError = error;
        return program;
    }
    return InspectTarget(image);
}

DWORD ReadOwnManifest(const PeImage& image, OwnManifest& own) {
    return ReadEmbeddedManifest(image, own.text, &own.language);
}

TargetProgram InspectTarget(const PeImage& image, OwnManifest* own) {
    TargetProgram program;
    program.isProgram = true;
    program.architecture = ArchitectureOf(image);
    const OsVersion os = RunningOsVersion();
    program.needsTouch = CachesManifestLookups(os);
    OwnManifest read;
    OwnManifest& manifest = own ? *own : read;
    if (ReadOwnManifest(image, manifest) != ERROR_SUCCESS)
        return program;
    program.hasOwnManifest = true;
    program.ownManifestStyled = DependsOnCommonControls6(manifest.text);
    program.fileComesFirst = !EmbeddedManifestComesFirst(os) || PrefersExternalManifest();
    program.embeddedManifestWins = !program.fileComesFirst;
    program.alreadyStyled = program.embeddedManifestWins && program.ownManifestStyled;
    return program;
}

} // namespace sheen
