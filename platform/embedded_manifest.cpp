#include "platform/embedded_manifest.h"

#include "platform/pe_resources.h"

#include <new>

namespace sheen {
namespace {

constexpr DWORD kMaxManifestSize = 1 << 20;

} // namespace

DWORD ReadEmbeddedManifest(const PeImage& image, std::string& manifest, WORD* language) {
    ResourceEntry found;
    if (const DWORD error = LocateResource(image, kManifestType, kProcessManifest, found))
        return error;
    if (language)
        *language = found.language;
    if (found.size > kMaxManifestSize)
        return ERROR_BAD_EXE_FORMAT;
    try {
        manifest.resize(found.size);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    // Unlike the directory's offsets, the data's is relative to the image.
    return image.ReadAtRva(found.rva, manifest.data(), found.size);
}

} // namespace sheen
