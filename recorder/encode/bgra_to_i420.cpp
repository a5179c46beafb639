#include "recorder/encode/bgra_to_i420.h"

#include <libyuv/convert_from_argb.h>

#include <cstdlib>

namespace orvik {

bool BgraToI420::Open(int width, int height) {
  if (width < 2 || height == 0 || height == INT32_MIN || std::abs(height) < 2) return false;
  rowBytes_ = width * 4;
  rows_ = std::abs(height);
  bottomUp_ = height > 0;
  width_ = width & ~1;
  height_ = rows_ & ~1;
  const size_t luma = static_cast<size_t>(width_) * height_;
  buffer_.assign(luma + luma / 2, 0);
  planes_[0] = buffer_.data();
  planes_[1] = planes_[0] + luma;
  planes_[2] = planes_[1] + luma / 4;
  return true;
}

// libyuv's ARGB is GDI's BGRA byte order (B, G, R, A in memory); the fourth byte, which GDI
// leaves 0, is not read. The chroma is the average of each 2 x 2 block.
bool BgraToI420::Convert(const uint8_t* bits) {
  if (buffer_.empty() || !bits) return false;
  // A bottom-up frame is read from its last row with a negative stride: the picture's top row
  // first, and an odd frame's bottom row (the first in memory) left out.
  const uint8_t* top = bottomUp_ ? bits + static_cast<size_t>(rows_ - 1) * rowBytes_ : bits;
  const int stride = bottomUp_ ? -rowBytes_ : rowBytes_;
  return libyuv::ARGBToI420(top, stride, planes_[0], Stride(0), planes_[1], Stride(1), planes_[2],
                            Stride(2), width_, height_) == 0;
}

}  // namespace orvik
