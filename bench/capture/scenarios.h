#pragma once
// The scenarios the runner chooses between by its fourth option, a file each.
#include <string>
#include <vector>

#include "measure.h"

namespace capture_bench {

// No fourth option: floor_and_ffmpeg.cpp.
void CompareWithTheFloorAndFfmpeg(const Servers& servers, const std::wstring& dir);
// "sound", "clicks", "keys", "face", "follow": a recording made two ways, back to back.
void CompareSound(const Servers& servers, const std::wstring& dir);
void CompareClicks(const Servers& servers, const std::wstring& dir);
void CompareKeys(const Servers& servers, const std::wstring& dir);
void CompareFace(const Servers& servers, const std::wstring& dir);
void CompareFollow(const Servers& servers, const std::wstring& dir);
// "mp4", at each of `rates`.
void CompareMp4(const Servers& servers, const std::wstring& dir, const std::vector<int>& rates);

}  // namespace capture_bench
