#pragma once
// BMP file layout: building the headers pictures are saved with, and checking a BMP held
// in memory before any of it is handed to GDI. No <windows.h>: built natively too.
//
// What this program writes (Picture::SaveBmp, PictureBox::SaveLayerAsBmp):
//   offset 0   BITMAPFILEHEADER, 14 bytes: "BM", bfSize = whole file, reserved 0,
//              bfOffBits = 54
//   offset 14  BITMAPINFOHEADER, 40 bytes: biWidth, biHeight > 0 (bottom-up rows),
//              biPlanes 1, biBitCount 24 or 32, BI_RGB, biSizeImage = stride * height,
//              3780 pixels per metre (96 dpi) both ways, no colour table
//   offset 54  rows, bottom row first, each padded to a multiple of 4 bytes
//              (32-bit rows: B, G, R, 0 per pixel; 24-bit rows: B, G, R)
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace orvik {

constexpr size_t kBmpFileHeaderSize = 14;
constexpr size_t kBmpInfoHeaderSize = 40;
constexpr size_t kBmpHeaderSize = kBmpFileHeaderSize + kBmpInfoHeaderSize;  // 54

// Bytes per row, padded to 4 bytes; 0 when the values are out of range.
size_t BmpStride(int32_t width, int bitCount);

// File and info header of an uncompressed bottom-up image (bitCount 24 or 32).
std::array<uint8_t, kBmpHeaderSize> MakeBmpHeader(int32_t width, int32_t height, int bitCount);

// A BMP file checked to be safe to decode: every offset and size lies inside the data.
struct BmpView {
  int32_t width = 0;
  int32_t height = 0;  // as stored: negative for top-down rows
  int bitCount = 0;
  uint32_t compression = 0;  // 0 BI_RGB, 3 BI_BITFIELDS
  uint32_t sizeImage = 0;    // as stored (may be 0 for BI_RGB)
  uint32_t offBits = 0;
  const uint8_t* info = nullptr;  // info header and colour table / masks
  size_t infoSize = 0;
  const uint8_t* pixels = nullptr;  // stride * |height| bytes
  size_t pixelSize = 0;
  size_t stride = 0;
};

// Limits of what ParseBmp accepts (no real picture of this program comes near them).
constexpr int32_t kBmpMaxSide = 32767;

// Checks an in-memory BMP file: "BM", an info header of at least 40 bytes, 1/4/8/16/24/32
// bits, BI_RGB (or BI_BITFIELDS at 16/32 bits), sides 1..kBmpMaxSide, colour table and all
// rows inside the data. Nothing is allocated.
std::optional<BmpView> ParseBmp(const uint8_t* data, size_t size);

// Little-endian field access over raw bytes.
inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void WriteLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void WriteLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace orvik
