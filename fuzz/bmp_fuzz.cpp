// Both BMP readers (the frame reader's ParseFile / ParsePackedDib and the picture loader's
// ParseBmp) trust nothing a bitmap says about itself and must agree with the header check
// they share: whatever bytes arrive, one verdict, the same geometry when both accept, and
// layouts inside the data. Every accepted block is touched end to end so the sanitizers
// see any overrun.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "toolkit/bmp_format.h"

namespace {

using namespace orvik;
using namespace orvik::bmp;

volatile uint8_t g_sink;

void Touch(const uint8_t* p, size_t n) {
  uint8_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum = static_cast<uint8_t>(sum + p[i]);
  g_sink = sum;
}

void Require(bool fact) {
  if (!fact) std::abort();
}

// Header, masks after a 40-byte header, whole 4-byte colour entries: nothing else.
bool HonestInfoSize(const InfoHeader& h, size_t infoSize) {
  if (infoSize < h.biSize || (infoSize - h.biSize) % 4 != 0) return false;
  const uint64_t table = 4ull * h.biClrUsed;
  const uint64_t full = h.biBitCount >= 1 && h.biBitCount <= 8 ? 4ull << h.biBitCount : 0;
  uint64_t masks = 0;
  if (h.biSize == kInfoHeaderSize && h.biCompression == kBiBitfields) masks = 12;
  if (h.biSize == kInfoHeaderSize && h.biCompression == kBiAlphaBitfields) masks = 16;
  const uint64_t rest = infoSize - h.biSize;
  return rest == masks + table || (h.biClrUsed == 0 && rest == masks + full);
}

void CheckLayout(const Layout& l, const uint8_t* data, size_t size) {
  Require(l.infoSize >= kInfoHeaderSize && l.infoOffset + l.infoSize <= size);
  Require(l.infoOffset + l.infoSize <= l.pixelOffset);
  Require(l.pixelOffset + l.pixelSize <= size && l.pixelSize > 0 && l.pixelSize <= kMaxPixelBytes);
  Require(l.info.biPlanes == 1 && l.info.biWidth >= 1 && l.info.biWidth <= kMaxSide);
  Require(l.info.biHeight != 0 && l.info.biHeight >= -kMaxSide && l.info.biHeight <= kMaxSide);
  Require(HonestInfoSize(l.info, l.infoSize));
  const uint32_t compression = l.info.biCompression;
  if (compression == kBiRgb || compression == kBiBitfields || compression == kBiAlphaBitfields) {
    const uint64_t rows = UncompressedImageSize(l.info.biWidth, l.info.biHeight, l.info.biBitCount);
    Require(rows != 0 && l.pixelSize >= rows);
  }
  Require(l.info.biSizeImage == l.pixelSize);
  Touch(data + l.infoOffset, l.infoSize);
  Touch(data + l.pixelOffset, l.pixelSize);
}

// The shared check applied the way a file reader applies it: the info block up to
// bfOffBits, the pixels from there to the end.
Verdict SharedVerdictOfFile(const uint8_t* data, size_t size) {
  if (size < kFileHeaderSize) return Verdict::Malformed;
  const FileHeader file = DecodeFileHeader(data);
  if (file.bfType != kTypeBM) return Verdict::NotBitmap;
  if (file.bfOffBits < kFileHeaderSize + kInfoHeaderSize || file.bfOffBits > size ||
      file.bfOffBits - kFileHeaderSize > kMaxInfoBytes)
    return Verdict::Malformed;
  InfoBlock block;
  const Verdict v =
      CheckInfoHeader(data + kFileHeaderSize, file.bfOffBits - kFileHeaderSize, &block);
  if (v != Verdict::Ok) return v;
  return block.pixelSize <= size - file.bfOffBits ? Verdict::Ok : Verdict::Malformed;
}

void FileReadersAgree(const uint8_t* data, size_t size) {
  const Verdict shared = SharedVerdictOfFile(data, size);
  const Parsed frame = ParseFile(data, size);
  Verdict pictureVerdict = Verdict::Ok;
  const std::optional<BmpView> picture = ParseBmp(data, size, &pictureVerdict);
  Require(frame.verdict == shared);
  Require(picture.has_value() == (pictureVerdict == Verdict::Ok));
  if (shared != Verdict::Ok) {
    Require(pictureVerdict == shared);
    return;
  }
  const Layout& l = frame.layout;
  CheckLayout(l, data, size);
  Require(l.infoOffset == kFileHeaderSize && l.pixelOffset == l.file.bfOffBits);
  const bool drawable = l.info.biCompression == kBiRgb || l.info.biCompression == kBiBitfields;
  Require(pictureVerdict == (drawable ? Verdict::Ok : Verdict::Unsupported));
  if (!picture) return;
  Require(picture->width == l.info.biWidth && picture->height == l.info.biHeight);
  Require(picture->bitCount == l.info.biBitCount);
  Require(picture->pixels == data + l.pixelOffset && picture->pixelSize == l.pixelSize);
  Require(picture->info == data + l.infoOffset && picture->infoSize == l.infoSize);
  const uint64_t rows =
      static_cast<uint64_t>(picture->height < 0 ? -picture->height : picture->height);
  Require(picture->stride * rows <= picture->pixelSize);
  Touch(picture->pixels, picture->stride * rows);
}

void PackedDibFollowsTheSharedCheck(const uint8_t* dib, size_t size) {
  const Parsed packed = ParsePackedDib(dib, size);
  InfoBlock block;
  const Verdict shared = CheckInfoHeader(dib, size, &block);
  if (shared != Verdict::Ok) {
    Require(packed.verdict == Verdict::Malformed);
    return;
  }
  const bool fits = block.pixelSize <= size - block.infoSize;
  const bool packable = block.header.biBitCount >= 16 && block.header.biSizeImage >= 1;
  Require((packed.verdict == Verdict::Ok) == (fits && packable));
  if (packed.verdict != Verdict::Ok) return;
  CheckLayout(packed.layout, dib, size);
  Require(packed.layout.infoSize == block.infoSize);
  Require(packed.layout.file.bfOffBits == kFileHeaderSize + packed.layout.infoSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FileReadersAgree(data, size);
  // The same bytes past a file header make a packed DIB.
  const size_t skip = size > kFileHeaderSize ? kFileHeaderSize : 0;
  PackedDibFollowsTheSharedCheck(data + skip, size - skip);
  return 0;
}
