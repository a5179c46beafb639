#include "recorder/output/output_file.h"

#include "toolkit/files.h"
#include "toolkit/handles.h"
#include "toolkit/paths.h"

namespace orvik {

namespace {

OutputFileError FromSystem(DWORD code) {
  switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return OutputFileError::AccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return OutputFileError::InUse;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return OutputFileError::FolderNotFound;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
      return OutputFileError::NameTooLong;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return OutputFileError::DiskFull;
    case ERROR_INVALID_NAME:
      return OutputFileError::InvalidName;
    default:
      return OutputFileError::Other;
  }
}

OutputFileProblem Problem(OutputFileError error, DWORD code = 0) { return {error, code}; }

}  // namespace

OutputFileProblem CheckOutputFile(const std::wstring& path, uint64_t minimumFreeBytes) {
  const std::wstring longPath = tk::LongPath(path);
  const DWORD attributes = GetFileAttributesW(longPath.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Problem(OutputFileError::IsFolder);
  // An existing file is opened for writing without being shortened, and as a rename over it
  // opens it (a player that holds it may forbid that); a new name is made and removed again.
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  tk::UniqueFile probe(CreateFileW(longPath.c_str(), GENERIC_WRITE | (exists ? DELETE : 0),
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   exists ? OPEN_EXISTING : CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
  if (!probe) {
    const DWORD code = GetLastError();
    return Problem(FromSystem(code), code);
  }
  probe.reset();
  if (!exists) tk::RemoveFile(path);

  ULARGE_INTEGER available{};
  const std::wstring folder = tk::LongPath(tk::FolderOfFile(path));
  if (GetDiskFreeSpaceExW(folder.empty() ? nullptr : folder.c_str(), &available, nullptr,
                          nullptr) &&
      available.QuadPart < minimumFreeBytes)
    return Problem(OutputFileError::DiskFull, ERROR_DISK_FULL);
  return {};
}

}  // namespace orvik
