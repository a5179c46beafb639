#pragma once
// BMP and packed-DIB layout: header decoding and the checks that decide whether a block of
// bytes can be trusted as a bitmap. No <windows.h>: built natively too, so every header a
// file can carry is exercised under the sanitizers and a fuzzer. Nothing here allocates.
#include <cstddef>
#include <cstdint>

namespace orvik::bmp {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr uint16_t kTypeBM = 0x4D42;  // "BM"
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;

// Anything bigger is refused before a byte of it is read: 16384 x 16384 at 32 bits.
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

// BITMAPINFOHEADER as stored: 40 bytes, little-endian.
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
  NotBitmap,  // the file header is there but bfType is not "BM"
  Malformed,  // too short, sizes that contradict each other or the data, or absurd sizes
};

// Where the two blocks of a bitmap lie inside the bytes that were checked.
struct Layout {
  FileHeader file;
  InfoHeader info;  // info.biSizeImage is the pixel block size (computed when stored as 0)
  size_t infoOffset = 0;
  size_t infoSize = 0;  // info header, masks and colour table
  size_t pixelOffset = 0;
  size_t pixelSize = 0;
};

struct Parsed {
  Verdict verdict = Verdict::Malformed;
  Layout layout;  // complete only when verdict is Ok; file is set for NotBitmap too
};

// Checks a whole BMP file held in memory: the info block runs from byte 14 to bfOffBits,
// the pixel block holds biSizeImage bytes from bfOffBits, and both lie inside `size`.
Parsed ParseFile(const uint8_t* data, size_t size);

// Checks a packed DIB (info header, optional masks and colour table, then pixels) of
// 16 bits or more per pixel held in `size` bytes. The file header a BMP file of it needs
// is filled in layout.file.
Parsed ParsePackedDib(const uint8_t* data, size_t size);

}  // namespace orvik::bmp
