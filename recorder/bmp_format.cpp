#include "recorder/bmp_format.h"

#include "toolkit/bmp_format.h"

namespace orvik::bmp {

namespace {

// Signed fields go through their unsigned bit pattern.
int32_t GetS32(const uint8_t* p) { return static_cast<int32_t>(ReadLe32(p)); }
void PutS32(uint8_t* p, int32_t v) { WriteLe32(p, static_cast<uint32_t>(v)); }

bool IsUncompressed(uint32_t compression) {
  return compression == kBiRgb || compression == kBiBitfields || compression == kBiAlphaBitfields;
}

// Bytes that follow the info header before the pixels: the channel masks of a 40-byte
// header with bit fields, then the colour table. Depths up to 8 bits imply a full table
// when biClrUsed is 0. Returns false for tables no bitmap of this depth can have.
bool ExtraInfoBytes(const InfoHeader& h, uint64_t* bytes) {
  uint64_t masks = 0;
  if (h.biSize == kInfoHeaderSize) {
    if (h.biCompression == kBiBitfields) masks = 12;
    if (h.biCompression == kBiAlphaBitfields) masks = 16;
  }
  uint64_t entries = h.biClrUsed;
  if (h.biBitCount >= 1 && h.biBitCount <= 8) {
    uint64_t full = 1ull << h.biBitCount;
    if (entries > full) return false;
    if (entries == 0) entries = full;
  }
  *bytes = masks + 4 * entries;
  return true;
}

bool SaneDimensions(const InfoHeader& h) {
  return h.biWidth > 0 && h.biHeight != 0 && h.biHeight != INT32_MIN;
}

// The pixel block size the headers promise, or 0 when they contradict themselves.
// biSizeImage may be 0 for uncompressed bitmaps (the size then follows from the geometry)
// but never smaller than the geometry needs: consumers read whole rows.
uint64_t PixelBlockSize(const InfoHeader& h, bool allowZeroSize) {
  if (!IsUncompressed(h.biCompression)) return h.biSizeImage <= kMaxPixelBytes ? h.biSizeImage : 0;
  if ((h.biCompression != kBiRgb) && h.biBitCount != 16 && h.biBitCount != 32) return 0;
  uint64_t needed = UncompressedImageSize(h.biWidth, h.biHeight, h.biBitCount);
  if (needed == 0) return 0;
  if (h.biSizeImage == 0) return allowZeroSize ? needed : 0;
  if (h.biSizeImage < needed || h.biSizeImage > kMaxPixelBytes) return 0;
  return h.biSizeImage;
}

Parsed Refuse(Verdict v, const FileHeader& file = {}) {
  Parsed r;
  r.verdict = v;
  r.layout.file = file;
  return r;
}

}  // namespace

FileHeader DecodeFileHeader(const uint8_t* p) {
  FileHeader h;
  h.bfType = ReadLe16(p);
  h.bfSize = ReadLe32(p + 2);
  h.bfReserved1 = ReadLe16(p + 6);
  h.bfReserved2 = ReadLe16(p + 8);
  h.bfOffBits = ReadLe32(p + 10);
  return h;
}

InfoHeader DecodeInfoHeader(const uint8_t* p) {
  InfoHeader h;
  h.biSize = ReadLe32(p);
  h.biWidth = GetS32(p + 4);
  h.biHeight = GetS32(p + 8);
  h.biPlanes = ReadLe16(p + 12);
  h.biBitCount = ReadLe16(p + 14);
  h.biCompression = ReadLe32(p + 16);
  h.biSizeImage = ReadLe32(p + 20);
  h.biXPelsPerMeter = GetS32(p + 24);
  h.biYPelsPerMeter = GetS32(p + 28);
  h.biClrUsed = ReadLe32(p + 32);
  h.biClrImportant = ReadLe32(p + 36);
  return h;
}

void EncodeFileHeader(const FileHeader& h, uint8_t* out) {
  WriteLe16(out, h.bfType);
  WriteLe32(out + 2, h.bfSize);
  WriteLe16(out + 6, h.bfReserved1);
  WriteLe16(out + 8, h.bfReserved2);
  WriteLe32(out + 10, h.bfOffBits);
}

void EncodeInfoHeader(const InfoHeader& h, uint8_t* out) {
  WriteLe32(out, h.biSize);
  PutS32(out + 4, h.biWidth);
  PutS32(out + 8, h.biHeight);
  WriteLe16(out + 12, h.biPlanes);
  WriteLe16(out + 14, h.biBitCount);
  WriteLe32(out + 16, h.biCompression);
  WriteLe32(out + 20, h.biSizeImage);
  PutS32(out + 24, h.biXPelsPerMeter);
  PutS32(out + 28, h.biYPelsPerMeter);
  WriteLe32(out + 32, h.biClrUsed);
  WriteLe32(out + 36, h.biClrImportant);
}

uint64_t UncompressedImageSize(int32_t width, int32_t height, uint16_t bitCount) {
  switch (bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      return 0;
  }
  if (width <= 0 || height == 0 || height == INT32_MIN) return 0;
  uint64_t rows = static_cast<uint64_t>(height < 0 ? -static_cast<int64_t>(height) : height);
  uint64_t stride = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
  if (stride > kMaxPixelBytes || rows > kMaxPixelBytes / stride) return 0;
  return stride * rows;
}

Parsed ParseFile(const uint8_t* data, size_t size) {
  if (size < kFileHeaderSize) return Refuse(Verdict::Malformed);
  const FileHeader file = DecodeFileHeader(data);
  if (file.bfType != kTypeBM) return Refuse(Verdict::NotBitmap, file);
  const uint64_t headers = kFileHeaderSize + kInfoHeaderSize;
  if (size < headers || file.bfOffBits < headers || file.bfOffBits > size)
    return Refuse(Verdict::Malformed);
  const uint64_t infoSize = file.bfOffBits - kFileHeaderSize;
  if (infoSize > kMaxInfoBytes) return Refuse(Verdict::Malformed);

  InfoHeader info = DecodeInfoHeader(data + kFileHeaderSize);
  uint64_t extra = 0;
  if (info.biSize < kInfoHeaderSize || !SaneDimensions(info) || !ExtraInfoBytes(info, &extra) ||
      info.biSize + extra > infoSize)
    return Refuse(Verdict::Malformed);
  const uint64_t pixelSize = PixelBlockSize(info, /*allowZeroSize=*/true);
  if (pixelSize == 0 || pixelSize > size - file.bfOffBits) return Refuse(Verdict::Malformed);

  Parsed r;
  r.verdict = Verdict::Ok;
  info.biSizeImage = static_cast<uint32_t>(pixelSize);
  r.layout = Layout{file,
                    info,
                    kFileHeaderSize,
                    static_cast<size_t>(infoSize),
                    file.bfOffBits,
                    static_cast<size_t>(pixelSize)};
  return r;
}

Parsed ParsePackedDib(const uint8_t* data, size_t size) {
  if (size < kInfoHeaderSize) return Refuse(Verdict::Malformed);
  InfoHeader info = DecodeInfoHeader(data);
  uint64_t extra = 0;
  if (info.biBitCount < 16 || info.biSizeImage < 1 || info.biSize < kInfoHeaderSize ||
      info.biSize > kMaxInfoBytes || !SaneDimensions(info) || !ExtraInfoBytes(info, &extra))
    return Refuse(Verdict::Malformed);
  const uint64_t infoSize = info.biSize + extra;
  const uint64_t pixelSize = PixelBlockSize(info, /*allowZeroSize=*/false);
  if (infoSize > kMaxInfoBytes || infoSize > size || pixelSize == 0 || pixelSize > size - infoSize)
    return Refuse(Verdict::Malformed);

  Parsed r;
  r.verdict = Verdict::Ok;
  FileHeader file;
  file.bfType = kTypeBM;
  file.bfOffBits = static_cast<uint32_t>(kFileHeaderSize + infoSize);
  file.bfSize = static_cast<uint32_t>(file.bfOffBits + pixelSize);
  r.layout = Layout{file,
                    info,
                    0,
                    static_cast<size_t>(infoSize),
                    static_cast<size_t>(infoSize),
                    static_cast<size_t>(pixelSize)};
  return r;
}

}  // namespace orvik::bmp
