#pragma once
// Windows paths as text: their folder and their extension. No <windows.h>.
#include <string>

namespace tk {

// The folder part of a file's path, without the trailing separator ("C:\" for a file in a
// drive's root); empty when the path names no folder.
std::wstring FolderOfFile(const std::wstring& path);
// Whether `name` ends in `extension` (".mp4"), without regard to the case of its letters.
bool EndsInExtension(const std::wstring& name, const std::wstring& extension);

}  // namespace tk
