#include "platform/pe_resources.h"

#include "platform/number_text.h"

namespace sheen {
namespace {

// Far beyond any real program; it bounds the walk of a directory made to loop.
constexpr size_t kMaxEntries = 65536;
// Likewise for the names' code units kept over all the entries listed: many
// entries under one long name would otherwise take gigabytes.
constexpr size_t kMaxNameUnits = 1 << 22;

class ResourceWalk {
  public:
    ResourceWalk(const PeImage& image, std::vector<ResourceEntry>& resources)
        : image_(image), start_(image.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE).VirtualAddress),
          resources_(resources) {}

    DWORD Run() {
        if (start_ == 0)
            return ERROR_SUCCESS;
        ResourceEntry entry;
        return Walk(0, 0, entry);
    }

  private:
    // The entries of the directory at `offset`, which is at `level` (0: types,
    // 1: names, 2: languages).
    DWORD Walk(DWORD offset, int level, ResourceEntry& entry) {
        IMAGE_RESOURCE_DIRECTORY& header = entry.directories[level];
        if (const DWORD error = Read(offset, &header, sizeof header))
            return error;
        const DWORD count = DWORD(header.NumberOfNamedEntries) + header.NumberOfIdEntries;
        for (DWORD i = 0; i < count; ++i) {
            if (++visited_ > kMaxEntries)
                return ERROR_BAD_EXE_FORMAT;
            IMAGE_RESOURCE_DIRECTORY_ENTRY item;
            if (const DWORD error =
                    Read(ULONGLONG(offset) + sizeof header + i * sizeof item, &item, sizeof item))
                return error;
            const bool directory = item.OffsetToData & IMAGE_RESOURCE_DATA_IS_DIRECTORY;
            if (directory != (level < 2))
                return ERROR_BAD_EXE_FORMAT;
            if (level == 2) {
                entry.language = WORD(item.Name);
                IMAGE_RESOURCE_DATA_ENTRY data;
                if (const DWORD error = Read(item.OffsetToData, &data, sizeof data))
                    return error;
                entry.rva = data.OffsetToData;
                entry.size = data.Size;
                entry.codePage = data.CodePage;
                nameUnits_ += entry.type.size() + entry.name.size();
                if (nameUnits_ > kMaxNameUnits)
                    return ERROR_BAD_EXE_FORMAT;
                resources_.push_back(entry);
                continue;
            }
            std::wstring& key = level == 0 ? entry.type : entry.name;
            if (const DWORD error = Key(item.Name, key))
                return error;
            std::optional<WORD>& id = level == 0 ? entry.typeId : entry.nameId;
            id.reset();
            if (!(item.Name & IMAGE_RESOURCE_NAME_IS_STRING))
                id = WORD(item.Name);
            if (const DWORD error =
                    Walk(item.OffsetToData & ~IMAGE_RESOURCE_DATA_IS_DIRECTORY, level + 1, entry))
                return error;
        }
        return ERROR_SUCCESS;
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

    DWORD Read(ULONGLONG offset, void* buffer, DWORD size) const {
        return image_.ReadAtRva(start_ + offset, buffer, size);
    }

    const PeImage& image_;
    DWORD start_;
    std::vector<ResourceEntry>& resources_;
    size_t visited_ = 0;
    size_t nameUnits_ = 0;
};

} // namespace

DWORD ListResources(const PeImage& image, std::vector<ResourceEntry>& resources) {
    resources.clear();
    return ResourceWalk(image, resources).Run();
}

} // namespace sheen
