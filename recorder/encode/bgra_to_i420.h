#pragma once
// The capture's 32-bit frames as the H.264 encoder takes them: I420 (planar 4:2:0) in BT.709
// limited range, by libswscale's SIMD converter. H.264 in 4:2:0 needs even sizes: a frame of an
// odd width or height loses its last column or bottom row. No <windows.h>.
#include <cstdint>
#include <vector>

struct SwsContext;

namespace orvik {

class BgraToI420 {
 public:
  BgraToI420() = default;
  ~BgraToI420();
  BgraToI420(const BgraToI420&) = delete;
  BgraToI420& operator=(const BgraToI420&) = delete;

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
  SwsContext* sws_ = nullptr;
  int width_ = 0, height_ = 0;
  int rowBytes_ = 0, rows_ = 0;
  bool bottomUp_ = true;
  std::vector<uint8_t> buffer_;
  uint8_t* planes_[3] = {nullptr, nullptr, nullptr};
};

}  // namespace orvik
