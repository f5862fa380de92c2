#include "stylescript/target_program.h"

#include "platform/embedded_manifest.h"
#include "platform/executable_machine.h"
#include "platform/registry.h"

#include <optional>

namespace sheen {
namespace {

bool AtLeast(const OsVersion& os, DWORD major, DWORD minor) {
    return os.platformId == VER_PLATFORM_WIN32_NT &&
           (os.major > major || (os.major == major && os.minor >= minor));
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

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The value of attribute `name` in the text of one start tag, if it has one.
std::optional<std::string_view> Attribute(std::string_view tag, std::string_view name) {
    size_t at = 0;
    while (at < tag.size()) {
        // One attribute: blanks, a name, blanks, '=', blanks, a quoted value.
        while (at < tag.size() && IsBlank(tag[at]))
            ++at;
        const size_t nameStart = at;
        while (at < tag.size() && !IsBlank(tag[at]) && tag[at] != '=')
            ++at;
        const std::string_view attribute = tag.substr(nameStart, at - nameStart);
        while (at < tag.size() && IsBlank(tag[at]))
            ++at;
        if (at >= tag.size() || tag[at] != '=')
            continue; // the element's name, or a stray word
        ++at;
        while (at < tag.size() && IsBlank(tag[at]))
            ++at;
        if (at >= tag.size() || (tag[at] != '"' && tag[at] != '\''))
            return std::nullopt; // not well formed: claim nothing
        const size_t end = tag.find(tag[at], at + 1);
        if (end == std::string_view::npos)
            return std::nullopt;
        if (EqualsNoCase(attribute, name))
            return tag.substr(at + 1, end - at - 1);
        at = end + 1;
    }
    return std::nullopt;
}

// The element's name without a namespace prefix.
std::string_view LocalName(std::string_view tag) {
    size_t end = 0;
    while (end < tag.size() && !IsBlank(tag[end]) && tag[end] != '/')
        ++end;
    const std::string_view name = tag.substr(0, end);
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// Windows Server 2003 (5.2) and later take a program's embedded manifest over
// the file beside it; Windows XP reads the file first.
bool EmbeddedManifestComesFirst(const OsVersion& os) {
    return AtLeast(os, 5, 2);
}

} // namespace

bool CachesManifestLookups(const OsVersion& os) {
    return AtLeast(os, 6, 0);
}

bool DependsOnCommonControls6(std::string_view manifest) {
    size_t at = 0;
    while ((at = manifest.find('<', at)) != std::string_view::npos) {
        if (manifest.substr(at, 4) == "<!--") {
            at = manifest.find("-->", at + 4);
            if (at == std::string_view::npos)
                return false;
            continue;
        }
        const size_t end = manifest.find('>', at);
        if (end == std::string_view::npos)
            return false;
        const std::string_view tag = manifest.substr(at + 1, end - at - 1);
        at = end;
        if (!EqualsNoCase(LocalName(tag), "assemblyIdentity"))
            continue;
        const auto name = Attribute(tag, "name");
        const auto version = Attribute(tag, "version");
        if (name && version && EqualsNoCase(*name, "Microsoft.Windows.Common-Controls") &&
            version->substr(0, 2) == "6.")
            return true;
    }
    return false;
}

TargetProgram InspectTarget(const std::wstring& fullPath, const OsVersion& os) {
    TargetProgram program;
    if (ReadExecutableMachine(fullPath, program.machine) != ERROR_SUCCESS) {
        program.machine = 0;
        return program; // not a program: nothing inside it can compete
    }
    if (!EmbeddedManifestComesFirst(os))
        return program;
    std::string manifest;
    if (ReadEmbeddedManifest(fullPath, manifest) != ERROR_SUCCESS || PrefersExternalManifest())
        return program;
    program.embeddedManifestWins = true;
    program.alreadyStyled = DependsOnCommonControls6(manifest);
    return program;
}

} // namespace sheen
