#include "stylescript/program_check.h"

#include "platform/embedded_manifest.h"
#include "platform/file_read.h"
#include "platform/pe_checksum.h"
#include "platform/pe_resources.h"
#include "platform/resource_writer.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace sheen {
namespace {

// The index of the section that holds the data directory `index`, or the count.
WORD SectionOf(const PeImage& image, DWORD index) {
    const DWORD rva = image.Directory(index).VirtualAddress;
    for (WORD i = 0; i < image.sectionCount(); ++i) {
        const IMAGE_SECTION_HEADER& section = image.section(i);
        const DWORD extent = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
        if (rva >= section.VirtualAddress && rva - section.VirtualAddress < extent)
            return i;
    }
    return image.sectionCount();
}

// A range of the file that may differ.
struct Field {
    LONGLONG at;
    DWORD size;
};

// Whether `length` bytes read by `readOne` and `readOther` (at an offset from
// their start) are the same but in `fields`, read a piece at a time: nothing
// in a file says how much memory to spend on it.
template <typename ReadOne, typename ReadOther>
bool SameBytes(LONGLONG length, ReadOne readOne, ReadOther readOther,
               const std::vector<Field>& fields = {}) {
    char mine[kFileChunk];
    char theirs[kFileChunk];
    for (LONGLONG done = 0; done < length; done += kFileChunk) {
        const DWORD size = DWORD(std::min<LONGLONG>(kFileChunk, length - done));
        if (readOne(done, mine, size) != ERROR_SUCCESS ||
            readOther(done, theirs, size) != ERROR_SUCCESS)
            return false;
        for (const Field& field : fields) {
            const LONGLONG from = std::max(field.at, done);
            const LONGLONG to = std::min(field.at + field.size, done + size);
            for (LONGLONG at = from; at < to; ++at)
                mine[at - done] = theirs[at - done] = 0;
        }
        if (std::memcmp(mine, theirs, size) != 0)
            return false;
    }
    return true;
}

// Reads of a file's bytes from `at` on.
auto FileBytes(const PeImage& image, LONGLONG at) {
    return [&image, at](LONGLONG offset, char* buffer, DWORD size) {
        return image.ReadAt(at + offset, buffer, size);
    };
}

// Reads of an image's bytes from the relative virtual address `rva` on.
auto ImageBytes(const PeImage& image, DWORD rva) {
    return [&image, rva](LONGLONG offset, char* buffer, DWORD size) {
        return image.ReadAtRva(ULONGLONG(rva) + ULONGLONG(offset), buffer, size);
    };
}

auto KeyOf(const ResourceEntry& entry) {
    return std::tie(entry.type, entry.name, entry.language);
}

// Every resource of `image` but its manifest in `language`, in order.
DWORD ResourcesBesideManifest(const PeImage& image, WORD language,
                              std::vector<ResourceEntry>& all) {
    if (const DWORD error = ListResources(image, all))
        return error;
    std::erase_if(all, [&](const ResourceEntry& entry) {
        return entry.type == L"#24" && entry.name == L"#1" && entry.language == language;
    });
    std::sort(all.begin(), all.end(), [](const ResourceEntry& one, const ResourceEntry& other) {
        return KeyOf(one) < KeyOf(other);
    });
    return ERROR_SUCCESS;
}

bool SameOtherResources(const PeImage& original, const PeImage& changed, WORD language) {
    std::vector<ResourceEntry> was;
    std::vector<ResourceEntry> is;
    if (ResourcesBesideManifest(original, language, was) != ERROR_SUCCESS ||
        ResourcesBesideManifest(changed, language, is) != ERROR_SUCCESS || was.size() != is.size())
        return false;
    for (size_t i = 0; i < was.size(); ++i) {
        if (KeyOf(was[i]) != KeyOf(is[i]) || was[i].size != is[i].size ||
            !SameBytes(was[i].size, ImageBytes(original, was[i].rva),
                       ImageBytes(changed, is[i].rva)))
            return false;
    }
    return true;
}

ULONGLONG Aligned(ULONGLONG value, DWORD alignment) {
    return alignment == 0 ? value : (value + alignment - 1) / alignment * alignment;
}

// The header fields the resource writer changes, as file offsets.
std::vector<Field> WritersFields(const PeImage& image, WORD resources, WORD relocations) {
    const LONGLONG optional = image.optionalHeaderAt();
    const LONGLONG directories =
        optional + LONGLONG(image.is64() ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                         : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
    const auto directory = [&](DWORD index) {
        return directories + LONGLONG(index * sizeof(IMAGE_DATA_DIRECTORY));
    };
    const auto section = [&](WORD index, size_t field) {
        return image.sectionTableAt() + LONGLONG(index * sizeof(IMAGE_SECTION_HEADER) + field);
    };
    // The same offsets in PE32 and PE32+ headers.
    std::vector<Field> fields = {
        {optional + LONGLONG(offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfInitializedData)), 4},
        {optional + LONGLONG(offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfImage)), 4},
        {optional + LONGLONG(offsetof(IMAGE_OPTIONAL_HEADER32, CheckSum)), 4},
        {directory(IMAGE_DIRECTORY_ENTRY_RESOURCE) + 4, 4}, // its size
        {section(resources, offsetof(IMAGE_SECTION_HEADER, Misc.VirtualSize)), 4},
        {section(resources, offsetof(IMAGE_SECTION_HEADER, SizeOfRawData)), 4},
    };
    if (relocations < image.sectionCount()) {
        fields.push_back({directory(IMAGE_DIRECTORY_ENTRY_BASERELOC), 4}); // its address
        fields.push_back({section(relocations, offsetof(IMAGE_SECTION_HEADER, VirtualAddress)), 4});
        fields.push_back(
            {section(relocations, offsetof(IMAGE_SECTION_HEADER, PointerToRawData)), 4});
    }
    return fields;
}

// Whether no two sections share a byte of the file or an address, the image
// ends where its last section does, and so does the file.
bool LaidOutWhole(const PeImage& image) {
    ULONGLONG fileEnd = image.sizeOfHeaders();
    ULONGLONG imageEnd = 0;
    for (WORD i = 0; i < image.sectionCount(); ++i) {
        const IMAGE_SECTION_HEADER& one = image.section(i);
        const ULONGLONG oneSize =
            Aligned(std::max(one.Misc.VirtualSize, one.SizeOfRawData), image.sectionAlignment());
        for (WORD j = 0; j < i; ++j) {
            const IMAGE_SECTION_HEADER& other = image.section(j);
            const ULONGLONG otherSize = Aligned(
                std::max(other.Misc.VirtualSize, other.SizeOfRawData), image.sectionAlignment());
            if (one.VirtualAddress < other.VirtualAddress + otherSize &&
                other.VirtualAddress < one.VirtualAddress + oneSize)
                return false;
            if (one.SizeOfRawData != 0 && other.SizeOfRawData != 0 &&
                one.PointerToRawData < ULONGLONG(other.PointerToRawData) + other.SizeOfRawData &&
                other.PointerToRawData < ULONGLONG(one.PointerToRawData) + one.SizeOfRawData)
                return false;
        }
        if (one.SizeOfRawData != 0)
            fileEnd = std::max(fileEnd, ULONGLONG(one.PointerToRawData) + one.SizeOfRawData);
        imageEnd = std::max(imageEnd, one.VirtualAddress + oneSize);
    }
    return imageEnd == image.sizeOfImage() && fileEnd == ULONGLONG(image.fileSize());
}

bool RightChecksum(const PeImage& image) {
    DWORD checksum = 0;
    return ComputePeChecksum(image, checksum) == ERROR_SUCCESS && checksum == image.checksum();
}

bool SameBytesOutsideResources(const PeImage& original, const PeImage& changed) {
    const WORD resources = SectionOf(original, IMAGE_DIRECTORY_ENTRY_RESOURCE);
    const WORD relocations = SectionOf(original, IMAGE_DIRECTORY_ENTRY_BASERELOC);
    if (resources == original.sectionCount() || changed.sectionCount() != original.sectionCount() ||
        SectionOf(changed, IMAGE_DIRECTORY_ENTRY_RESOURCE) != resources ||
        SectionOf(changed, IMAGE_DIRECTORY_ENTRY_BASERELOC) != relocations ||
        changed.optionalHeaderAt() != original.optionalHeaderAt() ||
        changed.is64() != original.is64())
        return false;
    const IMAGE_SECTION_HEADER& was = original.section(resources);
    const IMAGE_SECTION_HEADER& is = changed.section(resources);
    // The headers and every section before the resources', and what the
    // resources' section holds before the tree.
    const LONGLONG kept =
        LONGLONG(was.PointerToRawData) +
        (original.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE).VirtualAddress - was.VirtualAddress);
    if (!SameBytes(kept, FileBytes(original, 0), FileBytes(changed, 0),
                   WritersFields(original, resources, relocations)))
        return false;
    // The tree lies inside the section the loader maps for it.
    const IMAGE_DATA_DIRECTORY tree = changed.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE);
    if (ULONGLONG(tree.VirtualAddress) + tree.Size >
        ULONGLONG(is.VirtualAddress) + std::min(is.Misc.VirtualSize, is.SizeOfRawData))
        return false;
    for (WORD i = 0; i < original.sectionCount(); ++i) {
        const IMAGE_SECTION_HEADER& one = original.section(i);
        const IMAGE_SECTION_HEADER& other = changed.section(i);
        if (i == resources || one.PointerToRawData < was.PointerToRawData)
            continue; // compared above
        if (i == relocations &&
            original.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).VirtualAddress -
                    one.VirtualAddress !=
                changed.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).VirtualAddress -
                    other.VirtualAddress)
            return false; // the directory moved otherwise than its section
        if (!SameBytes(one.SizeOfRawData, FileBytes(original, one.PointerToRawData),
                       FileBytes(changed, other.PointerToRawData)))
            return false;
    }
    return true;
}

// Compares the bytes put through it with a file's, from its first byte.
class ComparingSink final : public ByteSink {
  public:
    explicit ComparingSink(const PeImage& file) : file_(file) {}

    DWORD Put(std::string_view bytes) override {
        char theirs[kFileChunk];
        while (!bytes.empty()) {
            const DWORD size = DWORD(std::min<size_t>(kFileChunk, bytes.size()));
            if (file_.ReadAt(at_, theirs, size) != ERROR_SUCCESS ||
                std::memcmp(theirs, bytes.data(), size) != 0)
                return ERROR_INVALID_DATA; // ends the writing: they differ
            at_ += size;
            bytes.remove_prefix(size);
        }
        return ERROR_SUCCESS;
    }

    LONGLONG compared() const { return at_; }

  private:
    const PeImage& file_;
    LONGLONG at_ = 0;
};

} // namespace

bool IsOriginalWithManifest(const PeImage& original, const PeImage& changed, WORD language,
                            std::string_view manifest) {
    std::string carried;
    WORD carriedLanguage = 0;
    return ReadEmbeddedManifest(changed, carried, &carriedLanguage) == ERROR_SUCCESS &&
           carried == manifest && carriedLanguage == language &&
           SameBytesOutsideResources(original, changed) &&
           SameOtherResources(original, changed, language) && LaidOutWhole(changed) &&
           RightChecksum(changed);
}

bool IsWrittenFrom(const PeImage& original, WORD language, std::string_view manifest,
                   const PeImage& program) {
    ComparingSink sink(program);
    return WriteWithManifest(original, language, manifest, sink) == ERROR_SUCCESS &&
           sink.compared() == program.fileSize();
}

} // namespace sheen
