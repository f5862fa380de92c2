#include "platform/embedded_manifest.h"

#include <new>
#include <optional>

namespace sheen {
namespace {

constexpr DWORD kMaxManifestSize = 1 << 20;
// RT_MANIFEST and CREATEPROCESS_MANIFEST_RESOURCE_ID, which the headers give
// only as resource-name pointers.
constexpr WORD kManifestType = 24;
constexpr WORD kProcessManifest = 1;

// The resource directory tree; every offset in it counts from its start.
class ResourceTree {
  public:
    explicit ResourceTree(const PeImage& image)
        : image_(image), start_(image.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE).VirtualAddress) {}
    bool empty() const { return start_ == 0; }

    // The entry for `id` of the directory at `directory`, or with none its
    // first entry. The ID entries are sorted, and searched as the loader does.
    DWORD Find(DWORD directory, std::optional<WORD> id, DWORD notFound,
               IMAGE_RESOURCE_DIRECTORY_ENTRY& entry) const {
        IMAGE_RESOURCE_DIRECTORY header;
        if (const DWORD error = Read(directory, &header, sizeof header))
            return error;
        const ULONGLONG entries = ULONGLONG(directory) + sizeof header;
        DWORD low = id ? header.NumberOfNamedEntries : 0;
        DWORD high = header.NumberOfNamedEntries + header.NumberOfIdEntries;
        while (low < high) {
            const DWORD middle = id ? low + (high - low) / 2 : low;
            if (const DWORD error = Read(entries + middle * sizeof entry, &entry, sizeof entry))
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

    // The subdirectory an entry of the first two levels leads to.
    static DWORD Subdirectory(const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry, DWORD& directory) {
        if (!(entry.OffsetToData & IMAGE_RESOURCE_DATA_IS_DIRECTORY))
            return ERROR_BAD_EXE_FORMAT;
        directory = entry.OffsetToData & ~IMAGE_RESOURCE_DATA_IS_DIRECTORY;
        return ERROR_SUCCESS;
    }

    DWORD Read(ULONGLONG offset, void* buffer, DWORD size) const {
        return image_.ReadAtRva(start_ + offset, buffer, size);
    }

  private:
    const PeImage& image_;
    DWORD start_;
};

} // namespace

DWORD ReadEmbeddedManifest(const PeImage& image, std::string& manifest, WORD* language) {
    const ResourceTree tree(image);
    if (tree.empty())
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    IMAGE_RESOURCE_DIRECTORY_ENTRY entry;
    DWORD directory = 0;
    if (const DWORD error = tree.Find(0, kManifestType, ERROR_RESOURCE_TYPE_NOT_FOUND, entry))
        return error;
    if (const DWORD error = ResourceTree::Subdirectory(entry, directory))
        return error;
    if (const DWORD error =
            tree.Find(directory, kProcessManifest, ERROR_RESOURCE_NAME_NOT_FOUND, entry))
        return error;
    if (const DWORD error = ResourceTree::Subdirectory(entry, directory))
        return error;
    if (const DWORD error =
            tree.Find(directory, std::nullopt, ERROR_RESOURCE_LANG_NOT_FOUND, entry))
        return error;
    if (entry.OffsetToData & IMAGE_RESOURCE_DATA_IS_DIRECTORY)
        return ERROR_BAD_EXE_FORMAT;
    if (language)
        *language = WORD(entry.Name);
    IMAGE_RESOURCE_DATA_ENTRY data;
    if (const DWORD error = tree.Read(entry.OffsetToData, &data, sizeof data))
        return error;
    if (data.Size > kMaxManifestSize)
        return ERROR_BAD_EXE_FORMAT;
    try {
        manifest.resize(data.Size);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    // Unlike the offsets above, the data's is relative to the image.
    return image.ReadAtRva(data.OffsetToData, manifest.data(), data.Size);
}

} // namespace sheen
