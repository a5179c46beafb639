#include "toolkit/paths.h"

namespace tk {

namespace {
wchar_t UpperAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }
}  // namespace

std::wstring FolderOfFile(const std::wstring& path) {
  const size_t sep = path.find_last_of(L"\\/");
  if (sep == std::wstring::npos) return L"";
  // "C:\clip.avi": the drive's root keeps its separator, or "C:" would mean the current folder.
  if (sep == 2 && path[1] == L':') return path.substr(0, 3);
  if (sep == 0) return path.substr(0, 1);
  return path.substr(0, sep);
}

bool EndsInExtension(const std::wstring& name, const std::wstring& extension) {
  if (name.size() < extension.size()) return false;
  const size_t from = name.size() - extension.size();
  for (size_t i = 0; i < extension.size(); ++i)
    if (UpperAscii(name[from + i]) != UpperAscii(extension[i])) return false;
  return true;
}

}  // namespace tk
