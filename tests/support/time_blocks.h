#pragma once
// The time pattern painted by the test pattern window and read back from decoded frames.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

constexpr int kBlock = 8;  // pixels per block side
constexpr int kBlocksWidth = 32 * kBlock;
constexpr int kBlocksHeight = 3 * kBlock;
// The pattern window: the blocks inside a solid margin of a colour nothing else uses.
constexpr int kMargin = 16;
constexpr int kPatternWidth = kBlocksWidth + 2 * kMargin;
constexpr int kPatternHeight = kBlocksHeight + 2 * kMargin;
constexpr COLORREF kMarginColor = RGB(255, 0, 255);

// Milliseconds of the performance counter: the same clock in every process of the machine.
inline uint32_t NowMs() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<uint32_t>(c.QuadPart / (f.QuadPart / 1000));
}

// Reads the time from a top-down BGR24 frame whose pattern's top-left corner is at (x, y).
// Empty when the pattern is not there or was captured half-painted.
std::optional<uint32_t> ReadTimeBlocks(const std::vector<uint8_t>& bgr, int width, int height,
                                       int x, int y);

// The frames of a recording, cropped to a region (top-down BGR24), each with its stream
// position (pts, in frames of 100 ms). Empty on failure.
struct RegionFrames {
  int width = 0, height = 0;
  std::vector<long> pts;
  std::vector<std::vector<uint8_t>> frames;
};
RegionFrames DecodeRegion(const std::wstring& aviPath, int x, int y, int width, int height);

}  // namespace testsupport
