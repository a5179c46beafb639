#include "toolkit/files.h"

#include <shlobj.h>

#include <cstring>
#include <vector>

namespace tk {

namespace {
OpenError Classify(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return OpenError::NotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return OpenError::PermissionDenied;
    default:
      return OpenError::Other;
  }
}
}  // namespace

File File::Open(const std::wstring& path, FileMode mode, OpenError* error, DWORD* win32Error) {
  DWORD access = GENERIC_READ;
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  DWORD disposition = OPEN_EXISTING;
  if (mode == FileMode::ReadWrite) {
    access |= GENERIC_WRITE;
    share = FILE_SHARE_READ;
    disposition = OPEN_ALWAYS;
  } else if (mode == FileMode::Update) {
    access |= GENERIC_WRITE;
    share = FILE_SHARE_READ;
  } else if (mode == FileMode::Replace) {
    access |= GENERIC_WRITE;
    share = FILE_SHARE_READ;
    disposition = CREATE_ALWAYS;
  } else if (mode == FileMode::CreateNew) {
    access |= GENERIC_WRITE | DELETE;
    share = FILE_SHARE_READ | FILE_SHARE_DELETE;
    disposition = CREATE_NEW;
  }
  File f;
  f.h_.reset(CreateFileW(LongPath(path).c_str(), access, share, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD code = f.IsOpen() ? 0 : GetLastError();
  if (error) *error = f.IsOpen() ? OpenError::None : Classify(code);
  if (win32Error) *win32Error = code;
  return f;
}

std::optional<uint64_t> File::Length() const {
  LARGE_INTEGER size;
  if (!IsOpen() || !GetFileSizeEx(h_.get(), &size)) return std::nullopt;
  return static_cast<uint64_t>(size.QuadPart);
}

bool File::ReadAt(uint64_t offset, void* data, size_t size) const {
  auto* p = static_cast<char*>(data);
  while (size > 0) {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD got = 0;
    if (!ReadFile(h_.get(), p, chunk, &got, &ov) || got == 0) return false;
    p += got;
    offset += got;
    size -= got;
  }
  return true;
}

bool File::WriteAt(uint64_t offset, const void* data, size_t size) {
  auto* p = static_cast<const char*>(data);
  while (size > 0) {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD put = 0;
    if (!WriteFile(h_.get(), p, chunk, &put, &ov) || put == 0) return false;
    p += put;
    offset += put;
    size -= put;
  }
  return true;
}

bool File::Truncate(uint64_t length) {
  LARGE_INTEGER pos;
  pos.QuadPart = static_cast<LONGLONG>(length);
  return SetFilePointerEx(h_.get(), pos, nullptr, FILE_BEGIN) && SetEndOfFile(h_.get());
}

bool File::Rename(const std::wstring& path) {
  const std::wstring target = LongPath(path);
  const size_t nameBytes = target.size() * sizeof(wchar_t);
  std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(info->FileName, target.data(), nameBytes);
  return SetFileInformationByHandle(h_.get(), FileRenameInfo, info,
                                    static_cast<DWORD>(buffer.size())) != 0;
}

std::optional<File::Identity> File::Identify() const {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!IsOpen() || !GetFileInformationByHandle(h_.get(), &info)) return std::nullopt;
  return Identity{info.dwVolumeSerialNumber,
                  static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

std::optional<uint64_t> FileLength(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool RemoveFile(const std::wstring& path) { return DeleteFileW(LongPath(path).c_str()) != 0; }

std::wstring LongPath(const std::wstring& path) {
  static const std::wstring kLong = L"\\\\?\\";
  if (path.size() < MAX_PATH || path.rfind(kLong, 0) == 0) return path;
  std::wstring p = path;  // the long form takes no forward slashes
  for (wchar_t& c : p) {
    if (c == L'/') c = L'\\';
  }
  if (p.size() > 2 && p[1] == L':' && p[2] == L'\\') return kLong + p;
  if (p.rfind(L"\\\\", 0) == 0) return kLong + L"UNC\\" + p.substr(2);
  return path;  // relative: only the short form can resolve it
}

std::wstring ErrorText(DWORD code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring s = n ? std::wstring(text, n) : L"Error " + std::to_wstring(code);
  if (text) LocalFree(text);
  while (!s.empty() && (s.back() == L'\n' || s.back() == L'\r' || s.back() == L' ')) s.pop_back();
  return s;
}

bool RunCommand(const std::wstring& commandLine, int showState) {
  std::vector<wchar_t> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back(L'\0');
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(showState);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderIsWritable(const std::wstring& path) {
  if (path.empty() || !FolderExists(path)) return false;
  std::wstring probe = path;
  if (probe.back() != L'\\' && probe.back() != L'/') probe += L'\\';
  probe += L"~orvik-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  UniqueFile f(CreateFileW(LongPath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return static_cast<bool>(f);
}

std::wstring UserVideosFolder() {
  for (const KNOWNFOLDERID* id : {&FOLDERID_Videos, &FOLDERID_Documents, &FOLDERID_Profile}) {
    PWSTR found = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(*id, KF_FLAG_DEFAULT, nullptr, &found);
    std::wstring path = SUCCEEDED(hr) && found ? found : L"";
    CoTaskMemFree(found);
    if (!path.empty() && FolderExists(path)) return path;
  }
  return L"";
}

}  // namespace tk
