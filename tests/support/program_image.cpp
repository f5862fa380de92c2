#include "support/program_image.h"

#include "support/app_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

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

namespace {

// A resource directory laid out depth first: each directory, then its
// entries' names and subdirectories in turn, the data after them all.
struct ResourceNode {
    std::wstring name; // empty: `id`
    WORD id = 0;
    std::vector<ResourceNode> children; // given named first, each ascending
    std::string data;                   // for a node without children
};

ResourceNode Node(const wchar_t* name, WORD id, std::vector<ResourceNode> children) {
    return {name, id, std::move(children), ""};
}

ResourceNode Data(WORD language, std::string data) {
    return {L"", language, {}, std::move(data)};
}

class ResourceTreeBytes {
  public:
    std::string Make(const std::vector<ResourceNode>& root, DWORD rva) {
        Directory(root);
        for (const auto& [entryAt, data] : data_) {
            const DWORD entry[] = {rva + DWORD(Reserve(0, 8)), DWORD(data->size())};
            Put(bytes_, entryAt, entry);
            bytes_ += *data;
        }
        Reserve(0, 8);
        return bytes_;
    }

  private:
    size_t Reserve(size_t size, size_t alignment) {
        const size_t at = (bytes_.size() + alignment - 1) / alignment * alignment;
        bytes_.resize(at + size, '\0');
        return at;
    }

    DWORD Directory(const std::vector<ResourceNode>& children) {
        const size_t at = Reserve(16 + 8 * children.size(), 4);
        const auto named =
            std::count_if(children.begin(), children.end(),
                          [](const ResourceNode& child) { return !child.name.empty(); });
        const WORD counts[] = {WORD(named), WORD(children.size() - named)};
        Put(bytes_, at + 12, counts);
        for (size_t i = 0; i < children.size(); ++i) {
            const ResourceNode& child = children[i];
            DWORD entry[] = {child.id, 0};
            if (!child.name.empty()) {
                const std::wstring& name = child.name;
                entry[0] = DWORD(Reserve(2 + 2 * name.size(), 2)) | IMAGE_RESOURCE_NAME_IS_STRING;
                Put(bytes_, entry[0] & ~IMAGE_RESOURCE_NAME_IS_STRING, WORD(name.size()));
                name.copy(reinterpret_cast<wchar_t*>(
                              &bytes_[(entry[0] & ~IMAGE_RESOURCE_NAME_IS_STRING) + 2]),
                          name.size());
            }
            if (child.children.empty()) {
                entry[1] = DWORD(Reserve(16, 4));
                data_.push_back({entry[1], &child.data});
            } else {
                entry[1] = Directory(child.children) | IMAGE_RESOURCE_DATA_IS_DIRECTORY;
            }
            Put(bytes_, at + 16 + 8 * i, entry);
        }
        return DWORD(at);
    }

    std::string bytes_;
    std::vector<std::pair<size_t, const std::string*>> data_;
};

constexpr DWORD kFileAlignment = 0x200;
constexpr DWORD kSectionAlignment = 0x1000;
constexpr DWORD kLinkedHeadersSize = 0x400;

DWORD AlignUp(DWORD value, DWORD alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

struct LinkedSection {
    const char* name;
    std::string bytes; // the raw data, a whole number of file alignments
    DWORD virtualSize;
    DWORD characteristics;
};

template <typename NtHeaders>
void PutLinkedHeaders(std::string& bytes, const LinkedLayout& layout,
                      const std::vector<LinkedSection>& sections,
                      const IMAGE_DATA_DIRECTORY* directories) {
    NtHeaders nt = {};
    nt.Signature = IMAGE_NT_SIGNATURE;
    nt.FileHeader.Machine = layout.is64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    nt.FileHeader.NumberOfSections = WORD(sections.size());
    nt.FileHeader.SizeOfOptionalHeader = sizeof nt.OptionalHeader;
    nt.FileHeader.Characteristics = IMAGE_FILE_EXECUTABLE_IMAGE;
    auto& optional = nt.OptionalHeader;
    optional.Magic = layout.is64 ? IMAGE_NT_OPTIONAL_HDR64_MAGIC : IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    optional.AddressOfEntryPoint = kSectionAlignment;
    optional.ImageBase = layout.is64 ? 0x140000000 : 0x400000;
    optional.SectionAlignment = kSectionAlignment;
    optional.FileAlignment = kFileAlignment;
    optional.MajorSubsystemVersion = 6;
    optional.SizeOfHeaders = kLinkedHeadersSize;
    optional.Subsystem = IMAGE_SUBSYSTEM_WINDOWS_GUI;
    optional.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    std::memcpy(optional.DataDirectory, directories, sizeof optional.DataDirectory);
    std::vector<IMAGE_SECTION_HEADER> table(sections.size());
    DWORD at = kLinkedHeadersSize;
    DWORD rva = kSectionAlignment;
    for (size_t i = 0; i < sections.size(); ++i) {
        IMAGE_SECTION_HEADER& header = table[i];
        std::memcpy(header.Name, sections[i].name, std::strlen(sections[i].name));
        header.Misc.VirtualSize = sections[i].virtualSize;
        header.VirtualAddress = rva;
        header.SizeOfRawData = DWORD(sections[i].bytes.size());
        header.PointerToRawData = at;
        header.Characteristics = sections[i].characteristics;
        if (i > 0)
            optional.SizeOfInitializedData += header.SizeOfRawData;
        at += header.SizeOfRawData;
        rva += AlignUp(header.Misc.VirtualSize, kSectionAlignment);
    }
    optional.SizeOfImage = rva;
    IMAGE_DOS_HEADER dos = {};
    dos.e_magic = IMAGE_DOS_SIGNATURE;
    dos.e_lfanew = 0x80;
    Put(bytes, 0, dos);
    Put(bytes, 0x80, nt);
    std::memcpy(bytes.data() + 0x80 + sizeof nt, table.data(), table.size() * sizeof table[0]);
}

} // namespace

std::string LinkedProgramBytes(const LinkedLayout& layout, const std::string& manifest) {
    constexpr DWORD kResourcesRva = 3 * kSectionAlignment;
    // RCDATA 7 is sized so that exactly `freeBytes` are left.
    const auto tree = [&](DWORD filler) {
        const std::vector<ResourceNode> root = {
            Node(L"CONFIG", 0, {Node(L"", 1, {Data(1033, "config: kept")})}),
            Node(L"", 10,
                 {Node(L"KEEP", 0, {Data(1033, std::string(300, 'k') + "kept as it is")}),
                  Node(L"", 7, {Data(1033, std::string(filler, 'f'))})}),
            Node(L"", 24, {Node(L"", 1, {Data(1033, manifest)})}),
        };
        return ResourceTreeBytes().Make(root, kResourcesRva);
    };
    const DWORD bare = DWORD(tree(0).size());
    const DWORD rawSize =
        AlignUp(std::max(bare + layout.freeBytes, layout.resourcesSize), kFileAlignment);
    std::string resources = tree(rawSize - layout.freeBytes - bare);
    const DWORD treeSize = DWORD(resources.size());
    resources.resize(rawSize, '\0');

    // The raw data of a section that holds `text`.
    const auto raw = [](std::string_view text) {
        return std::string(text) + std::string(kFileAlignment - text.size(), '\0');
    };
    const DWORD readable = IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ;
    std::vector<LinkedSection> sections = {
        {".text", raw("\x31\xC0\xC3"), 3,
         IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_MEM_READ},
        {".rdata", raw("read-only data"), 14, readable},
        {".rsrc", resources, treeSize, readable},
    };
    IMAGE_DATA_DIRECTORY directories[IMAGE_NUMBEROF_DIRECTORY_ENTRIES] = {};
    directories[IMAGE_DIRECTORY_ENTRY_RESOURCE] = {kResourcesRva, treeSize};
    if (layout.importsInResources)
        directories[IMAGE_DIRECTORY_ENTRY_IMPORT] = {kResourcesRva + rawSize - 0x20, 0x14};
    if (layout.after == LinkedLayout::relocations) {
        // One block for the .text page: an address at 8 (DIR64 or HIGHLOW), and padding.
        sections.push_back({".reloc",
                            raw(std::string_view(layout.is64 ? "\0\x10\0\0\x0C\0\0\0\x08\xA0\0\0"
                                                             : "\0\x10\0\0\x0C\0\0\0\x08\x30\0\0",
                                                 12)),
                            12, readable | IMAGE_SCN_MEM_DISCARDABLE});
        directories[IMAGE_DIRECTORY_ENTRY_BASERELOC] = {
            kResourcesRva + AlignUp(treeSize, kSectionAlignment), 12};
    } else if (layout.after == LinkedLayout::data) {
        sections.push_back({".data", raw("variables"), 9, readable | IMAGE_SCN_MEM_WRITE});
    }

    std::string bytes(kLinkedHeadersSize, '\0');
    for (const LinkedSection& section : sections)
        bytes += section.bytes;
    if (layout.is64)
        PutLinkedHeaders<IMAGE_NT_HEADERS64>(bytes, layout, sections, directories);
    else
        PutLinkedHeaders<IMAGE_NT_HEADERS32>(bytes, layout, sections, directories);
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
