#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <vector>
#include <string>

namespace sheen::test {

// A new empty folder under the temporary folder, removed with everything in it
// when the test ends.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::wstring& leaf = L"");
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder();

    const std::wstring& path() const { return path_; }
    // `name` inside the folder.
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }
    // The names of the entries directly inside the folder.
    std::set<std::wstring> Names() const;

  private:
    std::wstring path_;
};

// Makes `folder` immutable (chattr +i, for root on ext4) until Open() or the
// end of the scope: creating a file in it then fails with ERROR_ACCESS_DENIED,
// as in a folder only an administrator may write. Declare it after the
// ScratchFolder it guards.
class GuardedFolder {
  public:
    explicit GuardedFolder(const std::wstring& folder);
    ~GuardedFolder() { Open(); }
    // Lifts the guard, and waits until the folder takes new files again.
    void Open();

    std::string refusal; // why the folder could not be guarded; empty when it is

  private:
    std::wstring folder_;
    bool guarded_ = false;
};

// Directory symbolic links, made as any program of the user's may make them
// (ln -s, under Wine), removed at the end of the scope. Declare it after the
// ScratchFolder that holds them.
class FolderLinks {
  public:
    FolderLinks() = default;
    FolderLinks(const FolderLinks&) = delete;
    FolderLinks& operator=(const FolderLinks&) = delete;
    ~FolderLinks();
    // Makes `link` lead to the folder `sibling` beside it (a name), in place
    // of any link there; true once it does.
    bool Point(const std::wstring& link, const std::wstring& sibling);

  private:
    std::vector<std::wstring> links_;
};

// The names of the entries directly inside `folder` ("." and ".." left out).
std::set<std::wstring> NamesIn(const std::wstring& folder);
// Each file directly inside `folder` by name: its last-write time, then its
// bytes; so that two calls compare equal only where nothing was changed.
std::map<std::wstring, std::string> ContentsOf(const std::wstring& folder);

// Whole-file helpers; they fail the running test on error.
std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
// The file's bytes, or nothing if it cannot be read.
std::string ReadFileBytesIfAny(const std::wstring& path);
// A file of `size` bytes that costs no disk space: only its end is set.
void WriteSparseFile(const std::wstring& path, ULONGLONG size);
// A shell shortcut at `path` (a .lnk) pointing to `target`, as Explorer makes them.
void WriteShortcut(const std::wstring& path, const std::wstring& target);

// The file's last-write time.
FILETIME LastWriteTime(const std::wstring& path);
// Sets the file's last-write time to a day long past, and returns that.
FILETIME MakeOld(const std::wstring& path);

// Makes `folder` the current directory until the end of the scope.
class CurrentDirectoryScope {
  public:
    explicit CurrentDirectoryScope(const std::wstring& folder);
    CurrentDirectoryScope(const CurrentDirectoryScope&) = delete;
    CurrentDirectoryScope& operator=(const CurrentDirectoryScope&) = delete;
    ~CurrentDirectoryScope();

  private:
    std::wstring previous_;
};

} // namespace sheen::test
