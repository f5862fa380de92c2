#pragma once
// Every resource a program's file carries, read as PeImage reads it: each step
// through the resource directory a bounded read checked against the file.

#include "platform/pe_image.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace sheen {

// RT_MANIFEST and CREATEPROCESS_MANIFEST_RESOURCE_ID, which the headers give
// only as resource-name pointers.
inline constexpr WORD kManifestType = 24;
inline constexpr WORD kProcessManifest = 1;

struct ResourceEntry {
    std::wstring type; // "#" and the ID in decimal, or the name
    std::wstring name; // likewise
    WORD language = 0;
    DWORD rva = 0; // of its data, to be read with PeImage::ReadAtRva
    DWORD size = 0;
    // What laying the directory out anew keeps: the type's and the name's ID
    // (none where `type` or `name` is a name as stored), the data entry's code
    // page, and the headers of the directories on the way (root, type, name).
    std::optional<WORD> typeId;
    std::optional<WORD> nameId;
    DWORD codePage = 0;
    IMAGE_RESOURCE_DIRECTORY directories[3] = {};
};

// Sets `resources` to every resource of `image`, in the directory's order.
// Returns ERROR_SUCCESS (none for an image without resources);
// ERROR_BAD_EXE_FORMAT for a directory that does not add up or lists more
// entries, or longer names, than any program has; or the error of reading.
DWORD ListResources(const PeImage& image, std::vector<ResourceEntry>& resources);

// Sets `found` to the resource of the ID `type` and the ID `name` in its
// first language, the one the loader takes, searching the sorted ID entries
// as it does; only the path there is read, and only `found`'s IDs, language
// and data are set. Returns ERROR_SUCCESS; ERROR_RESOURCE_TYPE_NOT_FOUND,
// _NAME_NOT_FOUND or _LANG_NOT_FOUND; ERROR_BAD_EXE_FORMAT for a directory
// that does not add up; or the error of reading.
DWORD LocateResource(const PeImage& image, WORD type, WORD name, ResourceEntry& found);

} // namespace sheen
