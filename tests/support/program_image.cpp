#include "support/program_image.h"

#include "support/app_driver.h"

#include <gtest/gtest.h>

#include <cstring>

namespace sheen::test {
namespace {

constexpr DWORD kSectionAt = 0x200;
constexpr DWORD kSectionRva = 0x1000;
constexpr DWORD kResourcesAt = 0x100; // in the section

template <typename T> void Put(std::string& bytes, size_t at, const T& value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// The NT headers (PE32 or PE32+) at 0x40, followed by the one section's header.
template <typename NtHeaders>
void PutHeaders(std::string& bytes, WORD machine, WORD magic,
                const IMAGE_DATA_DIRECTORY* directories, DWORD sectionSize) {
    struct {
        NtHeaders nt;
        IMAGE_SECTION_HEADER section;
    } headers = {};
    headers.nt.Signature = IMAGE_NT_SIGNATURE;
    headers.nt.FileHeader.Machine = machine;
    headers.nt.FileHeader.NumberOfSections = 1;
    headers.nt.FileHeader.SizeOfOptionalHeader = sizeof headers.nt.OptionalHeader;
    headers.nt.OptionalHeader.Magic = magic;
    headers.nt.OptionalHeader.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    std::memcpy(headers.nt.OptionalHeader.DataDirectory, directories,
                sizeof headers.nt.OptionalHeader.DataDirectory);
    headers.section.Misc.VirtualSize = sectionSize;
    headers.section.VirtualAddress = kSectionRva;
    headers.section.SizeOfRawData = DWORD(bytes.size()) - kSectionAt;
    headers.section.PointerToRawData = kSectionAt;
    Put(bytes, 0x40, headers);
}

} // namespace

std::string ProgramBytes(WORD machine, std::optional<DWORD> clrFlags, const std::string& manifest) {
    const DWORD resourcesSize = 0x58 + DWORD(manifest.size());
    const DWORD sectionSize = kResourcesAt + resourcesSize;
    std::string bytes(kSectionAt + (sectionSize + 0x1FF) / 0x200 * 0x200, '\0');
    IMAGE_DOS_HEADER dos = {};
    dos.e_magic = IMAGE_DOS_SIGNATURE;
    dos.e_lfanew = 0x40;
    Put(bytes, 0, dos);

    IMAGE_DATA_DIRECTORY directories[IMAGE_NUMBEROF_DIRECTORY_ENTRIES] = {};
    if (clrFlags) {
        directories[IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR] = {kSectionRva, 72};
        // IMAGE_COR20_HEADER: its size, the runtime version, the metadata, the flags.
        const DWORD header[] = {72, 0, 0, 0, *clrFlags};
        Put(bytes, kSectionAt, header);
    }
    if (!manifest.empty()) {
        directories[IMAGE_DIRECTORY_ENTRY_RESOURCE] = {kSectionRva + kResourcesAt, resourcesSize};
        // Three directories of one ID entry each (type 24, name 1, a language),
        // each leading to the next, then the data entry.
        const size_t at = kSectionAt + kResourcesAt;
        const DWORD ids[] = {24, 1, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)};
        for (DWORD level = 0; level < 3; ++level) {
            const DWORD next =
                level < 2 ? IMAGE_RESOURCE_DATA_IS_DIRECTORY | (level + 1) * 0x18 : 0x48;
            const DWORD directory[] = {0, 0, 0, 1 << 16 /* NumberOfIdEntries */, ids[level], next};
            Put(bytes, at + level * 0x18, directory);
        }
        const DWORD data[] = {kSectionRva + kResourcesAt + 0x58, DWORD(manifest.size())};
        Put(bytes, at + 0x48, data);
        manifest.copy(bytes.data() + at + 0x58, manifest.size());
    }
    if (machine == IMAGE_FILE_MACHINE_AMD64 || machine == IMAGE_FILE_MACHINE_ARM64 ||
        machine == IMAGE_FILE_MACHINE_IA64)
        PutHeaders<IMAGE_NT_HEADERS64>(bytes, machine, IMAGE_NT_OPTIONAL_HDR64_MAGIC, directories,
                                       sectionSize);
    else
        PutHeaders<IMAGE_NT_HEADERS32>(bytes, machine, IMAGE_NT_OPTIONAL_HDR32_MAGIC, directories,
                                       sectionSize);
    return bytes;
}

std::string WithDword(std::string bytes, size_t at, DWORD value) {
    Put(bytes, at, value);
    return bytes;
}

void EmbedResource(const std::wstring& path, const wchar_t* type, const wchar_t* name,
                   const std::string& bytes) {
    const HANDLE update = BeginUpdateResourceW(path.c_str(), FALSE);
    if (!update) {
        ADD_FAILURE() << "BeginUpdateResourceW: error " << GetLastError();
        return;
    }
    std::string data = bytes;
    if (!UpdateResourceW(update, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), data.data(),
                         DWORD(data.size())))
        ADD_FAILURE() << "UpdateResourceW: error " << GetLastError();
    if (!EndUpdateResourceW(update, FALSE))
        ADD_FAILURE() << "EndUpdateResourceW: error " << GetLastError();
}

void MakeProbe(const std::wstring& path) {
    if (!CopyFileW(BesideThisProgram(L"manifest_probe.exe").c_str(), path.c_str(), FALSE))
        ADD_FAILURE() << "cannot copy the probe, error " << GetLastError();
    EmbedResource(path, RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID, kLinkerManifest);
    EmbedResource(path, RT_RCDATA, L"KEEP", std::string(300, 'k') + "kept as it is");
}

DWORD RunProbe(const std::wstring& exe) {
    const StartedProgram probe = StartProgram(exe);
    if (!probe.process) {
        ADD_FAILURE() << "cannot start the probe, error " << probe.error;
        return ~0u;
    }
    EXPECT_EQ(WaitForSingleObject(probe.process.get(), 60000), WAIT_OBJECT_0);
    DWORD code = ~0u;
    GetExitCodeProcess(probe.process.get(), &code);
    return code;
}

} // namespace sheen::test
