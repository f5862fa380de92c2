#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace sheen::test {

// Sets a registry value for programs started from now on, and puts back what
// was there before (or nothing) when the scope ends.
class RegistryValueScope {
  public:
    RegistryValueScope(HKEY root, const std::wstring& key, const std::wstring& name,
                       const std::wstring& value);
    RegistryValueScope(HKEY root, const std::wstring& key, const std::wstring& name, DWORD value);
    RegistryValueScope(const RegistryValueScope&) = delete;
    RegistryValueScope& operator=(const RegistryValueScope&) = delete;
    ~RegistryValueScope();

  private:
    struct Value {
        DWORD type;
        std::vector<BYTE> bytes;
    };
    RegistryValueScope(HKEY root, const std::wstring& key, const std::wstring& name, Value value);
    void Set(const Value& value) const;

    HKEY key_ = nullptr;
    std::wstring name_;
    std::optional<Value> previous_;
};

} // namespace sheen::test
