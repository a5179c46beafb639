#pragma once
// BMP files built byte by byte for tests, benches and fuzz seeds, independent of the reader
// under test. No <windows.h>: the native tests use it too.
#include <cstdint>
#include <cstring>
#include <vector>

namespace samples {

inline void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

inline size_t Stride(int width, int bitCount) {
  return (static_cast<size_t>(width) * bitCount + 31) / 32 * 4;
}

struct BmpRecipe {
  int width = 16;
  int height = 8;  // negative: top-down rows
  int bitCount = 24;
  uint32_t seed = 1;            // varies the pixels
  uint32_t paletteSeed = 7;     // varies the colour table (one per recording)
  bool sizeImageFilled = true;  // false stores biSizeImage as 0, as many writers do
  uint32_t extraTail = 0;       // bytes of junk after the pixels
};

// A small xorshift so every run builds the same pictures.
struct Noise {
  uint32_t s;
  explicit Noise(uint32_t seed) : s(seed * 2654435761u + 1) {}
  uint8_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return static_cast<uint8_t>(s >> 7);
  }
};

// A complete BMP file: 14-byte file header, 40-byte info header, a full colour table for
// depths up to 8 bits, then bottom-up (or top-down) rows padded to 4 bytes.
inline std::vector<uint8_t> MakeBmp(const BmpRecipe& recipe) {
  const int rows = recipe.height < 0 ? -recipe.height : recipe.height;
  const size_t table = recipe.bitCount <= 8 ? (size_t{4} << recipe.bitCount) : 0;
  const size_t offBits = 54 + table;
  const size_t imageSize = Stride(recipe.width, recipe.bitCount) * rows;
  std::vector<uint8_t> b(offBits + imageSize + recipe.extraTail, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  Put32(b, 10, static_cast<uint32_t>(offBits));
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<uint32_t>(recipe.width));
  Put32(b, 22, static_cast<uint32_t>(recipe.height));
  Put16(b, 26, 1);
  Put16(b, 28, static_cast<uint32_t>(recipe.bitCount));
  Put32(b, 34, recipe.sizeImageFilled ? static_cast<uint32_t>(imageSize) : 0);
  Put32(b, 38, 2835);
  Put32(b, 42, 2835);
  Noise colours(recipe.paletteSeed);
  for (size_t i = 54; i < offBits; i += 4) {  // distinct colours, reserved byte 0
    b[i] = colours.Next();
    b[i + 1] = static_cast<uint8_t>((i - 54) / 4);
    b[i + 2] = colours.Next();
  }
  Noise noise(recipe.seed);
  const size_t stride = Stride(recipe.width, recipe.bitCount);
  const size_t used = (static_cast<size_t>(recipe.width) * recipe.bitCount + 7) / 8;
  for (int y = 0; y < rows; ++y)
    for (size_t x = 0; x < used; ++x) b[offBits + y * stride + x] = noise.Next();
  for (size_t i = offBits + imageSize; i < b.size(); ++i) b[i] = 0xEE;
  return b;
}

// The picture a decoder shows for a BMP made by MakeBmp (8, 24 or 32 bits): rows top-down,
// 3 bytes per pixel in blue, green, red order.
inline std::vector<uint8_t> ExpectedBgr24(const std::vector<uint8_t>& bmp) {
  const int width = static_cast<int>(Get32(bmp, 18));
  const int height = static_cast<int>(Get32(bmp, 22));
  const int bits = bmp[28];
  const int rows = height < 0 ? -height : height;
  const size_t offBits = Get32(bmp, 10);
  const size_t stride = Stride(width, bits);
  std::vector<uint8_t> out(static_cast<size_t>(width) * rows * 3);
  for (int y = 0; y < rows; ++y) {
    const int srcRow = height < 0 ? y : rows - 1 - y;
    const uint8_t* row = bmp.data() + offBits + srcRow * stride;
    for (int x = 0; x < width; ++x) {
      const uint8_t* px = bits == 8 ? bmp.data() + 54 + 4 * row[x] : row + x * (bits / 8);
      std::memcpy(&out[(static_cast<size_t>(y) * width + x) * 3], px, 3);
    }
  }
  return out;
}

}  // namespace samples
