#pragma once
// The capture's 32-bit frames as the H.264 encoder takes them: I420 (planar 4:2:0) in BT.601
// limited range, by libyuv's SIMD converter (about 1 ms a 1920 x 1080 frame); the stream's VUI
// says BT.601, so players turn it back into the same colours. H.264 in 4:2:0 needs even sizes:
// a frame of an odd width or height loses its last column or bottom row. No <windows.h>.
#include <cstdint>
#include <vector>

namespace orvik {

class BgraToI420 {
 public:
  // Frames of `width` x |height| pixels, rows of width * 4 bytes; bottom-up when `height` is
  // positive (a DIB's way), top-down when negative. False for a frame under 2 x 2 pixels.
  bool Open(int width, int height);
  // The picture's size: the frame's, made even.
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Converts one frame into the planes below; false when the converter failed.
  bool Convert(const uint8_t* bits);

  uint8_t* Plane(int i) { return planes_[i]; }
  int Stride(int i) const { return i == 0 ? width_ : width_ / 2; }

 private:
  int width_ = 0, height_ = 0;
  int rowBytes_ = 0, rows_ = 0;
  bool bottomUp_ = true;
  std::vector<uint8_t> buffer_;
  uint8_t* planes_[3] = {nullptr, nullptr, nullptr};
};

}  // namespace orvik
