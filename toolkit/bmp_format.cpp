#include "toolkit/bmp_format.h"

namespace orvik {

namespace bmp {

namespace {

// Signed fields go through their unsigned bit pattern.
int32_t GetS32(const uint8_t* p) { return static_cast<int32_t>(ReadLe32(p)); }
void PutS32(uint8_t* p, int32_t v) { WriteLe32(p, static_cast<uint32_t>(v)); }

bool KnownBitCount(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// The info headers that exist; any other size is a header nobody wrote on purpose, and
// whatever it holds would go to a codec as the stream format.
bool RealInfoHeaderSize(uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

bool IsUncompressed(uint32_t compression) {
  return compression == kBiRgb || compression == kBiBitfields || compression == kBiAlphaBitfields;
}

bool SaneGeometry(const InfoHeader& h) {
  return h.biWidth >= 1 && h.biWidth <= kMaxSide && h.biHeight != 0 && h.biHeight >= -kMaxSide &&
         h.biHeight <= kMaxSide;
}

// Whether the compression allows this bit count and row order. Run-length data is
// decoded bottom-up only; compressions this program does not know pass to a codec as they
// are, but still at a real depth.
bool CompressionFits(const InfoHeader& h) {
  const int bits = h.biBitCount;
  switch (h.biCompression) {
    case kBiRle8:
      return bits == 8 && h.biHeight > 0;
    case kBiRle4:
      return bits == 4 && h.biHeight > 0;
    case kBiBitfields:
    case kBiAlphaBitfields:
      return bits == 16 || bits == 32;
    case kBiJpeg:
    case kBiPng:
      return bits == 0 || KnownBitCount(bits);  // 0: the embedded image has its own depth
    default:
      return KnownBitCount(bits);
  }
}

// Channel mask bytes stored after the header: a 40-byte header has them after it, larger
// ones carry them inside. False when the header is too short to carry the masks it needs.
bool MaskBytesAfter(const InfoHeader& h, uint64_t* bytes) {
  uint32_t needed = 0;
  if (h.biCompression == kBiBitfields) needed = 12;
  if (h.biCompression == kBiAlphaBitfields) needed = 16;
  *bytes = h.biSize == kInfoHeaderSize ? needed : 0;
  return h.biSize == kInfoHeaderSize || h.biSize >= kInfoHeaderSize + needed;
}

// Depths up to 8 bits imply a full table when biClrUsed is 0. False for tables no bitmap
// of this depth can have.
bool ColourTableBytes(const InfoHeader& h, uint64_t* bytes) {
  uint64_t entries = h.biClrUsed;
  if (h.biBitCount >= 1 && h.biBitCount <= 8) {
    const uint64_t full = 1ull << h.biBitCount;
    if (entries > full) return false;
    if (entries == 0) entries = full;
  }
  *bytes = 4 * entries;
  return true;
}

// The pixel block size the header promises, or 0 when it contradicts itself.
// biSizeImage may be 0 for uncompressed bitmaps (the size then follows from the geometry)
// but never smaller than the geometry needs: consumers read whole rows.
uint64_t PixelBlockSize(const InfoHeader& h) {
  if (!IsUncompressed(h.biCompression)) return h.biSizeImage <= kMaxPixelBytes ? h.biSizeImage : 0;
  const uint64_t needed = UncompressedImageSize(h.biWidth, h.biHeight, h.biBitCount);
  if (needed == 0) return 0;
  if (h.biSizeImage == 0) return needed;
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
  if (!KnownBitCount(bitCount) || width <= 0 || height == 0 || height == INT32_MIN) return 0;
  const uint64_t rows = static_cast<uint64_t>(height < 0 ? -static_cast<int64_t>(height) : height);
  const uint64_t stride = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
  if (stride > kMaxPixelBytes || rows > kMaxPixelBytes / stride) return 0;
  return stride * rows;
}

Verdict CheckInfoHeader(const uint8_t* info, size_t room, InfoBlock* out) {
  if (!info || room < kInfoHeaderSize) return Verdict::Malformed;
  const InfoHeader h = DecodeInfoHeader(info);
  if (!RealInfoHeaderSize(h.biSize) || h.biSize > room) return Verdict::Malformed;
  if (h.biPlanes != 1 || !SaneGeometry(h) || !CompressionFits(h)) return Verdict::Malformed;
  uint64_t masks = 0;
  uint64_t table = 0;
  if (!MaskBytesAfter(h, &masks) || !ColourTableBytes(h, &table)) return Verdict::Malformed;
  const uint64_t infoSize = uint64_t{h.biSize} + masks + table;
  if (infoSize > room || infoSize > kMaxInfoBytes) return Verdict::Malformed;
  const uint64_t pixelSize = PixelBlockSize(h);
  if (pixelSize == 0) return Verdict::Malformed;
  out->header = h;
  out->infoSize = static_cast<size_t>(infoSize);
  out->pixelSize = pixelSize;
  return Verdict::Ok;
}

Parsed ParseFile(const uint8_t* data, size_t size) {
  if (!data || size < kFileHeaderSize) return Refuse(Verdict::Malformed);
  const FileHeader file = DecodeFileHeader(data);
  if (file.bfType != kTypeBM) return Refuse(Verdict::NotBitmap, file);
  const uint64_t headers = kFileHeaderSize + kInfoHeaderSize;
  if (size < headers || file.bfOffBits < headers || file.bfOffBits > size ||
      file.bfOffBits - kFileHeaderSize > kMaxInfoBytes)
    return Refuse(Verdict::Malformed);

  InfoBlock block;
  if (CheckInfoHeader(data + kFileHeaderSize, file.bfOffBits - kFileHeaderSize, &block) !=
          Verdict::Ok ||
      block.pixelSize > size - file.bfOffBits)
    return Refuse(Verdict::Malformed);

  Parsed r;
  r.verdict = Verdict::Ok;
  r.layout.file = file;
  r.layout.info = block.header;
  r.layout.info.biSizeImage = static_cast<uint32_t>(block.pixelSize);
  r.layout.infoOffset = kFileHeaderSize;
  r.layout.infoSize = block.infoSize;
  r.layout.pixelOffset = file.bfOffBits;
  r.layout.pixelSize = static_cast<size_t>(block.pixelSize);
  return r;
}

Parsed ParsePackedDib(const uint8_t* data, size_t size) {
  if (!data || size < kInfoHeaderSize) return Refuse(Verdict::Malformed);
  const InfoHeader peek = DecodeInfoHeader(data);
  if (peek.biBitCount < 16 || peek.biSizeImage < 1) return Refuse(Verdict::Malformed);
  InfoBlock block;
  if (CheckInfoHeader(data, size, &block) != Verdict::Ok || block.pixelSize > size - block.infoSize)
    return Refuse(Verdict::Malformed);

  Parsed r;
  r.verdict = Verdict::Ok;
  r.layout.file.bfType = kTypeBM;
  r.layout.file.bfOffBits = static_cast<uint32_t>(kFileHeaderSize + block.infoSize);
  r.layout.file.bfSize = static_cast<uint32_t>(r.layout.file.bfOffBits + block.pixelSize);
  r.layout.info = block.header;
  r.layout.infoOffset = 0;
  r.layout.infoSize = block.infoSize;
  r.layout.pixelOffset = block.infoSize;
  r.layout.pixelSize = static_cast<size_t>(block.pixelSize);
  return r;
}

}  // namespace bmp

namespace {
constexpr int32_t kPixelsPerMetre96Dpi = 3780;
}  // namespace

size_t BmpStride(int32_t width, int bitCount) {
  if (width <= 0 || width > kBmpMaxSide || !bmp::KnownBitCount(bitCount)) return 0;
  const uint64_t bitsPerRow = static_cast<uint64_t>(width) * static_cast<uint64_t>(bitCount);
  return static_cast<size_t>(((bitsPerRow + 31) / 32) * 4);
}

std::array<uint8_t, kBmpHeaderSize> MakeBmpHeader(int32_t width, int32_t height, int bitCount) {
  std::array<uint8_t, kBmpHeaderSize> h{};
  const uint64_t image = static_cast<uint64_t>(BmpStride(width, bitCount)) *
                         static_cast<uint64_t>(height < 0 ? -static_cast<int64_t>(height) : height);
  h[0] = 'B';
  h[1] = 'M';
  WriteLe32(&h[2], static_cast<uint32_t>(kBmpHeaderSize + image));
  WriteLe32(&h[10], static_cast<uint32_t>(kBmpHeaderSize));
  uint8_t* info = &h[kBmpFileHeaderSize];
  WriteLe32(info + 0, static_cast<uint32_t>(kBmpInfoHeaderSize));
  WriteLe32(info + 4, static_cast<uint32_t>(width));
  WriteLe32(info + 8, static_cast<uint32_t>(height));
  WriteLe16(info + 12, 1);
  WriteLe16(info + 14, static_cast<uint16_t>(bitCount));
  WriteLe32(info + 16, bmp::kBiRgb);
  WriteLe32(info + 20, static_cast<uint32_t>(image));
  WriteLe32(info + 24, kPixelsPerMetre96Dpi);
  WriteLe32(info + 28, kPixelsPerMetre96Dpi);
  return h;
}

std::optional<BmpView> ParseBmp(const uint8_t* data, size_t size, bmp::Verdict* verdict) {
  const bmp::Parsed parsed = bmp::ParseFile(data, size);
  const bmp::InfoHeader& h = parsed.layout.info;
  bmp::Verdict answer = parsed.verdict;
  if (answer == bmp::Verdict::Ok && h.biCompression != bmp::kBiRgb &&
      h.biCompression != bmp::kBiBitfields)
    answer = bmp::Verdict::Unsupported;  // the check already tied the depth to each of these
  if (verdict) *verdict = answer;
  if (answer != bmp::Verdict::Ok) return std::nullopt;

  const bmp::Layout& l = parsed.layout;
  BmpView v;
  v.width = h.biWidth;
  v.height = h.biHeight;
  v.bitCount = h.biBitCount;
  v.compression = h.biCompression;
  v.sizeImage = ReadLe32(data + l.infoOffset + 20);
  v.offBits = l.file.bfOffBits;
  v.info = data + l.infoOffset;
  v.infoSize = l.infoSize;
  v.pixels = data + l.pixelOffset;
  v.pixelSize = l.pixelSize;
  v.stride = BmpStride(v.width, v.bitCount);
  return v;
}

}  // namespace orvik
