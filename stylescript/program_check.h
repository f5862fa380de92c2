#pragma once
// Whether a changed program is its original with a new manifest and nothing
// else the loader reads changed: read back from the file, trusting nothing
// in it, before it may take the original's place or be taken back.

#include "platform/pe_image.h"

#include <windows.h>

#include <string_view>

namespace sheen {

// Whether `changed` is `original` with `manifest` as its RT_MANIFEST 1 in
// `language`. Every byte before the resources' section is the same but for
// the header fields the resource writer changes (the checksum, SizeOfImage,
// SizeOfInitializedData, the resources' directory size, the relocations'
// directory address, the resources' section's sizes and the relocations'
// section's place); every other section's bytes are the same, the
// relocations' where they moved too (with their directory); every other
// resource is the same; the tree lies inside the resources' section; no two
// sections overlap; the file ends where its last section does; and the
// checksum is right.
bool IsOriginalWithManifest(const PeImage& original, const PeImage& changed, WORD language,
                            std::string_view manifest);

// Whether `program` is, byte for byte, what the resource writer makes of
// `original` with `manifest` as its manifest in `language`.
bool IsWrittenFrom(const PeImage& original, WORD language, std::string_view manifest,
                   const PeImage& program);

} // namespace sheen
