#include "support/scratch_folder.h"

#include "support/app_driver.h"

#include "platform/system_function.h"
#include "platform/unique_handle.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <winioctl.h>

#include <cstring>

namespace sheen::test {
namespace {

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                ::DeleteFileW(path.c_str());
        } while (::FindNextFileW(search, &entry));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(folder.c_str());
}

bool TakesNewFiles(const std::wstring& folder) {
    const UniqueFile probe(::CreateFileW((folder + L"\\~probe").c_str(), GENERIC_WRITE, 0, nullptr,
                                         CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return bool(probe);
}

// Runs the Linux command `command` with the Linux name of `path` after it.
// Wine runs a Linux program given by its path on drive Z:, but neither waits
// for it nor passes its exit code back: the shell leaves a mark beside `path`
// once the command is done.
bool RunOn(const std::wstring& path, const std::wstring& command) {
    const auto unixName = FindSystemFunction<char*(CDECL*)(const wchar_t*)>(
        L"kernel32.dll", "wine_get_unix_file_name");
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name)
        return false;
    const std::wstring unixPath(name, name + std::strlen(name)); // ASCII: ScratchFolder's names
    ::HeapFree(::GetProcessHeap(), 0, name);
    std::wstring commandLine =
        L"Z:\\bin\\sh -c \"" + command + L" '" + unixPath + L"'; touch '" + unixPath + L".done'\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
        return false;
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    const std::wstring done = path + L".done";
    const bool finished = WaitUntil(
        [&] { return ::GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000);
    ::DeleteFileW(done.c_str());
    return finished;
}

// The folder then tells whether chattr worked.
bool Chattr(const std::wstring& folder, const std::wstring& flag, bool writableAfter) {
    return RunOn(folder, L"chattr " + flag) && TakesNewFiles(folder) == writableAfter;
}

} // namespace

GuardedFolder::GuardedFolder(const std::wstring& folder)
    : folder_(folder), guarded_(Chattr(folder, L"+i", false)) {
    if (!guarded_)
        refusal = "chattr +i did not make the folder refuse new files (it needs root and ext4)";
}

FolderLinks::~FolderLinks() {
    for (const std::wstring& link : links_)
        if (!RunOn(link, L"rm -f"))
            ADD_FAILURE() << "cannot remove the link " << testing::PrintToString(link);
}

bool FolderLinks::Point(const std::wstring& link, const std::wstring& sibling) {
    if (!RunOn(link, L"ln -sfn '" + sibling + L"'"))
        return false;
    links_.push_back(link);
    const DWORD attributes = ::GetFileAttributesW(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void GuardedFolder::Open() {
    if (guarded_ && !Chattr(folder_, L"-i", true))
        ADD_FAILURE() << "chattr -i did not open the folder again";
    guarded_ = false;
}

ScratchFolder::ScratchFolder(const std::wstring& leaf) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        ADD_FAILURE() << "no temporary folder";
    static unsigned counter = 0;
    const std::wstring base = std::wstring(temp) + L"sheen-" +
                              std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++counter);
    path_ = leaf.empty() ? base : base + L"-" + leaf;
    if (!::CreateDirectoryW(path_.c_str(), nullptr))
        ADD_FAILURE() << "cannot create the scratch folder, error " << ::GetLastError();
}

ScratchFolder::~ScratchFolder() {
    RemoveTree(path_);
}

std::set<std::wstring> ScratchFolder::Names() const {
    return NamesIn(path_);
}

std::set<std::wstring> NamesIn(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..")
            names.insert(name);
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    return names;
}

std::string ReadFileBytes(const std::wstring& path) {
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        ADD_FAILURE() << "no such file, error " << ::GetLastError();
    return ReadFileBytesIfAny(path);
}

std::string ReadFileBytesIfAny(const std::wstring& path) {
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return {};
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file ||
        !::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) ||
        written != bytes.size())
        ADD_FAILURE() << "cannot write a test file, error " << ::GetLastError();
}

void WriteSparseFile(const std::wstring& path, ULONGLONG size) {
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    // Marked sparse, an NTFS file allocates nothing for the bytes never
    // written; Wine has no such flag, and Linux files are sparse anyway.
    DWORD returned = 0;
    ::DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    if (!file || !::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(file.get()))
        ADD_FAILURE() << "cannot make a large test file, error " << ::GetLastError();
}

void WriteShortcut(const std::wstring& path, const std::wstring& target) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link))) ||
        FAILED(link->SetPath(target.c_str())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) ||
        FAILED(file->Save(path.c_str(), TRUE)))
        ADD_FAILURE() << "cannot make a shortcut";
    if (file)
        file->Release();
    if (link)
        link->Release();
    ::CoUninitialize();
}

CurrentDirectoryScope::CurrentDirectoryScope(const std::wstring& folder) {
    wchar_t previous[MAX_PATH + 1];
    ::GetCurrentDirectoryW(MAX_PATH + 1, previous);
    previous_ = previous;
    if (!::SetCurrentDirectoryW(folder.c_str()))
        ADD_FAILURE() << "cannot enter the scratch folder";
}

CurrentDirectoryScope::~CurrentDirectoryScope() {
    ::SetCurrentDirectoryW(previous_.c_str());
}

std::map<std::wstring, std::string> ContentsOf(const std::wstring& folder) {
    std::map<std::wstring, std::string> contents;
    for (const std::wstring& name : NamesIn(folder)) {
        const FILETIME written = LastWriteTime(folder + L"\\" + name);
        contents[name] = std::to_string(written.dwHighDateTime) + ":" +
                         std::to_string(written.dwLowDateTime) + " " +
                         ReadFileBytesIfAny(folder + L"\\" + name);
    }
    return contents;
}

FILETIME LastWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    EXPECT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    return data.ftLastWriteTime;
}

FILETIME MakeOld(const std::wstring& path) {
    const SYSTEMTIME day = {2001, 10, 0, 25, 12, 0, 0, 0};
    FILETIME old = {};
    ::SystemTimeToFileTime(&day, &old);
    const UniqueFile file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(file && ::SetFileTime(file.get(), nullptr, nullptr, &old));
    return old;
}

} // namespace sheen::test
