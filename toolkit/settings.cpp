#include "toolkit/settings.h"

#include <windows.h>

#include <vector>

namespace tk {

namespace {
// Longer texts are not ours: a path is at most 32767 characters, and a value holds two.
constexpr DWORD kMaxTextBytes = 3 * 32768 * sizeof(wchar_t);

bool Write(const std::wstring& subKey, const std::wstring& name, DWORD type, const void* data,
           DWORD bytes) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG r = RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes);
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}
}  // namespace

std::optional<uint32_t> Settings::ReadNumber(const std::wstring& name) const {
  DWORD value = 0;
  DWORD bytes = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, subKey_.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr,
                   &value, &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::wstring> Settings::ReadText(const std::wstring& name) const {
  DWORD bytes = 0;
  // RegGetValue adds the terminating NUL that a stored REG_SZ may lack.
  if (RegGetValueW(HKEY_CURRENT_USER, subKey_.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr,
                   nullptr, &bytes) != ERROR_SUCCESS ||
      bytes > kMaxTextBytes) {
    return std::nullopt;
  }
  std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CURRENT_USER, subKey_.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr,
                   text.data(), &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(text.data());
}

bool Settings::WriteNumber(const std::wstring& name, uint32_t value) const {
  const DWORD v = value;
  return Write(subKey_, name, REG_DWORD, &v, sizeof v);
}

bool Settings::WriteText(const std::wstring& name, const std::wstring& value) const {
  const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  if (bytes > kMaxTextBytes) return false;
  return Write(subKey_, name, REG_SZ, value.c_str(), bytes);
}

std::vector<std::wstring> Settings::ValueNames() const {
  std::vector<std::wstring> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey_.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return names;
  wchar_t name[16384];  // the longest value name the registry allows, and its NUL
  for (DWORD i = 0;; ++i) {
    DWORD chars = 16384;
    if (RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    names.emplace_back(name, chars);
  }
  RegCloseKey(key);
  return names;
}

bool Settings::Remove(const std::wstring& name) const {
  const LONG r = RegDeleteKeyValueW(HKEY_CURRENT_USER, subKey_.c_str(), name.c_str());
  return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

bool Settings::Clear() const {
  // With a subkey named, RegDeleteTree removes that key itself as well.
  const LONG r = RegDeleteTreeW(HKEY_CURRENT_USER, subKey_.c_str());
  return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

}  // namespace tk
