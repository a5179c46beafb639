#include "recorder/encode/uncompressed_encoder.h"

#include <cstdlib>

#include "toolkit/bmp_format.h"

namespace orvik {

namespace {
constexpr uint32_t kDibFourcc = 0x20424944;  // 'DIB '
}  // namespace

void MakeOpaque(uint8_t* bits, size_t bytes) {
  for (size_t i = 3; i < bytes; i += 4) bits[i] = 0xFF;  // little-endian B, G, R, A
}

UncompressedEncoder::UncompressedEncoder(std::vector<uint8_t> format, size_t frameBytes)
    : frameBytes_(frameBytes) {
  video_.fourcc = kDibFourcc;
  video_.format = std::move(format);
}

bool UncompressedEncoder::Open() {
  if (video_.format.size() < bmp::kInfoHeaderSize || frameBytes_ == 0 || frameBytes_ > UINT32_MAX)
    return false;
  const bmp::InfoHeader h = bmp::DecodeInfoHeader(video_.format.data());
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return false;
  video_.width = static_cast<uint32_t>(h.biWidth);
  video_.height = static_cast<uint32_t>(std::abs(h.biHeight));
  opaque_ = h.biBitCount == 32 && h.biCompression == bmp::kBiRgb;
  return true;
}

bool UncompressedEncoder::Encode(uint8_t* bits, bool bitsHaveRoom, EncodedFrame* out) {
  if (!bits) return false;
  if (opaque_) MakeOpaque(bits, frameBytes_);
  *out = EncodedFrame{bits, static_cast<uint32_t>(frameBytes_), bitsHaveRoom, true};
  return true;
}

}  // namespace orvik
