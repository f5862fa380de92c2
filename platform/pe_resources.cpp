#include "platform/pe_resources.h"

#include "platform/number_text.h"

namespace sheen {
namespace {

// Far beyond any real program; it bounds the walk of a directory made to loop.
constexpr size_t kMaxEntries = 65536;
// Likewise for the names' code units kept over all the entries listed: many
// entries under one long name would otherwise take gigabytes.
constexpr size_t kMaxNameUnits = 1 << 22;

// The resource directory tree, read one bounded step at a time; every offset
// in it counts from its start.
class ResourceTree {
  public:
    explicit ResourceTree(const PeImage& image)
        : image_(image), start_(image.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE).VirtualAddress) {}
    bool empty() const { return start_ == 0; }

    DWORD Header(DWORD directory, IMAGE_RESOURCE_DIRECTORY& header) const {
        return Read(directory, &header, sizeof header);
    }

    // The entry `index` of the directory at `directory`, which leads on to a
    // directory at the first two levels (types and names) and to data at the
    // third (languages).
    DWORD Entry(DWORD directory, DWORD index, int level,
                IMAGE_RESOURCE_DIRECTORY_ENTRY& entry) const {
        if (const DWORD error = Read(ULONGLONG(directory) + sizeof(IMAGE_RESOURCE_DIRECTORY) +
                                         ULONGLONG(index) * sizeof entry,
                                     &entry, sizeof entry))
            return error;
        const bool leadsOn = entry.OffsetToData & IMAGE_RESOURCE_DATA_IS_DIRECTORY;
        return leadsOn == (level < 2) ? ERROR_SUCCESS : DWORD(ERROR_BAD_EXE_FORMAT);
    }

    static DWORD Subdirectory(const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry) {
        return entry.OffsetToData & ~IMAGE_RESOURCE_DATA_IS_DIRECTORY;
    }

    // The language entry's data, into `resource`.
    DWORD Data(const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry, ResourceEntry& resource) const {
        IMAGE_RESOURCE_DATA_ENTRY data;
        if (const DWORD error = Read(entry.OffsetToData, &data, sizeof data))
            return error;
        resource.language = WORD(entry.Name);
        resource.rva = data.OffsetToData;
        resource.size = data.Size;
        resource.codePage = data.CodePage;
        return ERROR_SUCCESS;
    }

    // The entry for `id` of the directory at `directory`, or with none its
    // first entry.
    DWORD Find(DWORD directory, int level, std::optional<WORD> id, DWORD notFound,
               IMAGE_RESOURCE_DIRECTORY_ENTRY& entry) const {
        IMAGE_RESOURCE_DIRECTORY header;
        if (const DWORD error = Header(directory, header))
            return error;
        DWORD low = id ? header.NumberOfNamedEntries : 0;
        DWORD high = header.NumberOfNamedEntries + header.NumberOfIdEntries;
        while (low < high) {
            const DWORD middle = id ? low + (high - low) / 2 : low;
            if (const DWORD error = Entry(directory, middle, level, entry))
                return error;
            if (!id || entry.Name == *id)
                return ERROR_SUCCESS;
            if (entry.Name < *id)
                low = middle + 1;
            else
                high = middle;
        }
        return notFound;
    }

    DWORD Key(DWORD name, std::wstring& key) const {
        if (!(name & IMAGE_RESOURCE_NAME_IS_STRING)) {
            key = L"#" + DecimalText(WORD(name));
            return ERROR_SUCCESS;
        }
        const DWORD at = name & ~IMAGE_RESOURCE_NAME_IS_STRING;
        WORD length = 0;
        if (const DWORD error = Read(at, &length, sizeof length))
            return error;
        key.resize(length);
        return length == 0 ? ERROR_SUCCESS
                           : Read(ULONGLONG(at) + sizeof length, key.data(),
                                  DWORD(length * sizeof(wchar_t)));
    }

  private:
    DWORD Read(ULONGLONG offset, void* buffer, DWORD size) const {
        return image_.ReadAtRva(start_ + offset, buffer, size);
    }

    const PeImage& image_;
    DWORD start_;
};

class ResourceWalk {
  public:
    ResourceWalk(const PeImage& image, std::vector<ResourceEntry>& resources)
        : tree_(image), resources_(resources) {}

    DWORD Run() {
        if (tree_.empty())
            return ERROR_SUCCESS;
        ResourceEntry entry;
        return Walk(0, 0, entry);
    }

  private:
    // The entries of the directory at `offset`, which is at `level` (0: types,
    // 1: names, 2: languages).
    DWORD Walk(DWORD offset, int level, ResourceEntry& entry) {
        IMAGE_RESOURCE_DIRECTORY& header = entry.directories[level];
        if (const DWORD error = tree_.Header(offset, header))
            return error;
        const DWORD count = DWORD(header.NumberOfNamedEntries) + header.NumberOfIdEntries;
        for (DWORD i = 0; i < count; ++i) {
            if (++visited_ > kMaxEntries)
                return ERROR_BAD_EXE_FORMAT;
            IMAGE_RESOURCE_DIRECTORY_ENTRY item;
            if (const DWORD error = tree_.Entry(offset, i, level, item))
                return error;
            if (level == 2) {
                if (const DWORD error = tree_.Data(item, entry))
                    return error;
                nameUnits_ += entry.type.size() + entry.name.size();
                if (nameUnits_ > kMaxNameUnits)
                    return ERROR_BAD_EXE_FORMAT;
                resources_.push_back(entry);
                continue;
            }
            std::wstring& key = level == 0 ? entry.type : entry.name;
            if (const DWORD error = tree_.Key(item.Name, key))
                return error;
            std::optional<WORD>& id = level == 0 ? entry.typeId : entry.nameId;
            id.reset();
            if (!(item.Name & IMAGE_RESOURCE_NAME_IS_STRING))
                id = WORD(item.Name);
            if (const DWORD error = Walk(ResourceTree::Subdirectory(item), level + 1, entry))
                return error;
        }
        return ERROR_SUCCESS;
    }

    const ResourceTree tree_;
    std::vector<ResourceEntry>& resources_;
    size_t visited_ = 0;
    size_t nameUnits_ = 0;
};

} // namespace

DWORD ListResources(const PeImage& image, std::vector<ResourceEntry>& resources) {
    resources.clear();
    return ResourceWalk(image, resources).Run();
}

DWORD LocateResource(const PeImage& image, WORD type, WORD name, ResourceEntry& found) {
    const ResourceTree tree(image);
    if (tree.empty())
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    IMAGE_RESOURCE_DIRECTORY_ENTRY entry;
    if (const DWORD error = tree.Find(0, 0, type, ERROR_RESOURCE_TYPE_NOT_FOUND, entry))
        return error;
    if (const DWORD error = tree.Find(ResourceTree::Subdirectory(entry), 1, name,
                                      ERROR_RESOURCE_NAME_NOT_FOUND, entry))
        return error;
    if (const DWORD error = tree.Find(ResourceTree::Subdirectory(entry), 2, std::nullopt,
                                      ERROR_RESOURCE_LANG_NOT_FOUND, entry))
        return error;
    found.typeId = type;
    found.nameId = name;
    return tree.Data(entry, found);
}

} // namespace sheen
