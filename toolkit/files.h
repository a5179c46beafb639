#pragma once
// Binary files: existence, length, deletion, reads and writes at offsets.
// Opening tells apart "not found", "permission denied" and other errors.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "toolkit/handles.h"

namespace tk {

enum class OpenError { None, NotFound, PermissionDenied, Other };

enum class FileMode {
  Read,       // existing file, read only, others may read and write
  ReadWrite,  // created when missing, never shortened
  Update,     // existing file, read and written, others may only read meanwhile
  Replace,    // created or emptied, then written
  CreateNew,  // made new (never an existing file), written, and open to be renamed
};

class File {
 public:
  File() = default;
  static File Open(const std::wstring& path, FileMode mode, OpenError* error = nullptr,
                   DWORD* win32Error = nullptr);

  bool IsOpen() const { return static_cast<bool>(h_); }
  std::optional<uint64_t> Length() const;
  // Reads exactly `size` bytes at `offset`; false on error or a short read.
  bool ReadAt(uint64_t offset, void* data, size_t size) const;
  // Writes exactly `size` bytes at `offset`.
  bool WriteAt(uint64_t offset, const void* data, size_t size);
  bool Truncate(uint64_t length);
  // Gives the open file (CreateNew) the name `path`, replacing a file of that name.
  bool Rename(const std::wstring& path);
  // The file itself, whatever its name: its volume's serial number and its index on it.
  struct Identity {
    uint32_t volume = 0;
    uint64_t index = 0;
  };
  std::optional<Identity> Identify() const;
  void Close() { h_.reset(); }
  HANDLE handle() const { return h_.get(); }

 private:
  UniqueFile h_;
};

// The length of the named file, when it can be read (a 0-byte file has length 0).
std::optional<uint64_t> FileLength(const std::wstring& path);
inline bool FileExists(const std::wstring& path) { return FileLength(path).has_value(); }
bool RemoveFile(const std::wstring& path);
// `path` in the form that passes MAX_PATH ("\\?\C:\..." or "\\?\UNC\server\...") when it
// is that long and absolute; as it is otherwise. The functions above use it themselves.
std::wstring LongPath(const std::wstring& path);

bool FolderExists(const std::wstring& path);
// True when a file can be made in the folder (tried with a temporary file that is removed).
bool FolderIsWritable(const std::wstring& path);
// The user's Videos folder; where the system has none (older Wine prefixes), the Documents
// folder, then the profile folder; empty when none exists.
std::wstring UserVideosFolder();

// The system's description of an error code, without a trailing line break.
std::wstring ErrorText(DWORD code);

// Runs a command line with the given show state (SW_SHOWNORMAL = 1). False when it
// could not be started; the started program is not waited for.
bool RunCommand(const std::wstring& commandLine, int showState);

}  // namespace tk
