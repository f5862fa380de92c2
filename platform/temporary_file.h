#pragma once
// Files that are there only for a while: a temporary file beside its
// destination, which one rename puts in its place, and a deletion that takes
// back whatever a step that did not finish left behind.

#include "platform/file_replace.h"
#include "platform/unique_handle.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

namespace sheen {

// Creates, opened for reading and writing without sharing, a file of a name
// nobody else uses in the folder of `destination`, and sets `path` to it.
DWORD CreateFileBeside(const std::wstring& destination, UniqueFile& file, std::wstring& path);

// Sets `name` to a name in the folder of `destination` that no file has.
DWORD FreeNameBeside(const std::wstring& destination, std::wstring& name);

// Deletes the file at `path` at the end of its scope, unless kept: so every
// way out of a step that did not finish takes back what it made. With
// `onlyWhileSameAs`, the file goes only while the one there holds the same
// bytes, so that it never takes the last copy of anything.
class ScopedDeletion {
  public:
    ScopedDeletion() = default;
    explicit ScopedDeletion(std::wstring path, std::wstring onlyWhileSameAs = {})
        : path_(std::move(path)), sameAs_(std::move(onlyWhileSameAs)) {}
    ScopedDeletion(ScopedDeletion&& other) noexcept
        : path_(std::exchange(other.path_, {})), sameAs_(std::move(other.sameAs_)) {}
    ScopedDeletion& operator=(ScopedDeletion&& other) noexcept;
    ScopedDeletion(const ScopedDeletion&) = delete;
    ScopedDeletion& operator=(const ScopedDeletion&) = delete;
    ~ScopedDeletion() { DeleteUnlessKept(); }

    const std::wstring& path() const { return path_; }
    void Keep() { path_.clear(); }

  private:
    void DeleteUnlessKept();

    std::wstring path_;
    std::wstring sameAs_;
};

// A temporary file that is deleted again unless it was renamed into place.
class TemporaryFile {
  public:
    // Creates a file of a name nobody else uses in the folder of `destination`.
    DWORD Create(const std::wstring& destination);
    const std::wstring& path() const { return deletion_.path(); }
    HANDLE handle() const { return file_.get(); }
    // Writes all of `bytes` after what was written before.
    DWORD Write(std::string_view bytes);
    // Writes all of `source`'s bytes, from its first, a chunk at a time.
    DWORD WriteAllOf(HANDLE source);
    // Forces what was written to the disk, and closes the file; with `stamp`,
    // that becomes its last-write time, which the rename keeps.
    DWORD Close(const FILETIME* stamp = nullptr);
    // Rename (see there), after which the file is no longer temporary.
    DWORD RenameTo(const std::wstring& destination, IfExisting ifExisting);

  private:
    ScopedDeletion deletion_; // after the file is closed
    UniqueFile file_;
};

} // namespace sheen
