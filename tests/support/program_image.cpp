#include "support/program_image.h"

#include <cstring>

namespace sheen::test {
namespace {

constexpr DWORD kSectionAt = 0x200;
constexpr DWORD kSectionRva = 0x1000;
constexpr DWORD kResourcesAt = 0x100; // in the section

template <typename T> void Put(std::string& bytes, size_t at, const T& value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// One directory with one ID entry, then what the entry leads to.
void PutDirectory(std::string& bytes, size_t at, DWORD id, DWORD offsetToData) {
    IMAGE_RESOURCE_DIRECTORY directory = {};
    directory.NumberOfIdEntries = 1;
    Put(bytes, at, directory);
    Put(bytes, at + sizeof directory, id);
    Put(bytes, at + sizeof directory + 4, offsetToData);
}

template <typename OptionalHeader>
void PutOptionalHeader(std::string& bytes, WORD magic, const IMAGE_DATA_DIRECTORY* directories) {
    OptionalHeader header = {};
    header.Magic = magic;
    header.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    std::memcpy(header.DataDirectory, directories, sizeof header.DataDirectory);
    Put(bytes, 0x58, header);
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
    Put(bytes, 0x40, DWORD(IMAGE_NT_SIGNATURE));

    IMAGE_DATA_DIRECTORY directories[IMAGE_NUMBEROF_DIRECTORY_ENTRIES] = {};
    if (clrFlags) {
        directories[IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR] = {kSectionRva,
                                                             sizeof(IMAGE_COR20_HEADER)};
        IMAGE_COR20_HEADER clr = {};
        clr.cb = sizeof clr;
        clr.Flags = *clrFlags;
        Put(bytes, kSectionAt, clr);
    }
    if (!manifest.empty()) {
        directories[IMAGE_DIRECTORY_ENTRY_RESOURCE] = {kSectionRva + kResourcesAt, resourcesSize};
        const size_t at = kSectionAt + kResourcesAt;
        PutDirectory(bytes, at, 24, IMAGE_RESOURCE_DATA_IS_DIRECTORY | 0x18);
        PutDirectory(bytes, at + 0x18, 1, IMAGE_RESOURCE_DATA_IS_DIRECTORY | 0x30);
        PutDirectory(bytes, at + 0x30, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 0x48);
        IMAGE_RESOURCE_DATA_ENTRY data = {};
        data.OffsetToData = kSectionRva + kResourcesAt + 0x58;
        data.Size = DWORD(manifest.size());
        Put(bytes, at + 0x48, data);
        manifest.copy(bytes.data() + at + 0x58, manifest.size());
    }

    const bool wide = machine == IMAGE_FILE_MACHINE_AMD64 || machine == IMAGE_FILE_MACHINE_ARM64 ||
                      machine == IMAGE_FILE_MACHINE_IA64;
    IMAGE_FILE_HEADER file = {};
    file.Machine = machine;
    file.NumberOfSections = 1;
    file.SizeOfOptionalHeader =
        wide ? sizeof(IMAGE_OPTIONAL_HEADER64) : sizeof(IMAGE_OPTIONAL_HEADER32);
    Put(bytes, 0x44, file);
    if (wide)
        PutOptionalHeader<IMAGE_OPTIONAL_HEADER64>(bytes, IMAGE_NT_OPTIONAL_HDR64_MAGIC,
                                                   directories);
    else
        PutOptionalHeader<IMAGE_OPTIONAL_HEADER32>(bytes, IMAGE_NT_OPTIONAL_HDR32_MAGIC,
                                                   directories);
    IMAGE_SECTION_HEADER section = {};
    std::memcpy(section.Name, ".rsrc", 5);
    section.Misc.VirtualSize = sectionSize;
    section.VirtualAddress = kSectionRva;
    section.SizeOfRawData = DWORD(bytes.size()) - kSectionAt;
    section.PointerToRawData = kSectionAt;
    Put(bytes, 0x58 + file.SizeOfOptionalHeader, section);
    return bytes;
}

std::string WithDword(std::string bytes, size_t at, DWORD value) {
    Put(bytes, at, value);
    return bytes;
}

} // namespace sheen::test
