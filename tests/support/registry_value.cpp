#include "support/registry_value.h"

#include <gtest/gtest.h>

namespace sheen::test {

RegistryValueScope::RegistryValueScope(HKEY root, const std::wstring& key, const std::wstring& name,
                                       const std::wstring& value)
    : RegistryValueScope(
          root, key, name,
          Value{REG_SZ, std::vector<BYTE>(
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            reinterpret_cast<const BYTE*>(value.c_str() + value.size() + 1))}) {}

RegistryValueScope::RegistryValueScope(HKEY root, const std::wstring& key, const std::wstring& name,
                                       DWORD value)
    : RegistryValueScope(
          root, key, name,
          Value{REG_DWORD, std::vector<BYTE>(reinterpret_cast<const BYTE*>(&value),
                                             reinterpret_cast<const BYTE*>(&value + 1))}) {}

RegistryValueScope::RegistryValueScope(HKEY root, const std::wstring& key, const std::wstring& name,
                                       Value value)
    : name_(name) {
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &key_, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open the registry key";
        key_ = nullptr;
        return;
    }
    Value old{0, std::vector<BYTE>(1024)};
    DWORD size = static_cast<DWORD>(old.bytes.size());
    if (RegQueryValueExW(key_, name_.c_str(), nullptr, &old.type, old.bytes.data(), &size) ==
        ERROR_SUCCESS) {
        old.bytes.resize(size);
        previous_ = std::move(old);
    }
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

void RegistryValueScope::Set(const Value& value) const {
    RegSetValueExW(key_, name_.c_str(), 0, value.type, value.bytes.data(),
                   static_cast<DWORD>(value.bytes.size()));
}

} // namespace sheen::test
