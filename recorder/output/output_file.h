#pragma once
// Whether a recording's output file can be made, asked before the codec dialog so that a
// folder the user cannot write to is told apart from a codec that refuses the format.
#include <windows.h>

#include <cstdint>
#include <string>

#include "frame/recording_text.h"

namespace orvik {

struct OutputFileProblem {
  OutputFileError error = OutputFileError::None;
  DWORD systemCode = 0;  // the system's error code, when it said one
};

// Checks that `path` can be written without touching what a file of that name holds now,
// and that its disk has `minimumFreeBytes` left.
OutputFileProblem CheckOutputFile(const std::wstring& path, uint64_t minimumFreeBytes);

}  // namespace orvik
