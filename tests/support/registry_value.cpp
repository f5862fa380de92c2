#include "support/registry_value.h"

#include <gtest/gtest.h>

namespace sheen::test {

RegistryValueScope::RegistryValueScope(HKEY root, const std::wstring& key, const std::wstring& name,
                                       const std::wstring& value)
    : name_(name) {
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &key_, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open the registry key";
        return;
    }
    wchar_t old[256];
    DWORD size = sizeof old;
    DWORD type = 0;
    if (RegQueryValueExW(key_, name_.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(old),
                         &size) == ERROR_SUCCESS &&
        type == REG_SZ)
        previous_ = std::wstring(old, size / sizeof(wchar_t)).c_str();
    Set(value);
}

RegistryValueScope::~RegistryValueScope() {
    if (!key_)
        return;
    if (previous_)
        Set(*previous_);
    else
        RegDeleteValueW(key_, name_.c_str());
    RegCloseKey(key_);
}

void RegistryValueScope::Set(const std::wstring& value) const {
    RegSetValueExW(key_, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

} // namespace sheen::test
