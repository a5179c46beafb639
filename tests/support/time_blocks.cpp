#include "support/time_blocks.h"

namespace testsupport {

namespace {
// 1 for white, 0 for black, -1 for anything else (grey, half-drawn, not the pattern).
int BlockBit(const std::vector<uint8_t>& bgr, int width, int height, int cx, int cy) {
  if (cx < 0 || cy < 0 || cx >= width || cy >= height) return -1;
  const size_t i = (static_cast<size_t>(cy) * width + cx) * 3;
  const int v = (bgr[i] + bgr[i + 1] + bgr[i + 2]) / 3;
  if (v > 200) return 1;
  if (v < 55) return 0;
  return -1;
}
}  // namespace

std::optional<uint32_t> ReadTimeBlocks(const std::vector<uint8_t>& bgr, int width, int height,
                                       int x, int y) {
  uint32_t value = 0;
  for (int bit = 0; bit < 32; ++bit) {
    const int cx = x + bit * kBlock + kBlock / 2;
    const int a = BlockBit(bgr, width, height, cx, y + kBlock / 2);
    const int b = BlockBit(bgr, width, height, cx, y + kBlock + kBlock / 2);
    if (a < 0 || b < 0 || a == b) return std::nullopt;
    value = (value << 1) | static_cast<uint32_t>(a);
  }
  return value;
}

}  // namespace testsupport
