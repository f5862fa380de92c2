#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace sheen::test {

// Sets a string value in the Wine prefix's registry for programs started from
// now on, and puts back what was there before when the scope ends.
class RegistryValueScope {
  public:
    RegistryValueScope(HKEY root, const std::wstring& key, const std::wstring& name,
                       const std::wstring& value);
    RegistryValueScope(const RegistryValueScope&) = delete;
    RegistryValueScope& operator=(const RegistryValueScope&) = delete;
    ~RegistryValueScope();

  private:
    void Set(const std::wstring& value) const;
    HKEY key_ = nullptr;
    std::wstring name_;
    std::optional<std::wstring> previous_;
};

} // namespace sheen::test
