#include "platform/pe_image.h"

#include <algorithm>
#include <cstddef>

namespace sheen {

DWORD PeImage::Open(const std::wstring& path) {
    file_.reset(::CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_)
        return ::GetLastError();
    // A pipe or a device would make a read wait, or mean nothing.
    if (::GetFileType(file_.get()) != FILE_TYPE_DISK)
        return ERROR_BAD_EXE_FORMAT;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file_.get(), &size))
        return ::GetLastError();
    size_ = size.QuadPart;

    IMAGE_DOS_HEADER dos;
    if (const DWORD error = ReadAt(0, &dos, sizeof dos))
        return error;
    if (dos.e_magic != IMAGE_DOS_SIGNATURE)
        return ERROR_BAD_EXE_FORMAT;
    struct {
        DWORD signature;
        IMAGE_FILE_HEADER header;
    } pe;
    static_assert(sizeof pe == 24, "the PE signature and the file header, unpadded");
    const LONGLONG headers = dos.e_lfanew;
    if (const DWORD error = ReadAt(headers, &pe, sizeof pe))
        return error;
    if (pe.signature != IMAGE_NT_SIGNATURE)
        return ERROR_BAD_EXE_FORMAT;

    // As much of the optional header as the file header says there is.
    union {
        WORD magic;
        IMAGE_OPTIONAL_HEADER32 pe32;
        IMAGE_OPTIONAL_HEADER64 pe32plus;
    } optional = {};
    const DWORD optionalSize = std::min<DWORD>(pe.header.SizeOfOptionalHeader, sizeof optional);
    if (const DWORD error = ReadAt(headers + sizeof pe, &optional, optionalSize))
        return error;
    const IMAGE_DATA_DIRECTORY* directories = nullptr;
    DWORD count = 0;
    DWORD fixedSize = 0;
    // The fields read here lie in the part both kinds share, checked below.
    const auto fields = [&](const auto& header) {
        fileAlignment_ = header.FileAlignment;
        sectionAlignment_ = header.SectionAlignment;
        sizeOfHeaders_ = header.SizeOfHeaders;
        sizeOfImage_ = header.SizeOfImage;
        sizeOfInitializedData_ = header.SizeOfInitializedData;
        checksum_ = header.CheckSum;
    };
    if (optional.magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        fields(optional.pe32);
        directories = optional.pe32.DataDirectory;
        entryPoint_ = optional.pe32.AddressOfEntryPoint;
        count = optional.pe32.NumberOfRvaAndSizes;
        fixedSize = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
    } else if (optional.magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        is64_ = true;
        fields(optional.pe32plus);
        directories = optional.pe32plus.DataDirectory;
        entryPoint_ = optional.pe32plus.AddressOfEntryPoint;
        count = optional.pe32plus.NumberOfRvaAndSizes;
        fixedSize = offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory);
    } else {
        return ERROR_BAD_EXE_FORMAT;
    }
    if (optionalSize < fixedSize)
        return ERROR_BAD_EXE_FORMAT;
    directoryCount_ = std::min({count, DWORD(IMAGE_NUMBEROF_DIRECTORY_ENTRIES),
                                DWORD((optionalSize - fixedSize) / sizeof *directories)});
    std::copy_n(directories, directoryCount_, directories_);

    optionalHeaderAt_ = headers + sizeof pe;
    sectionTableAt_ = optionalHeaderAt_ + pe.header.SizeOfOptionalHeader;
    if (pe.header.NumberOfSections <= kMaxSections) {
        if (const DWORD error =
                ReadAt(sectionTableAt_, sections_, pe.header.NumberOfSections * sizeof *sections_))
            return error;
        sectionCount_ = pe.header.NumberOfSections;
    }
    machine_ = pe.header.Machine;
    return ERROR_SUCCESS;
}

IMAGE_DATA_DIRECTORY PeImage::Directory(DWORD index) const {
    return index < directoryCount_ ? directories_[index] : IMAGE_DATA_DIRECTORY{};
}

DWORD PeImage::ReadAtRva(ULONGLONG rva, void* buffer, DWORD size) const {
    LONGLONG offset = 0;
    if (const DWORD error = FileOffsetOfRva(rva, size, offset))
        return error;
    return ReadAt(offset, buffer, size);
}

DWORD PeImage::FileOffsetOfRva(ULONGLONG rva, DWORD size, LONGLONG& offset) const {
    for (WORD i = 0; i < sectionCount_; ++i) {
        const IMAGE_SECTION_HEADER& section = sections_[i];
        // What the loader maps of the file: its raw data, but no more than
        // the section's size in memory.
        ULONGLONG extent = section.SizeOfRawData;
        if (section.Misc.VirtualSize != 0)
            extent = std::min<ULONGLONG>(extent, section.Misc.VirtualSize);
        if (rva < section.VirtualAddress || rva - section.VirtualAddress > extent ||
            size > extent - (rva - section.VirtualAddress))
            continue;
        offset = LONGLONG(section.PointerToRawData + (rva - section.VirtualAddress));
        return ERROR_SUCCESS;
    }
    return ERROR_BAD_EXE_FORMAT;
}

DWORD PeImage::ReadClrFlags(DWORD& flags) const {
    const IMAGE_DATA_DIRECTORY directory = Directory(IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR);
    if (directory.VirtualAddress == 0)
        return ERROR_NOT_FOUND;
    IMAGE_COR20_HEADER header;
    if (const DWORD error = ReadAtRva(directory.VirtualAddress, &header, sizeof header))
        return error;
    if (header.cb < sizeof header)
        return ERROR_BAD_EXE_FORMAT;
    flags = header.Flags;
    return ERROR_SUCCESS;
}

// A read of exactly `size` bytes, all of them inside the file: a shorter file,
// or an offset from it that points elsewhere, is no program.
DWORD PeImage::ReadAt(LONGLONG offset, void* buffer, DWORD size) const {
    if (offset < 0 || offset > size_ || size > size_ - offset)
        return ERROR_BAD_EXE_FORMAT;
    OVERLAPPED at = {};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD read = 0;
    if (!::ReadFile(file_.get(), buffer, size, &read, &at))
        return ::GetLastError();
    return read == size ? ERROR_SUCCESS : ERROR_BAD_EXE_FORMAT;
}

} // namespace sheen
