#pragma once
// A program's file read as a PE image without the loader: a file the user
// points at may be damaged or made to harm, so nothing in it is trusted.

#include "platform/unique_handle.h"

#include <windows.h>

#include <string>

namespace sheen {

class PeImage {
  public:
    // Opens the file at `path` and reads its headers: the DOS header, the PE
    // signature, the file header, the optional header (PE32 or PE32+) and the
    // section table. Every read has a fixed size, at most the size of the
    // structure read, and is checked against the file's size before it is made.
    // Returns ERROR_SUCCESS; ERROR_BAD_EXE_FORMAT for anything that is not a
    // disk file holding these whole; or the error of opening it.
    DWORD Open(const std::wstring& path);

    // The processor the image is built for (IMAGE_FILE_MACHINE_*).
    WORD machine() const { return machine_; }
    // The data directory `index` (IMAGE_DIRECTORY_ENTRY_*); zero where the
    // image has none.
    IMAGE_DATA_DIRECTORY Directory(DWORD index) const;
    // Reads exactly `size` bytes at the relative virtual address `rva`; all of
    // them must lie in the file's data of one section. Returns ERROR_SUCCESS or
    // ERROR_BAD_EXE_FORMAT.
    DWORD ReadAtRva(ULONGLONG rva, void* buffer, DWORD size) const;
    // Sets `flags` to the COMIMAGE_FLAGS_* of a .NET program's CLR header.
    // Returns ERROR_SUCCESS; ERROR_NOT_FOUND where the image has none; or
    // ERROR_BAD_EXE_FORMAT.
    DWORD ReadClrFlags(DWORD& flags) const;

    // The file's size, the entry point's RVA, and the section table as read
    // (empty beyond kMaxSections).
    LONGLONG fileSize() const { return size_; }
    DWORD entryPoint() const { return entryPoint_; }
    WORD sectionCount() const { return sectionCount_; }
    const IMAGE_SECTION_HEADER& section(WORD index) const { return sections_[index]; }
    // Reads exactly `size` bytes at `offset` of the file, all of them inside
    // it. Returns ERROR_SUCCESS, ERROR_BAD_EXE_FORMAT, or the error of reading.
    DWORD ReadAt(LONGLONG offset, void* buffer, DWORD size) const;
    // Sets `offset` to the file offset of the `size` bytes at `rva`, under the
    // same rule as ReadAtRva. Returns ERROR_SUCCESS or ERROR_BAD_EXE_FORMAT.
    DWORD FileOffsetOfRva(ULONGLONG rva, DWORD size, LONGLONG& offset) const;

    // The optional header's fields as read, and where the headers lie in the
    // file, for whoever writes the program anew.
    LONGLONG optionalHeaderAt() const { return optionalHeaderAt_; }
    bool is64() const { return is64_; }
    DWORD fileAlignment() const { return fileAlignment_; }
    DWORD sectionAlignment() const { return sectionAlignment_; }
    DWORD sizeOfHeaders() const { return sizeOfHeaders_; }
    DWORD sizeOfImage() const { return sizeOfImage_; }
    DWORD sizeOfInitializedData() const { return sizeOfInitializedData_; }
    DWORD checksum() const { return checksum_; }
    LONGLONG sectionTableAt() const { return sectionTableAt_; }

  private:
    // The Windows XP loader's limit; newer ones allow more, but no linker
    // makes them. Beyond it no section is read, so no RVA can be.
    static constexpr WORD kMaxSections = 96;

    UniqueFile file_;
    LONGLONG size_ = 0;
    WORD machine_ = 0;
    DWORD entryPoint_ = 0;
    LONGLONG optionalHeaderAt_ = 0;
    bool is64_ = false;
    DWORD fileAlignment_ = 0;
    DWORD sectionAlignment_ = 0;
    DWORD sizeOfHeaders_ = 0;
    DWORD sizeOfImage_ = 0;
    DWORD sizeOfInitializedData_ = 0;
    DWORD checksum_ = 0;
    LONGLONG sectionTableAt_ = 0;
    DWORD directoryCount_ = 0;
    IMAGE_DATA_DIRECTORY directories_[IMAGE_NUMBEROF_DIRECTORY_ENTRIES] = {};
    WORD sectionCount_ = 0;
    IMAGE_SECTION_HEADER sections_[kMaxSections] = {};
};

} // namespace sheen
