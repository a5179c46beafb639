#pragma once
// Values the program keeps between runs, under one key of HKEY_CURRENT_USER. A value that is
// missing, of another type or unreadable reads as nothing stored; the caller decides what
// that means.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tk {

class Settings {
 public:
  // `subKey` below HKEY_CURRENT_USER, e.g. L"Software\\Orvik".
  explicit Settings(std::wstring subKey) : subKey_(std::move(subKey)) {}

  std::optional<uint32_t> ReadNumber(const std::wstring& name) const;    // REG_DWORD
  std::optional<std::wstring> ReadText(const std::wstring& name) const;  // REG_SZ
  // The key is created when missing. False when the system refused.
  bool WriteNumber(const std::wstring& name, uint32_t value) const;
  bool WriteText(const std::wstring& name, const std::wstring& value) const;
  // The names of the values under the key; none when it is missing.
  std::vector<std::wstring> ValueNames() const;
  // Removes one value; true when it is gone (or never was).
  bool Remove(const std::wstring& name) const;
  // Removes the key and everything under it; true when it is gone (or never was).
  bool Clear() const;

  const std::wstring& SubKey() const { return subKey_; }

 private:
  std::wstring subKey_;
};

}  // namespace tk
