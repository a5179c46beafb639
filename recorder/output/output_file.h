#pragma once
// Whether a recording's output file can be made, asked before the codec dialog so that a
// folder the user cannot write to is told apart from a codec that refuses the format. The
// check itself is Windows'; what it finds is plain values.
#include <cstdint>
#include <string>

namespace orvik {

// Why the output file of a recording cannot be made.
enum class OutputFileError {
  None,
  IsFolder,        // a folder has that name
  AccessDenied,    // the folder cannot be written to, or the file is read-only
  InUse,           // another program holds the file
  FolderNotFound,  // the folder is gone
  NameTooLong,
  DiskFull,
  InvalidName,
  Other,  // the caller adds the system's own description
};

struct OutputFileProblem {
  OutputFileError error = OutputFileError::None;
  uint32_t systemCode = 0;  // the system's error code, when it said one
};

// Checks that `path` can be written without touching what a file of that name holds now,
// and that its disk has `minimumFreeBytes` left.
OutputFileProblem CheckOutputFile(const std::wstring& path, uint64_t minimumFreeBytes);

}  // namespace orvik
