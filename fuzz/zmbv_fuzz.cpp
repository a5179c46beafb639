// The ZMBV decoder trusts nothing: any sequence of frames (sizes, block tables, vectors
// out of the picture, zlib data cut short or too long, deltas without a key frame) is
// refused or decoded inside its buffers, and the whole decoded picture is read each time
// so the sanitizers see any overrun. The encoder meets arbitrary pictures too, and every
// frame it writes must decode back exactly.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/zmbv.h"
#include "fuzz/zmbv_fuzz.h"

namespace {

using namespace orvik::zmbv;

volatile uint8_t g_sink;

void Touch(const Decoder& dec) {
  const uint8_t* p = dec.Pixels();
  if (!p) return;
  const size_t n = static_cast<size_t>(dec.Width()) * dec.Height() * BytesPerPixel(dec.Format());
  uint8_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum = static_cast<uint8_t>(sum + p[i]);
  g_sink = sum;
}

void DecodeStream(int w, int h, const uint8_t* data, size_t size) {
  Decoder dec;
  if (!dec.Begin(w, h)) std::abort();
  while (size >= 2) {
    const size_t len = std::min<size_t>(data[0] | data[1] << 8, size - 2);
    if (dec.Decode(data + 2, len) != DecodeResult::kError) Touch(dec);
    data += 2 + len;
    size -= 2 + len;
  }
}

void RoundTrip(int w, int h, const uint8_t* data, size_t size) {
  if (size < 1) return;
  const PixelFormat format = static_cast<PixelFormat>(data[0] % 5);
  ++data;
  --size;
  const int bpp = BytesPerPixel(format);
  const size_t frameBytes = static_cast<size_t>(w) * h * bpp;
  Encoder enc;
  Decoder dec;
  Options options;
  options.keyFrameInterval = 3;
  if (!enc.Begin(w, h, format, options) || !dec.Begin(w, h)) std::abort();
  std::vector<uint8_t> frame(frameBytes, 0), shifted(frameBytes), out, back(frameBytes);
  Palette palette{};
  for (int i = 0; size >= 1 + frameBytes && i < 6; ++i) {
    // The previous picture moved by a small vector, with the input's bytes XORed over it:
    // zero bytes leave moved content, which the motion search should find.
    const int dx = (data[0] & 15) - 8, dy = (data[0] >> 4) - 8;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int sx = std::clamp(x + dx, 0, w - 1), sy = std::clamp(y + dy, 0, h - 1);
        std::memcpy(&shifted[(static_cast<size_t>(y) * w + x) * bpp],
                    &frame[(static_cast<size_t>(sy) * w + sx) * bpp], bpp);
      }
    for (size_t k = 0; k < frameBytes; ++k) frame[k] = shifted[k] ^ data[1 + k];
    palette[i * 7 % 768] ^= data[0];
    enc.SetPalette(palette);
    const Encoded e = enc.Encode(frame.data(), static_cast<ptrdiff_t>(w) * bpp, false, out);
    if (e.size == 0 || e.size > enc.MaxFrameBytes()) std::abort();
    if (dec.Decode(out.data(), out.size()) == DecodeResult::kError) std::abort();
    if (!dec.CopyTo(back.data(), static_cast<ptrdiff_t>(w) * bpp, format)) std::abort();
    if (back != frame) std::abort();
    if (format == PixelFormat::kPal8 && dec.CurrentPalette() != palette) std::abort();
    data += 1 + frameBytes;
    size -= 1 + frameBytes;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int w = data[1] % zmbvfuzz::kMaxSide + 1, h = data[2] % zmbvfuzz::kMaxSide + 1;
  if (data[0] == zmbvfuzz::kRoundTrip)
    RoundTrip(w, h, data + 3, size - 3);
  else
    DecodeStream(w, h, data + 3, size - 3);
  return 0;
}
