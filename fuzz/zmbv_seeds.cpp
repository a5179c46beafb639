// Writes the ZMBV fuzzer's starting corpus into the folder given: real streams from the
// encoder in every stored format (and the same frames stored without zlib, whose block
// tables the fuzzer can then reach byte by byte), plus round-trip pictures.
#include <zlib.h>

#include <string>
#include <vector>

#include "codec/screen_scenes.h"
#include "codec/zmbv.h"
#include "fuzz/seed_file.h"
#include "fuzz/zmbv_fuzz.h"

namespace {

using namespace orvik::zmbv;

void AddFrame(std::vector<uint8_t>& seed, const uint8_t* p, size_t n) {
  seed.push_back(static_cast<uint8_t>(n));
  seed.push_back(static_cast<uint8_t>(n >> 8));
  seed.insert(seed.end(), p, p + n);
}

// The stored frames of one stream: as written, and re-stored uncompressed.
void StreamSeeds(PixelFormat format, int w, int h, std::vector<std::vector<uint8_t>>& seeds) {
  Encoder enc;
  Options options;
  options.keyFrameInterval = 4;
  enc.Begin(w, h, format, options);
  std::vector<uint8_t> zipped = {zmbvfuzz::kDecodeStream, static_cast<uint8_t>(w - 1),
                                 static_cast<uint8_t>(h - 1)};
  std::vector<uint8_t> plain = zipped, out;
  z_stream zs{};
  inflateInit(&zs);
  for (int i = 0; i < 6; ++i) {
    scenes::Image img = scenes::DraggedWindow(w, h, w / 2, h / 2, i);
    std::vector<uint8_t> px(img.px.size() * BytesPerPixel(format));
    for (size_t k = 0; k < px.size(); ++k) px[k] = img.Bytes()[k * 4 / BytesPerPixel(format)];
    const Encoded e =
        enc.Encode(px.data(), static_cast<ptrdiff_t>(w) * BytesPerPixel(format), i == 5, out);
    AddFrame(zipped, out.data(), e.size);
    const size_t header = e.key ? kKeyHeaderBytes : 1;
    if (e.key) inflateReset(&zs);
    std::vector<uint8_t> frame(out.begin(), out.begin() + header);
    if (e.key) frame[3] = 0;  // stored without zlib
    std::vector<uint8_t> raw(1 << 16);
    zs.next_in = out.data() + header;
    zs.avail_in = static_cast<uInt>(e.size - header);
    zs.next_out = raw.data();
    zs.avail_out = static_cast<uInt>(raw.size());
    inflate(&zs, Z_SYNC_FLUSH);
    frame.insert(frame.end(), raw.data(), zs.next_out);
    AddFrame(plain, frame.data(), frame.size());
  }
  inflateEnd(&zs);
  seeds.push_back(zipped);
  seeds.push_back(plain);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  std::vector<std::vector<uint8_t>> seeds;
  for (PixelFormat f : {PixelFormat::kBgrx32, PixelFormat::kRgb565, PixelFormat::kPal8})
    StreamSeeds(f, 37, 21, seeds);
  StreamSeeds(PixelFormat::kRgb555, 16, 16, seeds);
  for (uint8_t format = 0; format < 5; ++format) {
    const int w = 9, h = 5, bpp = BytesPerPixel(static_cast<PixelFormat>(format));
    std::vector<uint8_t> seed = {zmbvfuzz::kRoundTrip, w - 1, h - 1, format};
    for (int i = 0; i < 3; ++i) {
      seed.push_back(static_cast<uint8_t>(0x88 + i));
      for (int k = 0; k < w * h * bpp; ++k)
        seed.push_back(static_cast<uint8_t>(i == 0 ? k * 37 : 0));
    }
    seeds.push_back(seed);
  }
  bool ok = true;
  for (size_t i = 0; i < seeds.size(); ++i)
    ok = SaveSeed(dir + "/seed" + std::to_string(i), seeds[i]) && ok;
  return ok ? 0 : 1;
}
