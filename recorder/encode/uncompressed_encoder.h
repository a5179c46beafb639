#pragma once
// Frames stored as they were captured ("Full Frames" in the codec dialog): no codec, the pixels
// go to the file whole, from the capture's own buffer. 32-bit pixels get their fourth byte set
// first: GDI leaves it 0, which players of uncompressed frames read as transparency. No
// <windows.h>.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "recorder/encode/frame_encoder.h"

namespace orvik {

class UncompressedEncoder : public FrameEncoder {
 public:
  // `format`: the frames' BITMAPINFOHEADER (+ masks / palette), `frameBytes` of pixels each.
  UncompressedEncoder(std::vector<uint8_t> format, size_t frameBytes);

  bool Open() override;  // false for a format that is no bitmap's
  const EncodedVideo& Video() const override { return video_; }
  bool Encode(uint8_t* bits, bool bitsHaveRoom, EncodedFrame* out) override;
  void Close() override {}

 private:
  EncodedVideo video_;
  size_t frameBytes_;
  bool opaque_ = false;
};

// Sets the fourth byte of every 32-bit pixel to 255.
void MakeOpaque(uint8_t* bits, size_t bytes);

}  // namespace orvik
