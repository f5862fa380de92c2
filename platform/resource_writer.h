#pragma once
// A program's bytes written anew with another manifest, by our own code: the
// resource directory laid out again as linkers lay it out, so that the same
// program gives the same bytes whatever system runs it. The system's resource
// update differs between Wine and each Windows.
//
// The header fields it changes, and no others: the optional header's CheckSum,
// SizeOfImage and SizeOfInitializedData; the resource directory entry's Size
// and the base relocation directory entry's VirtualAddress; in the section
// table the resources' section's VirtualSize and SizeOfRawData, and the
// relocations' section's VirtualAddress and PointerToRawData.

#include "platform/byte_sink.h"
#include "platform/pe_image.h"

#include <windows.h>

#include <string_view>

namespace sheen {

// The reasons a layout is refused, as codes of our own (the customer bit set).
// A section other than the relocations follows the resources' section.
inline constexpr DWORD kSectionAfterResources = 0x20000000 | 2;
// The resources' section holds something else the loader reads (another data
// directory, the entry point).
inline constexpr DWORD kResourcesShareSection = 0x20000000 | 3;

// Refuses, without writing, a program whose layout WriteWithManifest cannot
// change: kSectionAfterResources, kResourcesShareSection, ERROR_BAD_EXE_FORMAT
// for a resource directory that does not add up, ERROR_RESOURCE_DATA_NOT_FOUND
// for none. Returns ERROR_SUCCESS or the error of reading.
DWORD CheckResourceLayout(const PeImage& image);

// Puts through `sink`, in order, all the bytes of the program `image` with
// `manifest` as the data of RT_MANIFEST (24) 1 in `language`, which it must
// carry (else ERROR_RESOURCE_LANG_NOT_FOUND); every other resource's bytes
// unchanged, the directory laid out anew: named entries before ID entries, each
// ascending; the directories breadth first, the names, the data entries, then
// the data, each item aligned to 8 bytes. Bytes of the resources' section
// before the directory stay. Where the new directory fits in the section's raw
// data and its address space, it is written in place, zero-filled; else the
// section grows, and the relocations' section after it, if any, moves right
// after it with its bytes unchanged. Bytes after the last section follow as
// they were. The same input always gives the same bytes. Returns what
// CheckResourceLayout returns, the error of reading, or the sink's error.
DWORD WriteWithManifest(const PeImage& image, WORD language, std::string_view manifest,
                        ByteSink& sink);

} // namespace sheen
