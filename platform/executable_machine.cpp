#include "platform/executable_machine.h"

#include "platform/unique_handle.h"

namespace sheen {
namespace {

// Reads exactly `size` bytes at `offset`; a shorter file is not a program.
DWORD ReadAt(HANDLE file, LONGLONG offset, void* buffer, DWORD size) {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    if (!::SetFilePointerEx(file, position, nullptr, FILE_BEGIN))
        return ::GetLastError();
    DWORD read = 0;
    if (!::ReadFile(file, buffer, size, &read, nullptr))
        return ::GetLastError();
    return read == size ? ERROR_SUCCESS : ERROR_BAD_EXE_FORMAT;
}

} // namespace

DWORD ReadExecutableMachine(const std::wstring& path, WORD& machine) {
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return ::GetLastError();
    // A pipe or a device would make a read wait, or mean nothing.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK)
        return ERROR_BAD_EXE_FORMAT;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.get(), &size))
        return ::GetLastError();

    IMAGE_DOS_HEADER dos;
    if (const DWORD error = ReadAt(file.get(), 0, &dos, sizeof dos))
        return error;
    if (dos.e_magic != IMAGE_DOS_SIGNATURE)
        return ERROR_BAD_EXE_FORMAT;
    struct {
        DWORD signature;
        IMAGE_FILE_HEADER header;
    } pe;
    static_assert(sizeof pe == 24, "the PE signature and the file header, unpadded");
    const LONGLONG offset = dos.e_lfanew;
    if (offset < 0 || offset > size.QuadPart - LONGLONG(sizeof pe))
        return ERROR_BAD_EXE_FORMAT;
    if (const DWORD error = ReadAt(file.get(), offset, &pe, sizeof pe))
        return error;
    if (pe.signature != IMAGE_NT_SIGNATURE)
        return ERROR_BAD_EXE_FORMAT;
    machine = pe.header.Machine;
    return ERROR_SUCCESS;
}

} // namespace sheen
