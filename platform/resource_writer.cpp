#include "platform/resource_writer.h"

#include "platform/file_read.h"
#include "platform/pe_checksum.h"
#include "platform/pe_resources.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace sheen {
namespace {

// Far beyond any program's resources; it bounds a tree whose entries share
// their data many times over.
constexpr ULONGLONG kMaxTreeSize = 1ull << 30;
constexpr DWORD kDataAlignment = 8;

ULONGLONG AlignUp(ULONGLONG value, DWORD alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

bool IsPowerOfTwo(DWORD value) {
    return value != 0 && (value & (value - 1)) == 0;
}

// What the section spans in memory, as far as anyone reads it.
ULONGLONG EndOf(const IMAGE_SECTION_HEADER& section) {
    return ULONGLONG(section.VirtualAddress) +
           std::max(section.Misc.VirtualSize, section.SizeOfRawData);
}

bool Overlaps(ULONGLONG rva, ULONGLONG size, const IMAGE_SECTION_HEADER& section) {
    return rva < EndOf(section) && rva + std::max<ULONGLONG>(size, 1) > section.VirtualAddress;
}

// The sections a new manifest changes: the resources', and the relocations'
// that may follow it.
struct Sections {
    WORD resources = 0;
    std::optional<WORD> relocations;
};

DWORD FindSections(const PeImage& image, Sections& found) {
    const DWORD tree = image.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE).VirtualAddress;
    if (tree == 0)
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    if (!IsPowerOfTwo(image.fileAlignment()) || !IsPowerOfTwo(image.sectionAlignment()))
        return ERROR_BAD_EXE_FORMAT;
    const WORD count = image.sectionCount();
    WORD index = 0;
    while (index < count &&
           (tree < image.section(index).VirtualAddress ||
            tree - image.section(index).VirtualAddress >= image.section(index).SizeOfRawData))
        ++index;
    if (index == count)
        return ERROR_BAD_EXE_FORMAT;
    const IMAGE_SECTION_HEADER& resources = image.section(index);
    // The headers it rewrites lie before it, and it lies in the file.
    if (image.sectionTableAt() + LONGLONG(count) * LONGLONG(sizeof resources) >
            resources.PointerToRawData ||
        LONGLONG(resources.PointerToRawData) + resources.SizeOfRawData > image.fileSize())
        return ERROR_BAD_EXE_FORMAT;
    for (WORD i = 0; i < index; ++i) {
        const IMAGE_SECTION_HEADER& before = image.section(i);
        if (EndOf(before) > resources.VirtualAddress ||
            (before.SizeOfRawData != 0 &&
             ULONGLONG(before.PointerToRawData) + before.SizeOfRawData >
                 resources.PointerToRawData))
            return kSectionAfterResources;
    }
    found.resources = index;
    found.relocations.reset();
    if (index + 1 < count) {
        const IMAGE_SECTION_HEADER& after = image.section(index + 1);
        const IMAGE_DATA_DIRECTORY relocations = image.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC);
        if (index + 2 < count || relocations.VirtualAddress < after.VirtualAddress ||
            ULONGLONG(relocations.VirtualAddress) + relocations.Size > EndOf(after) ||
            after.SizeOfRawData == 0 || after.VirtualAddress < EndOf(resources) ||
            after.PointerToRawData <
                ULONGLONG(resources.PointerToRawData) + resources.SizeOfRawData)
            return kSectionAfterResources;
        if (LONGLONG(after.PointerToRawData) + after.SizeOfRawData > image.fileSize())
            return ERROR_BAD_EXE_FORMAT;
        found.relocations = WORD(index + 1);
    }
    // Whatever else the loader finds by its address must stay where it is.
    const auto check = [&](ULONGLONG rva, ULONGLONG size) {
        if (Overlaps(rva, size, resources))
            return kResourcesShareSection;
        if (found.relocations && Overlaps(rva, size, image.section(*found.relocations)))
            return kSectionAfterResources;
        return DWORD(ERROR_SUCCESS);
    };
    for (DWORD i = 0; i < IMAGE_NUMBEROF_DIRECTORY_ENTRIES; ++i) {
        const IMAGE_DATA_DIRECTORY directory = image.Directory(i);
        // The certificates' address is a file offset, refused elsewhere.
        if (i == IMAGE_DIRECTORY_ENTRY_RESOURCE || i == IMAGE_DIRECTORY_ENTRY_SECURITY ||
            (i == IMAGE_DIRECTORY_ENTRY_BASERELOC && found.relocations) ||
            directory.VirtualAddress == 0)
            continue;
        if (const DWORD error = check(directory.VirtualAddress, directory.Size))
            return error;
    }
    return image.entryPoint() == 0 ? DWORD(ERROR_SUCCESS) : check(image.entryPoint(), 1);
}

// Named entries before ID entries; names by UTF-16 code unit, IDs ascending.
int CompareKeys(const std::optional<WORD>& id, const std::wstring& name,
                const std::optional<WORD>& otherId, const std::wstring& otherName) {
    if (id.has_value() != otherId.has_value())
        return id ? 1 : -1;
    return id ? int(*id) - int(*otherId) : name.compare(otherName);
}

// How `one` and `other` are ordered by their keys down to `level` (0: the
// type, 1: the name, 2: the language).
int Compare(const ResourceEntry& one, const ResourceEntry& other, int level) {
    int order = CompareKeys(one.typeId, one.type, other.typeId, other.type);
    if (order != 0 || level == 0)
        return order;
    order = CompareKeys(one.nameId, one.name, other.nameId, other.name);
    return order != 0 || level == 1 ? order : int(one.language) - int(other.language);
}

// Every resource in the new order, each with where its bytes are read from.
struct Tree {
    std::vector<ResourceEntry> entries;
    std::vector<LONGLONG> dataAt; // file offsets
};

DWORD ReadTree(const PeImage& image, Tree& tree) {
    std::vector<ResourceEntry> listed;
    if (const DWORD error = ListResources(image, listed))
        return error;
    // Indices sorted, not the entries: far less code in the executable.
    std::vector<size_t> order(listed.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t one, size_t other) { return Compare(listed[one], listed[other], 2) < 0; });
    tree.entries.clear();
    tree.entries.reserve(listed.size());
    for (const size_t i : order)
        tree.entries.push_back(std::move(listed[i]));
    tree.dataAt.assign(tree.entries.size(), 0);
    for (size_t i = 0; i < tree.entries.size(); ++i) {
        const ResourceEntry& entry = tree.entries[i];
        if (i > 0 && Compare(tree.entries[i - 1], entry, 2) == 0)
            return ERROR_BAD_EXE_FORMAT;
        if (const DWORD error = image.FileOffsetOfRva(entry.rva, entry.size, tree.dataAt[i]))
            return error;
    }
    return ERROR_SUCCESS;
}

template <typename T> void Put(std::string& bytes, size_t at, const T& value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// The directory laid out anew at `rva`: its structures in memory, bounded by
// the entries' limit, and where each resource's data goes.
struct NewTree {
    std::string structure;
    std::vector<DWORD> dataAt; // from the tree's start
    ULONGLONG size = 0;
};

size_t StringSize(const std::wstring& name) {
    return sizeof(WORD) + name.size() * sizeof(wchar_t);
}

size_t DirectorySize(size_t entries) {
    return sizeof(IMAGE_RESOURCE_DIRECTORY) + entries * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY);
}

DWORD LayOut(const Tree& tree, size_t manifest, DWORD manifestSize, DWORD rva, NewTree& laid) {
    const std::vector<ResourceEntry>& entries = tree.entries;
    // Where each type's and each name's entries begin, and each type's first
    // name; each ends where the next begins.
    std::vector<size_t> types;
    std::vector<size_t> names;
    std::vector<size_t> firstNames;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i == 0 || Compare(entries[i - 1], entries[i], 0) != 0) {
            types.push_back(i);
            firstNames.push_back(names.size());
        }
        if (i == 0 || Compare(entries[i - 1], entries[i], 1) != 0)
            names.push_back(i);
    }
    const size_t typeCount = types.size();
    const size_t nameCount = names.size();
    types.push_back(entries.size());
    names.push_back(entries.size());
    firstNames.push_back(nameCount);

    // The directories breadth first, then the names, the data entries, the data.
    size_t end = DirectorySize(typeCount);
    std::vector<size_t> typeAt(typeCount);
    std::vector<size_t> nameAt(nameCount);
    for (size_t t = 0; t < typeCount; ++t) {
        typeAt[t] = end;
        end += DirectorySize(firstNames[t + 1] - firstNames[t]);
    }
    for (size_t n = 0; n < nameCount; ++n) {
        nameAt[n] = end;
        end += DirectorySize(names[n + 1] - names[n]);
    }
    size_t stringAt = end;
    for (size_t t = 0; t < typeCount; ++t)
        end += entries[types[t]].typeId ? 0 : StringSize(entries[types[t]].type);
    for (size_t n = 0; n < nameCount; ++n)
        end += entries[names[n]].nameId ? 0 : StringSize(entries[names[n]].name);
    const size_t dataEntriesAt = AlignUp(end, sizeof(DWORD));
    laid.structure.assign(dataEntriesAt + entries.size() * sizeof(IMAGE_RESOURCE_DATA_ENTRY), '\0');
    laid.size = laid.structure.size();
    laid.dataAt.assign(entries.size(), 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        laid.size = AlignUp(laid.size, kDataAlignment);
        laid.dataAt[i] = DWORD(laid.size);
        laid.size += i == manifest ? manifestSize : entries[i].size;
        if (laid.size > kMaxTreeSize || rva + laid.size > MAXDWORD)
            return ERROR_BAD_EXE_FORMAT;
    }

    // An entry's name: its ID, or its string written next.
    const auto key = [&](const std::optional<WORD>& id, const std::wstring& text) {
        if (id)
            return DWORD(*id);
        const DWORD at = DWORD(stringAt) | IMAGE_RESOURCE_NAME_IS_STRING;
        Put(laid.structure, stringAt, WORD(text.size()));
        text.copy(reinterpret_cast<wchar_t*>(laid.structure.data() + stringAt + sizeof(WORD)),
                  text.size());
        stringAt += StringSize(text);
        return at;
    };
    // The header at `at` as read from the directory of `level` on the way to
    // `entry`, with its counts made anew.
    const auto header = [&](size_t at, size_t entry, int level, size_t named, size_t count) {
        IMAGE_RESOURCE_DIRECTORY kept = entries[entry].directories[level];
        kept.NumberOfNamedEntries = WORD(named);
        kept.NumberOfIdEntries = WORD(count - named);
        Put(laid.structure, at, kept);
    };
    const auto item = [&](size_t directory, size_t index, DWORD name, DWORD offset) {
        IMAGE_RESOURCE_DIRECTORY_ENTRY item = {};
        item.Name = name;
        item.OffsetToData = offset;
        Put(laid.structure, DirectorySize(index) + directory, item);
    };
    size_t namedTypes = 0;
    for (size_t t = 0; t < typeCount; ++t) {
        namedTypes += entries[types[t]].typeId ? 0 : 1;
        item(0, t, key(entries[types[t]].typeId, entries[types[t]].type),
             DWORD(typeAt[t]) | IMAGE_RESOURCE_DATA_IS_DIRECTORY);
    }
    header(0, 0, 0, namedTypes, typeCount);
    for (size_t t = 0; t < typeCount; ++t) {
        size_t named = 0;
        for (size_t n = firstNames[t]; n < firstNames[t + 1]; ++n) {
            named += entries[names[n]].nameId ? 0 : 1;
            item(typeAt[t], n - firstNames[t],
                 key(entries[names[n]].nameId, entries[names[n]].name),
                 DWORD(nameAt[n]) | IMAGE_RESOURCE_DATA_IS_DIRECTORY);
        }
        header(typeAt[t], types[t], 1, named, firstNames[t + 1] - firstNames[t]);
    }
    for (size_t n = 0; n < nameCount; ++n) {
        header(nameAt[n], names[n], 2, 0, names[n + 1] - names[n]);
        for (size_t i = names[n]; i < names[n + 1]; ++i) {
            const size_t dataEntryAt = dataEntriesAt + i * sizeof(IMAGE_RESOURCE_DATA_ENTRY);
            item(nameAt[n], i - names[n], entries[i].language, DWORD(dataEntryAt));
            const IMAGE_RESOURCE_DATA_ENTRY data = {rva + laid.dataAt[i],
                                                    i == manifest ? manifestSize : entries[i].size,
                                                    entries[i].codePage, 0};
            Put(laid.structure, dataEntryAt, data);
        }
    }
    return ERROR_SUCCESS;
}

// A field of the headers written with a new value.
struct Patch {
    LONGLONG at;
    DWORD value;
};

// Everything WriteWithManifest decides before it writes.
struct Plan {
    Sections sections;
    Tree tree;
    size_t manifest = 0;
    NewTree laid;
    DWORD prefix = 0; // bytes of the section kept before the directory
    DWORD rawSize = 0;
    LONGLONG resume = 0; // where the original's bytes go on after the section
    std::vector<Patch> patches;
    LONGLONG checksumAt = 0;
};

DWORD MakePlan(const PeImage& image, WORD language, DWORD manifestSize, Plan& plan) {
    if (const DWORD error = FindSections(image, plan.sections))
        return error;
    if (const DWORD error = ReadTree(image, plan.tree))
        return error;
    const std::vector<ResourceEntry>& entries = plan.tree.entries;
    const auto manifest = std::find_if(entries.begin(), entries.end(), [&](const auto& entry) {
        return entry.typeId == kManifestType && entry.nameId == kProcessManifest &&
               entry.language == language;
    });
    if (manifest == entries.end())
        return ERROR_RESOURCE_LANG_NOT_FOUND;
    plan.manifest = size_t(manifest - entries.begin());

    const IMAGE_SECTION_HEADER& resources = image.section(plan.sections.resources);
    const DWORD treeRva = image.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE).VirtualAddress;
    if (const DWORD error = LayOut(plan.tree, plan.manifest, manifestSize, treeRva, plan.laid))
        return error;
    plan.prefix = treeRva - resources.VirtualAddress;
    const ULONGLONG content = plan.prefix + plan.laid.size;
    const IMAGE_SECTION_HEADER* relocations =
        plan.sections.relocations ? &image.section(*plan.sections.relocations) : nullptr;
    const bool fits =
        content <= resources.SizeOfRawData &&
        (!relocations || resources.VirtualAddress + content <= relocations->VirtualAddress);
    const ULONGLONG rawSize = fits ? resources.SizeOfRawData
                                   : std::max<ULONGLONG>(resources.SizeOfRawData,
                                                         AlignUp(content, image.fileAlignment()));
    plan.rawSize = DWORD(rawSize);
    const LONGLONG oldEnd = LONGLONG(resources.PointerToRawData) + resources.SizeOfRawData;
    plan.resume = oldEnd;

    // The last section's end in memory, before and after, gives SizeOfImage.
    const IMAGE_SECTION_HEADER& last = relocations ? *relocations : resources;
    const ULONGLONG lastSize = last.Misc.VirtualSize ? last.Misc.VirtualSize : last.SizeOfRawData;
    const ULONGLONG wasEnd = last.VirtualAddress + lastSize;
    ULONGLONG isEnd = resources.VirtualAddress + content;
    const LONGLONG table = image.sectionTableAt();
    const auto sectionField = [&](WORD index, size_t field) -> LONGLONG {
        return table + LONGLONG(index) * sizeof(IMAGE_SECTION_HEADER) + LONGLONG(field);
    };
    const LONGLONG directories =
        image.optionalHeaderAt() + LONGLONG(image.is64()
                                                ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                                : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
    if (relocations) {
        ULONGLONG rva = relocations->VirtualAddress;
        ULONGLONG at = relocations->PointerToRawData;
        if (!fits) {
            rva = std::max(rva,
                           AlignUp(resources.VirtualAddress + content, image.sectionAlignment()));
            at = resources.PointerToRawData + rawSize;
            plan.resume = relocations->PointerToRawData;
        }
        isEnd = rva + lastSize;
        const DWORD moved = DWORD(rva - relocations->VirtualAddress);
        const IMAGE_DATA_DIRECTORY directory = image.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC);
        plan.patches.push_back({sectionField(*plan.sections.relocations,
                                             offsetof(IMAGE_SECTION_HEADER, VirtualAddress)),
                                DWORD(rva)});
        plan.patches.push_back({sectionField(*plan.sections.relocations,
                                             offsetof(IMAGE_SECTION_HEADER, PointerToRawData)),
                                DWORD(at)});
        plan.patches.push_back(
            {directories + IMAGE_DIRECTORY_ENTRY_BASERELOC * LONGLONG(sizeof(IMAGE_DATA_DIRECTORY)),
             directory.VirtualAddress + moved});
        if (rva + EndOf(*relocations) - relocations->VirtualAddress > MAXDWORD ||
            at + relocations->SizeOfRawData > MAXDWORD)
            return ERROR_BAD_EXE_FORMAT;
    }
    const LONGLONG sizeOfImage = LONGLONG(image.sizeOfImage()) +
                                 LONGLONG(AlignUp(isEnd, image.sectionAlignment())) -
                                 LONGLONG(AlignUp(wasEnd, image.sectionAlignment()));
    if (sizeOfImage < 0 || sizeOfImage > LONGLONG(MAXDWORD) ||
        resources.PointerToRawData + rawSize > MAXDWORD)
        return ERROR_BAD_EXE_FORMAT;

    const LONGLONG optional = image.optionalHeaderAt();
    plan.checksumAt = optional + offsetof(IMAGE_OPTIONAL_HEADER32, CheckSum);
    plan.patches.push_back(
        {optional + LONGLONG(offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfImage)), DWORD(sizeOfImage)});
    plan.patches.push_back(
        {optional + LONGLONG(offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfInitializedData)),
         image.sizeOfInitializedData() + DWORD(rawSize) - resources.SizeOfRawData});
    plan.patches.push_back(
        {directories + IMAGE_DIRECTORY_ENTRY_RESOURCE * LONGLONG(sizeof(IMAGE_DATA_DIRECTORY)) +
             LONGLONG(offsetof(IMAGE_DATA_DIRECTORY, Size)),
         DWORD(plan.laid.size)});
    plan.patches.push_back(
        {sectionField(plan.sections.resources, offsetof(IMAGE_SECTION_HEADER, Misc.VirtualSize)),
         DWORD(content)});
    plan.patches.push_back(
        {sectionField(plan.sections.resources, offsetof(IMAGE_SECTION_HEADER, SizeOfRawData)),
         DWORD(rawSize)});
    return ERROR_SUCCESS;
}

// The bytes of the plan, with `checksum` in the header.
class Writer {
  public:
    Writer(const PeImage& image, const Plan& plan, std::string_view manifest, ByteSink& sink)
        : image_(image), plan_(plan), manifest_(manifest), sink_(sink) {}

    DWORD Run(DWORD checksum) {
        const IMAGE_SECTION_HEADER& resources = image_.section(plan_.sections.resources);
        checksum_ = checksum;
        if (const DWORD error = Copy(0, LONGLONG(resources.PointerToRawData) + plan_.prefix, true))
            return error;
        if (const DWORD error = sink_.Put(plan_.laid.structure))
            return error;
        ULONGLONG written = plan_.laid.structure.size();
        const std::vector<ResourceEntry>& entries = plan_.tree.entries;
        for (size_t i = 0; i < entries.size(); ++i) {
            if (const DWORD error = Zeros(plan_.laid.dataAt[i] - written))
                return error;
            if (i == plan_.manifest) {
                if (const DWORD error = sink_.Put(manifest_))
                    return error;
                written = plan_.laid.dataAt[i] + manifest_.size();
                continue;
            }
            if (const DWORD error = Copy(plan_.tree.dataAt[i], entries[i].size, false))
                return error;
            written = plan_.laid.dataAt[i] + ULONGLONG(entries[i].size);
        }
        if (const DWORD error = Zeros(plan_.rawSize - plan_.prefix - written))
            return error;
        return Copy(plan_.resume, image_.fileSize() - plan_.resume, false);
    }

  private:
    // The original's `size` bytes at `at`, a piece at a time, with the new
    // header fields where `patched`.
    DWORD Copy(LONGLONG at, LONGLONG size, bool patched) {
        char piece[kFileChunk];
        for (LONGLONG done = 0; done < size; done += kFileChunk) {
            const DWORD length = DWORD(std::min<LONGLONG>(kFileChunk, size - done));
            const LONGLONG from = at + done;
            if (const DWORD error = image_.ReadAt(from, piece, length))
                return error;
            if (patched) {
                for (const Patch& patch : plan_.patches)
                    PutField(piece, from, length, patch.at, patch.value);
                PutField(piece, from, length, plan_.checksumAt, checksum_);
            }
            if (const DWORD error = sink_.Put(std::string_view(piece, length)))
                return error;
        }
        return ERROR_SUCCESS;
    }

    // The bytes of the field at `fieldAt` that fall in the piece at `from`.
    static void PutField(char* piece, LONGLONG from, DWORD length, LONGLONG fieldAt, DWORD value) {
        for (LONGLONG i = 0; i < LONGLONG(sizeof value); ++i) {
            if (fieldAt + i >= from && fieldAt + i < from + length)
                piece[fieldAt + i - from] = char(value >> (8 * i));
        }
    }

    DWORD Zeros(ULONGLONG count) {
        const char zeros[512] = {}; // on the stack: 4 KiB less in the executable
        for (; count > 0;) {
            const size_t length = size_t(std::min<ULONGLONG>(count, sizeof zeros));
            if (const DWORD error = sink_.Put(std::string_view(zeros, length)))
                return error;
            count -= length;
        }
        return ERROR_SUCCESS;
    }

    const PeImage& image_;
    const Plan& plan_;
    std::string_view manifest_;
    ByteSink& sink_;
    DWORD checksum_ = 0;
};

} // namespace

DWORD CheckResourceLayout(const PeImage& image) {
    Sections sections;
    if (const DWORD error = FindSections(image, sections))
        return error;
    Tree tree;
    return ReadTree(image, tree);
}

DWORD WriteWithManifest(const PeImage& image, WORD language, std::string_view manifest,
                        ByteSink& sink) {
    if (manifest.size() > kMaxTreeSize)
        return ERROR_BAD_EXE_FORMAT;
    Plan plan;
    if (const DWORD error = MakePlan(image, language, DWORD(manifest.size()), plan))
        return error;
    // The checksum goes in the header, before the bytes it sums: they are
    // made twice, first for the sum alone.
    PeChecksum sum(plan.checksumAt);
    if (const DWORD error = Writer(image, plan, manifest, sum).Run(0))
        return error;
    return Writer(image, plan, manifest, sink).Run(sum.Value());
}

} // namespace sheen
