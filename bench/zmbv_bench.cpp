// The screen codec at 1920x1080, 32 bits: encode and decode time per frame (median) and
// bytes per frame for a desktop with a dragged 640x360 window and for a scrolling page,
// the bytes a still desktop costs per minute at 10 frames a second, and how zlib's level
// and strategy trade time for size on the dragged-window scene; and the encoder beside its
// build that counts each block's cost to the end, which must write the same bytes.
// Portable: built in both trees. Natively, configure with -DORVIK_SANITIZE=OFF for figures.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "codec/screen_scenes.h"
#include "codec/zmbv.h"
#include "zmbv_full_cost.h"

namespace {

using namespace orvik::zmbv;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1920, kHeight = 1080;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Figures {
  double encodeMs = 0, decodeMs = 0, maxEncodeMs = 0;
  double deltaBytes = 0;  // mean over delta frames
  size_t keyBytes = 0;
  size_t totalBytes = 0;
  bool exact = true;
};

// Encodes `frames` frames of `scene` (pre-rendered, then cycled) and decodes them back.
Figures Run(const std::vector<scenes::Image>& scene, int frames, const Options& options) {
  Figures f;
  Encoder enc;
  Decoder dec;
  if (!enc.Begin(kWidth, kHeight, PixelFormat::kBgrx32, options) || !dec.Begin(kWidth, kHeight))
    return f;
  std::vector<uint8_t> out(enc.MaxFrameBytes());
  std::vector<double> encodeMs, decodeMs;
  size_t deltas = 0, deltaBytes = 0;
  for (int i = 0; i < frames; ++i) {
    const scenes::Image& img = scene[i % scene.size()];
    const auto t0 = Clock::now();
    const Encoded e = enc.Encode(img.Bytes(), img.Stride(), false, out.data(), out.size());
    const auto t1 = Clock::now();
    const DecodeResult r = dec.Decode(out.data(), e.size);
    const auto t2 = Clock::now();
    f.exact = f.exact && r != DecodeResult::kError &&
              std::equal(img.Bytes(), img.Bytes() + img.px.size() * 4, dec.Pixels());
    f.totalBytes += e.size;
    if (e.key) {
      f.keyBytes = std::max(f.keyBytes, e.size);
    } else {
      encodeMs.push_back(Ms(t1 - t0));
      decodeMs.push_back(Ms(t2 - t1));
      f.maxEncodeMs = std::max(f.maxEncodeMs, Ms(t1 - t0));
      ++deltas;
      deltaBytes += e.size;
    }
  }
  f.encodeMs = Median(encodeMs);
  f.decodeMs = Median(decodeMs);
  f.deltaBytes = deltas ? static_cast<double>(deltaBytes) / deltas : 0;
  return f;
}

double KeyFrameMs(const scenes::Image& img, const Options& options) {
  Encoder enc;
  if (!enc.Begin(kWidth, kHeight, PixelFormat::kBgrx32, options)) return 0;
  std::vector<uint8_t> out(enc.MaxFrameBytes());
  std::vector<double> ms;
  for (int i = 0; i < 5; ++i) {
    const auto t0 = Clock::now();
    enc.Encode(img.Bytes(), img.Stride(), true, out.data(), out.size());
    ms.push_back(Ms(Clock::now() - t0));
  }
  return Median(ms);
}

void Print(const char* name, const Figures& f) {
  std::printf(
      "%-34s encode %6.2f ms/frame (max %6.2f)  decode %5.2f ms/frame  delta %8.0f B/frame  "
      "key %8zu B%s\n",
      name, f.encodeMs, f.maxEncodeMs, f.decodeMs, f.deltaBytes, f.keyBytes,
      f.exact ? "" : "  DECODED WRONG");
}

// The encoder beside its build that counts every block's cost to the end, on the same frames
// in turns (each goes first every other frame, so neither always finds them cached): medians
// over delta frames, and whether every frame came out byte for byte the same.
void CompareBlockCost(const char* name, const std::vector<scenes::Image>& scene, int frames) {
  Encoder early;
  fullcost::Encoder full(kWidth, kHeight);
  if (!early.Begin(kWidth, kHeight, PixelFormat::kBgrx32)) return;
  std::vector<uint8_t> earlyOut, fullOut;
  std::vector<double> earlyMs, fullMs;
  int firstDifferent = -1;
  for (int i = 0; i < frames; ++i) {
    const scenes::Image& img = scene[i % scene.size()];
    double earlyTook = 0, fullTook = 0;
    bool key = false;
    for (int turn = 0; turn < 2; ++turn) {
      const auto t0 = Clock::now();
      if ((turn + i) % 2 == 0) {
        key = early.Encode(img.Bytes(), img.Stride(), false, earlyOut).key;
        earlyTook = Ms(Clock::now() - t0);
      } else {
        full.Encode(img.Bytes(), img.Stride(), fullOut);
        fullTook = Ms(Clock::now() - t0);
      }
    }
    if (earlyOut != fullOut && firstDifferent < 0) firstDifferent = i;
    if (key) continue;
    earlyMs.push_back(earlyTook);
    fullMs.push_back(fullTook);
  }
  const double before = Median(fullMs), after = Median(earlyMs);
  std::printf("  %-34s counted to the end %6.2f ms  stopped early %6.2f ms  (%.2fx)  ", name,
              before, after, after > 0 ? before / after : 0);
  if (firstDifferent < 0)
    std::printf("output identical\n");
  else
    std::printf("OUTPUT DIFFERS from frame %d\n", firstDifferent);
}

}  // namespace

int main() {
  std::vector<scenes::Image> dragged, scrolling;
  for (int i = 0; i < 40; ++i) {
    dragged.push_back(scenes::DraggedWindow(kWidth, kHeight, 640, 360, i));
    scrolling.push_back(scenes::ScrollingPage(kWidth, kHeight, 14, i));
  }
  scenes::Image desktop(kWidth, kHeight);
  scenes::Desktop(desktop);

  std::printf("ZMBV, %dx%d, 32-bit, 16x16 blocks; medians over delta frames\n", kWidth, kHeight);
  const Options defaults;
  Print("desktop + dragged 640x360 window", Run(dragged, 80, defaults));
  Print("scrolling page (14 px a frame)", Run(scrolling, 80, defaults));
  const Figures still = Run({desktop}, 600, defaults);
  Print("still desktop", still);
  Encoder probe;
  probe.Begin(kWidth, kHeight, PixelFormat::kBgrx32, defaults);
  std::printf("still desktop at 10 fps, key frame every %u frames: %.2f MB a minute\n",
              probe.KeyFrameInterval(), still.totalBytes / 1e6);
  std::printf("key frame of the desktop: %.1f ms\n", KeyFrameMs(desktop, defaults));

  std::printf("\nblock cost counted to the end (as before) and stopped once it cannot win\n");
  CompareBlockCost("desktop + dragged 640x360 window", dragged, 80);
  CompareBlockCost("scrolling page (14 px a frame)", scrolling, 80);
  CompareBlockCost("still desktop", {desktop}, 40);

  std::printf("\nzlib settings on the dragged-window scene\n");
  struct Setting {
    const char* name;
    int level, strategy;
  } settings[] = {{"level 1, default", 1, Z_DEFAULT_STRATEGY},
                  {"level 1, filtered", 1, Z_FILTERED},
                  {"level 1, rle", 1, Z_RLE},
                  {"level 3, default", 3, Z_DEFAULT_STRATEGY},
                  {"level 6, default", 6, Z_DEFAULT_STRATEGY},
                  {"level 9, default", 9, Z_DEFAULT_STRATEGY}};
  for (const Setting& s : settings) {
    Options o;
    o.zlibLevel = s.level;
    o.zlibStrategy = s.strategy;
    const Figures f = Run(dragged, 30, o);
    std::printf("  %-18s encode %6.2f ms  delta %8.0f B  key %8zu B  key encode %6.1f ms\n", s.name,
                f.encodeMs, f.deltaBytes, f.keyBytes, KeyFrameMs(dragged[0], o));
  }
  return 0;
}
