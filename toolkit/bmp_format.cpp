#include "toolkit/bmp_format.h"

namespace orvik {

namespace {
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr int32_t kPixelsPerMetre96Dpi = 3780;

bool KnownBitCount(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}
}  // namespace

size_t BmpStride(int32_t width, int bitCount) {
  if (width <= 0 || width > kBmpMaxSide || !KnownBitCount(bitCount)) return 0;
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
  WriteLe32(info + 16, kBiRgb);
  WriteLe32(info + 20, static_cast<uint32_t>(image));
  WriteLe32(info + 24, kPixelsPerMetre96Dpi);
  WriteLe32(info + 28, kPixelsPerMetre96Dpi);
  return h;
}

std::optional<BmpView> ParseBmp(const uint8_t* data, size_t size) {
  if (!data || size < kBmpHeaderSize || data[0] != 'B' || data[1] != 'M') return std::nullopt;
  BmpView v;
  v.offBits = ReadLe32(data + 10);
  const uint8_t* info = data + kBmpFileHeaderSize;
  const uint32_t infoHeaderSize = ReadLe32(info);
  if (infoHeaderSize < kBmpInfoHeaderSize || infoHeaderSize > size - kBmpFileHeaderSize) {
    return std::nullopt;
  }
  v.width = static_cast<int32_t>(ReadLe32(info + 4));
  v.height = static_cast<int32_t>(ReadLe32(info + 8));
  v.bitCount = ReadLe16(info + 14);
  v.compression = ReadLe32(info + 16);
  v.sizeImage = ReadLe32(info + 20);
  const uint32_t clrUsed = ReadLe32(info + 32);

  if (v.width < 1 || v.width > kBmpMaxSide) return std::nullopt;
  if (v.height == 0 || v.height < -kBmpMaxSide || v.height > kBmpMaxSide) return std::nullopt;
  if (ReadLe16(info + 12) != 1 || !KnownBitCount(v.bitCount)) return std::nullopt;
  const bool masks = v.compression == kBiBitfields && (v.bitCount == 16 || v.bitCount == 32);
  if (v.compression != kBiRgb && !masks) return std::nullopt;

  // The colour table (or the three masks after a 40-byte header) must fit before the pixels.
  uint64_t tableBytes = 0;
  if (v.bitCount <= 8) {
    const uint64_t maxColours = 1ull << v.bitCount;
    if (clrUsed > maxColours) return std::nullopt;
    tableBytes = 4ull * (clrUsed ? clrUsed : maxColours);
  } else if (masks && infoHeaderSize == kBmpInfoHeaderSize) {
    tableBytes = 12;
  }
  const uint64_t infoEnd = kBmpFileHeaderSize + uint64_t{infoHeaderSize} + tableBytes;
  if (v.offBits < infoEnd || v.offBits > size) return std::nullopt;

  v.stride = BmpStride(v.width, v.bitCount);
  const uint64_t rows = static_cast<uint64_t>(v.height < 0 ? -int64_t{v.height} : v.height);
  const uint64_t pixelBytes = uint64_t{v.stride} * rows;
  if (pixelBytes > size - v.offBits) return std::nullopt;

  v.info = info;
  v.infoSize = static_cast<size_t>(v.offBits - kBmpFileHeaderSize);
  v.pixels = data + v.offBits;
  v.pixelSize = static_cast<size_t>(pixelBytes);
  return v;
}

}  // namespace orvik
