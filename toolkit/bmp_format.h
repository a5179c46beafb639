#pragma once
// BMP file layout: building the headers pictures are saved with, and the one check every
// reader of this program runs on a BMP file or packed DIB before any of it is handed to GDI
// or a codec. No <windows.h>: built natively too, so every header a file can carry is
// exercised under the sanitizers and a fuzzer. Nothing here allocates.
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

namespace bmp {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr uint16_t kTypeBM = 0x4D42;  // "BM"
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiJpeg = 4;
constexpr uint32_t kBiPng = 5;
constexpr uint32_t kBiAlphaBitfields = 6;

// Geometry every reader refuses beyond, before a byte of pixels is read: sides up to
// 32767 and at most 16384 x 16384 at 32 bits of uncompressed or declared pixel data.
constexpr int32_t kMaxSide = 32767;
constexpr uint64_t kMaxPixelBytes = 1ull << 30;
// Headers, masks and a full 256-entry table fit easily; larger info blocks are nonsense.
constexpr uint64_t kMaxInfoBytes = 64 * 1024;
constexpr uint64_t kMaxFileBytes = kFileHeaderSize + kMaxInfoBytes + kMaxPixelBytes;

// BITMAPFILEHEADER as stored: 14 bytes, little-endian, packed.
struct FileHeader {
  uint16_t bfType = 0;
  uint32_t bfSize = 0;
  uint16_t bfReserved1 = 0;
  uint16_t bfReserved2 = 0;
  uint32_t bfOffBits = 0;
};

// The first 40 bytes of every info header, as stored, little-endian.
struct InfoHeader {
  uint32_t biSize = 0;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 0;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};

// Callers guarantee kFileHeaderSize / kInfoHeaderSize readable bytes.
FileHeader DecodeFileHeader(const uint8_t* p);
InfoHeader DecodeInfoHeader(const uint8_t* p);
void EncodeFileHeader(const FileHeader& h, uint8_t* out);
void EncodeInfoHeader(const InfoHeader& h, uint8_t* out);

// Bytes of an uncompressed pixel block: rows padded to 4 bytes, |height| rows. 0 when the
// bit count is not one an uncompressed bitmap can have or the result would pass
// kMaxPixelBytes.
uint64_t UncompressedImageSize(int32_t width, int32_t height, uint16_t bitCount);

enum class Verdict {
  Ok,
  NotBitmap,    // the file header is there but bfType is not "BM"
  Malformed,    // too short, sizes that contradict each other or the data, or absurd sizes
  Unsupported,  // well-formed, but in a format the picture loader cannot draw
};

// What CheckInfoHeader found in a header it trusts.
struct InfoBlock {
  InfoHeader header;       // header.biSizeImage as stored
  size_t infoSize = 0;     // info header, masks stored after it, colour table
  uint64_t pixelSize = 0;  // the pixel block: biSizeImage, or the geometry's when stored as 0
};

// The header check both readers share: the info header at `info` must be one of the real
// sizes (40, 52, 56, 108, 124), describe a bitmap within the limits above (one plane, a
// compression its bit count and row order allow, bit-field masks it carries or that
// follow it), and its masks and colour table must fit in the `room` readable bytes.
// Whether the pixel block fits is the caller's to check: only it knows where it lies.
Verdict CheckInfoHeader(const uint8_t* info, size_t room, InfoBlock* out);

// Where the two blocks of a bitmap lie inside the bytes that were checked.
struct Layout {
  FileHeader file;
  InfoHeader info;  // info.biSizeImage is the pixel block size (computed when stored as 0)
  size_t infoOffset = 0;
  size_t infoSize = 0;  // info header, masks and colour table; never a gap before the pixels
  size_t pixelOffset = 0;
  size_t pixelSize = 0;
};

struct Parsed {
  Verdict verdict = Verdict::Malformed;
  Layout layout;  // complete only when verdict is Ok; file is set for NotBitmap too
};

// Checks a whole BMP file held in memory: the info block starts at byte 14 and ends by
// bfOffBits, the pixel block holds biSizeImage bytes from bfOffBits, and both lie inside
// `size`. Never answers Unsupported.
Parsed ParseFile(const uint8_t* data, size_t size);

// Checks a packed DIB (info header, optional masks and colour table, then pixels) of
// 16 bits or more per pixel held in `size` bytes. The file header a BMP file of it needs
// is filled in layout.file.
Parsed ParsePackedDib(const uint8_t* data, size_t size);

}  // namespace bmp

constexpr size_t kBmpFileHeaderSize = bmp::kFileHeaderSize;
constexpr size_t kBmpInfoHeaderSize = bmp::kInfoHeaderSize;
constexpr size_t kBmpHeaderSize = kBmpFileHeaderSize + kBmpInfoHeaderSize;  // 54
constexpr int32_t kBmpMaxSide = bmp::kMaxSide;

// Bytes per row, padded to 4 bytes; 0 when the values are out of range.
size_t BmpStride(int32_t width, int bitCount);

// File and info header of an uncompressed bottom-up image (bitCount 24 or 32).
std::array<uint8_t, kBmpHeaderSize> MakeBmpHeader(int32_t width, int32_t height, int bitCount);

// A BMP file checked to be safe to draw: every offset and size lies inside the data.
struct BmpView {
  int32_t width = 0;
  int32_t height = 0;  // as stored: negative for top-down rows
  int bitCount = 0;
  uint32_t compression = 0;  // 0 BI_RGB, 3 BI_BITFIELDS
  uint32_t sizeImage = 0;    // as stored (may be 0 for BI_RGB)
  uint32_t offBits = 0;
  const uint8_t* info = nullptr;  // info header, masks and colour table
  size_t infoSize = 0;
  const uint8_t* pixels = nullptr;  // the pixel block: at least stride * |height| bytes
  size_t pixelSize = 0;
  size_t stride = 0;
};

// ParseFile's verdict on an in-memory BMP file, narrowed to what pictures draw: BI_RGB at
// 1/4/8/16/24/32 bits or BI_BITFIELDS at 16/32 bits; any other bitmap ParseFile accepts is
// Unsupported. The view is returned only for Ok; `verdict` (when given) says why not.
std::optional<BmpView> ParseBmp(const uint8_t* data, size_t size, bmp::Verdict* verdict = nullptr);

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
