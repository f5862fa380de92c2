#pragma once
// Small PE images made on the spot, for the tests that read programs.

#include <windows.h>

#include <optional>
#include <string>

namespace sheen::test {

// The bytes of a program for `machine` (PE32+ for AMD64, ARM64 and IA64, PE32
// otherwise), laid out as a linker does: the headers, then at 0x200 one section,
// mapped at 0x1000, holding a .NET program's CLR header with `clrFlags`
// (COMIMAGE_FLAGS_*), if given, and then `manifest` as RT_MANIFEST 1, if any.
std::string ProgramBytes(WORD machine, std::optional<DWORD> clrFlags = std::nullopt,
                         const std::string& manifest = "");

// How LinkedProgramBytes lays a program out, as other vendors' linkers do: the
// headers, then .text (a little code and the entry point), .rdata, .rsrc of
// at least `resourcesSize` bytes with `freeBytes` (a multiple of 8) left at the
// end of its raw data, and after it `after`; FileAlignment 0x200,
// SectionAlignment 0x1000.
struct LinkedLayout {
    enum After { nothing, relocations, data };
    bool is64 = true;
    DWORD freeBytes = 0x180;
    DWORD resourcesSize = 0;
    After after = relocations;
    bool importsInResources = false; // the import directory inside .rsrc
};

// The bytes of such a program, whose resources are `manifest` as RT_MANIFEST 1,
// RCDATA "KEEP" and 7, and type "CONFIG" 1, all in 1033, laid out depth first.
std::string LinkedProgramBytes(const LinkedLayout& layout, const std::string& manifest);

// File offsets of fields that tests damage.
inline constexpr size_t kManifestTypeEntryAt = 0x314; // where RT_MANIFEST's names are
inline constexpr size_t kManifestSizeAt = 0x34C;      // the manifest's size

// `bytes` with the DWORD at `at` set to `value`.
std::string WithDword(std::string bytes, size_t at, DWORD value);

// Gives the program at `path` `bytes` as its resource `type` `name`, in the
// neutral language, as a linker would (RT_MANIFEST 1 for its manifest).
void EmbedResource(const std::wstring& path, const wchar_t* type, const wchar_t* name,
                   const std::string& bytes);

// What the probe (manifest_probe.exe) reports when run: kOldControls, or
// kCommonControls6 when redirected to it and loaded from the side-by-side store.
inline constexpr DWORD kOldControls = 0;
inline constexpr DWORD kCommonControls6 = 3;
// Runs the probe copy at `exe` to its end and returns its exit code.
DWORD RunProbe(const std::wstring& exe);

// What linkers embed today: the consent prompt's block alone.
inline const std::string kLinkerManifest =
    "<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\r\n"
    "<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'>\r\n"
    "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
    "    <security>\r\n"
    "      <requestedPrivileges>\r\n"
    "        <requestedExecutionLevel level='asInvoker' uiAccess='false' />\r\n"
    "      </requestedPrivileges>\r\n"
    "    </security>\r\n"
    "  </trustInfo>\r\n"
    "</assembly>\r\n";

// What a linker embeds without an XML declaration.
inline const std::string kTrustInfoManifest =
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
    "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
    "    <security>\r\n"
    "      <requestedPrivileges>\r\n"
    "        <requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"></"
    "requestedExecutionLevel>\r\n"
    "      </requestedPrivileges>\r\n"
    "    </security>\r\n"
    "  </trustInfo>\r\n"
    "</assembly>\r\n";

// A copy of the probe at `path` with kLinkerManifest embedded and one other
// resource, RCDATA "KEEP".
void MakeProbe(const std::wstring& path);

} // namespace sheen::test
