#pragma once
// Move-only owners of Win32 handles: each handle is closed exactly once.

#include <windows.h>

#include <cstdint>
#include <utility>

namespace sheen {

// `EmptyValue` is the handle kind's "no handle" value, as an integer because
// INVALID_HANDLE_VALUE is not a constant expression.
template <typename T, auto Close, std::intptr_t EmptyValue> class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(T value) : value_(value) {}
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    static T Empty() { return reinterpret_cast<T>(EmptyValue); }
    T get() const { return value_; }
    explicit operator bool() const { return value_ != Empty(); }
    T release() { return std::exchange(value_, Empty()); }
    void reset(T value = Empty()) {
        if (T old = std::exchange(value_, value); old != Empty())
            Close(old);
    }

  private:
    T value_ = Empty();
};

// Out of line, so that an owner used outside platform/ reaches the system
// only through here.
void CloseKernelObject(HANDLE handle);

inline void DeleteGdiObject(HGDIOBJ object) {
    ::DeleteObject(object);
}

template <typename Interface> void ReleaseComObject(Interface* object) {
    object->Release();
}

using UniqueFile = UniqueHandle<HANDLE, &CloseKernelObject, -1>; // empty: INVALID_HANDLE_VALUE
using UniqueKernelHandle =
    UniqueHandle<HANDLE, &CloseKernelObject, 0>; // processes, threads, events
using UniqueFind = UniqueHandle<HANDLE, &::FindClose, -1>;
using UniqueWindow = UniqueHandle<HWND, &::DestroyWindow, 0>;
using UniqueFont = UniqueHandle<HFONT, &DeleteGdiObject, 0>;
using UniqueIcon = UniqueHandle<HICON, &::DestroyIcon, 0>;
using UniqueLocalMemory = UniqueHandle<HLOCAL, &::LocalFree, 0>;
using UniqueActivationContext = UniqueHandle<HANDLE, &::ReleaseActCtx, -1>;
using UniqueModule = UniqueHandle<HMODULE, &::FreeLibrary, 0>;
using UniqueRegistryKey = UniqueHandle<HKEY, &::RegCloseKey, 0>;
using UniqueMappedView = UniqueHandle<void*, &::UnmapViewOfFile, 0>;
template <typename Interface>
using UniqueComPointer = UniqueHandle<Interface*, &ReleaseComObject<Interface>, 0>;

} // namespace sheen
