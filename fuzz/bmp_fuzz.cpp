// The frame reader trusts nothing a bitmap file says about itself: whatever bytes arrive,
// the layout it accepts must lie inside them and be large enough for the geometry a codec
// will read. Every accepted block is touched end to end so the sanitizers see any overrun.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "toolkit/bmp_format.h"

namespace {

volatile uint8_t g_sink;

void Touch(const uint8_t* p, size_t n) {
  uint8_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum = static_cast<uint8_t>(sum + p[i]);
  g_sink = sum;
}

void CheckLayout(const orvik::bmp::Layout& l, const uint8_t* data, size_t size) {
  using namespace orvik::bmp;
  if (l.infoSize < kInfoHeaderSize || l.infoOffset + l.infoSize > size ||
      l.pixelOffset + l.pixelSize > size || l.pixelSize == 0 || l.pixelSize > kMaxPixelBytes)
    std::abort();
  const uint32_t compression = l.info.biCompression;
  if (compression == kBiRgb || compression == kBiBitfields || compression == kBiAlphaBitfields) {
    const uint64_t rows = UncompressedImageSize(l.info.biWidth, l.info.biHeight, l.info.biBitCount);
    if (rows == 0 || l.pixelSize < rows) std::abort();
  }
  if (l.info.biSizeImage != l.pixelSize) std::abort();
  Touch(data + l.infoOffset, l.infoSize);
  Touch(data + l.pixelOffset, l.pixelSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvik::bmp;
  const Parsed file = ParseFile(data, size);
  if (file.verdict == Verdict::Ok) {
    CheckLayout(file.layout, data, size);
    if (file.layout.infoOffset != kFileHeaderSize ||
        file.layout.pixelOffset != file.layout.file.bfOffBits)
      std::abort();
  }
  // The same bytes past a file header make a packed DIB.
  const uint8_t* dib = size > kFileHeaderSize ? data + kFileHeaderSize : data;
  const size_t dibSize = size > kFileHeaderSize ? size - kFileHeaderSize : size;
  const Parsed packed = ParsePackedDib(dib, dibSize);
  if (packed.verdict == Verdict::Ok) {
    CheckLayout(packed.layout, dib, dibSize);
    if (packed.layout.file.bfOffBits != kFileHeaderSize + packed.layout.infoSize) std::abort();
  }
  return 0;
}
