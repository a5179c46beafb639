// The screen codec at 1920x1080, 32 bits: encode and decode time per frame (median) and
// bytes per frame for a desktop with a dragged 640x360 window, a scrolling page and a 640x360
// video playing beside text, the bytes a still desktop costs per minute at 10 frames a second;
// the delta frames' two coders (zlib, the quick one) side by side; the encoder beside its
// build without SSE2, which must write the same bytes; and how zlib's level and strategy trade
// time for size. `zmbv_bench video` encodes only the video scene (for callgrind).
// Portable: built in both trees. Natively, configure with -DORVIK_SANITIZE=OFF for figures.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "codec/screen_scenes.h"
#include "codec/zmbv.h"
#include "zmbv_portable.h"

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

// The encoder beside its build without SSE2, on the same frames in turns (each goes first
// every other frame, so neither always finds them cached): medians over delta frames, and
// whether every frame came out byte for byte the same.
void CompareBuilds(const char* name, const std::vector<scenes::Image>& scene, int frames) {
  Encoder simd;
  portable::Encoder plain(kWidth, kHeight);
  if (!simd.Begin(kWidth, kHeight, PixelFormat::kBgrx32)) return;
  std::vector<uint8_t> simdOut, plainOut;
  std::vector<double> simdMs, plainMs;
  int firstDifferent = -1;
  for (int i = 0; i < frames; ++i) {
    const scenes::Image& img = scene[i % scene.size()];
    double simdTook = 0, plainTook = 0;
    bool key = false;
    for (int turn = 0; turn < 2; ++turn) {
      const auto t0 = Clock::now();
      if ((turn + i) % 2 == 0) {
        key = simd.Encode(img.Bytes(), img.Stride(), false, simdOut).key;
        simdTook = Ms(Clock::now() - t0);
      } else {
        plain.Encode(img.Bytes(), img.Stride(), plainOut);
        plainTook = Ms(Clock::now() - t0);
      }
    }
    if (simdOut != plainOut && firstDifferent < 0) firstDifferent = i;
    if (key) continue;
    simdMs.push_back(simdTook);
    plainMs.push_back(plainTook);
  }
  const double before = Median(plainMs), after = Median(simdMs);
  std::printf("  %-34s portable %6.2f ms  SSE2 %6.2f ms  (%.2fx)  ", name, before, after,
              after > 0 ? before / after : 0);
  if (firstDifferent < 0)
    std::printf("output identical\n");
  else
    std::printf("OUTPUT DIFFERS from frame %d\n", firstDifferent);
}

// The scene's delta frames through zlib and through the quick coder.
void CompareCoders(const char* name, const std::vector<scenes::Image>& scene, int frames) {
  std::printf("  %s\n", name);
  const struct {
    const char* name;
    DeltaCoder coder;
  } coders[] = {{"zlib (as before)", DeltaCoder::kZlib},
                {"the quick coder (default)", DeltaCoder::kQuick}};
  double zlibMs = 0, zlibBytes = 0;
  for (const auto& c : coders) {
    Options o;
    o.deltaCoder = c.coder;
    const Figures f = Run(scene, frames, o);
    if (c.coder == DeltaCoder::kZlib) {
      zlibMs = f.encodeMs;
      zlibBytes = f.deltaBytes;
    }
    std::printf("    %-30s encode %6.2f ms (%.2fx)  delta %8.0f B (%+.1f%%)%s\n", c.name,
                f.encodeMs, f.encodeMs > 0 ? zlibMs / f.encodeMs : 0, f.deltaBytes,
                zlibBytes > 0 ? 100 * (f.deltaBytes / zlibBytes - 1) : 0,
                f.exact ? "" : "  DECODED WRONG");
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<scenes::Image> dragged, scrolling, video;
  for (int i = 0; i < 40; ++i) video.push_back(scenes::PlayingVideo(kWidth, kHeight, 640, 360, i));
  if (argc > 1 && std::string(argv[1]) == "video") {
    Print("desktop + 640x360 video playing", Run(video, 40, Options{}));
    return 0;
  }
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
  Print("desktop + 640x360 video playing", Run(video, 80, defaults));
  const Figures still = Run({desktop}, 600, defaults);
  Print("still desktop", still);
  Encoder probe;
  probe.Begin(kWidth, kHeight, PixelFormat::kBgrx32, defaults);
  std::printf("still desktop at 10 fps, key frame every %u frames: %.2f MB a minute\n",
              probe.KeyFrameInterval(), still.totalBytes / 1e6);
  std::printf("key frame of the desktop: %.1f ms\n", KeyFrameMs(desktop, defaults));

  std::printf("\ndelta frames through zlib (as before) and through the quick coder\n");
  CompareCoders("desktop + 640x360 video playing", video, 40);
  CompareCoders("desktop + dragged 640x360 window", dragged, 40);
  CompareCoders("scrolling page (14 px a frame)", scrolling, 40);

  std::printf("\nthe encoder built without SSE2 and with it\n");
  CompareBuilds("desktop + 640x360 video playing", video, 40);
  CompareBuilds("desktop + dragged 640x360 window", dragged, 80);
  CompareBuilds("scrolling page (14 px a frame)", scrolling, 80);
  CompareBuilds("still desktop", {desktop}, 40);

  // Key frames always, delta frames here too, go through zlib. Levels past 3 take seconds a
  // frame on the video and are left out there.
  struct Setting {
    const char* name;
    int level, strategy;
  } settings[] = {
      {"level 1, default", 1, Z_DEFAULT_STRATEGY},  {"level 1, filtered", 1, Z_FILTERED},
      {"level 1, huffman only", 1, Z_HUFFMAN_ONLY}, {"level 1, rle", 1, Z_RLE},
      {"level 3, default", 3, Z_DEFAULT_STRATEGY},  {"level 6, default", 6, Z_DEFAULT_STRATEGY},
      {"level 9, default", 9, Z_DEFAULT_STRATEGY}};
  const struct {
    const char* name;
    const std::vector<scenes::Image>& frames;
    int maxLevel;
  } sceneSettings[] = {{"the dragged-window scene", dragged, 9}, {"the video scene", video, 3}};
  for (const auto& scene : sceneSettings) {
    std::printf("\nzlib settings on %s, delta frames through zlib\n", scene.name);
    for (const Setting& s : settings) {
      if (s.level > scene.maxLevel) continue;
      Options o;
      o.zlibLevel = s.level;
      o.zlibStrategy = s.strategy;
      o.deltaCoder = DeltaCoder::kZlib;
      const Figures f = Run(scene.frames, 30, o);
      std::printf("  %-22s encode %6.2f ms  delta %8.0f B  key %8zu B  key encode %6.1f ms\n",
                  s.name, f.encodeMs, f.deltaBytes, f.keyBytes, KeyFrameMs(scene.frames[0], o));
    }
  }
  return 0;
}
