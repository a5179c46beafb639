#pragma once
// Generated screen content for the codec's tests and benches: text-like pages, flat colours,
// noise, a dragged window, a scrolling page and a playing video, as 32-bit B, G, R, 0 pixels,
// top-down.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace scenes {

struct Image {
  int width = 0, height = 0;
  std::vector<uint32_t> px;  // 0x00RRGGBB, top-down
  Image(int w, int h, uint32_t fill = 0xFFFFFF)
      : width(w), height(h), px(static_cast<size_t>(w) * h, fill) {}
  uint32_t& At(int x, int y) { return px[static_cast<size_t>(y) * width + x]; }
  const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(px.data()); }
  ptrdiff_t Stride() const { return static_cast<ptrdiff_t>(width) * 4; }
};

inline uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

inline void FillRect(Image& img, int x0, int y0, int w, int h, uint32_t c) {
  for (int y = std::max(y0, 0); y < std::min(y0 + h, img.height); ++y)
    for (int x = std::max(x0, 0); x < std::min(x0 + w, img.width); ++x) img.At(x, y) = c;
}

// Lines of 6x9-pixel "glyphs" (one of 64 fixed 5x7 dot patterns each) from a seeded text;
// `firstLine` scrolls the page by whole pixel rows.
inline void DrawText(Image& img, int x0, int y0, int w, int h, uint32_t seed, int scrollPx = 0,
                     uint32_t ink = 0x101010) {
  constexpr int kCellW = 6, kCellH = 9, kLineH = 14;
  for (int y = std::max(y0, 0); y < std::min(y0 + h, img.height); ++y) {
    const int py = y - y0 + scrollPx;
    const int line = py / kLineH, ly = py % kLineH;
    if (ly >= kCellH - 2) continue;
    const uint32_t lineLen = 20 + Hash(seed * 977 + line) % 100;
    for (int x = std::max(x0 + 4, 0); x < std::min(x0 + w - 4, img.width); ++x) {
      const int px = x - x0 - 4;
      const int col = px / kCellW, lx = px % kCellW;
      if (lx == 5 || static_cast<uint32_t>(col) >= lineLen) continue;
      const uint32_t ch = Hash(seed * 131 + line * 7919 + col) % 80;
      if (ch >= 64) continue;  // a space
      if ((Hash(ch * 35 + ly * 5 + lx) & 3) == 0) img.At(x, y) = ink;
    }
  }
}

inline void Noise(Image& img, int x0, int y0, int w, int h, uint32_t seed) {
  for (int y = std::max(y0, 0); y < std::min(y0 + h, img.height); ++y)
    for (int x = std::max(x0, 0); x < std::min(x0 + w, img.width); ++x)
      img.At(x, y) = Hash(seed ^ (y * 65599 + x)) & 0xFFFFFF;
}

// A desktop: a flat background, a task bar and two text windows.
inline void Desktop(Image& img) {
  FillRect(img, 0, 0, img.width, img.height, 0x3A6EA5);
  FillRect(img, 0, img.height - img.height / 24, img.width, img.height / 24, 0xC0C0C0);
  const int w = img.width * 5 / 8, h = img.height * 3 / 4;
  FillRect(img, img.width / 20, img.height / 16, w, h, 0xFFFFFF);
  FillRect(img, img.width / 20, img.height / 16, w, 20, 0x000080);
  DrawText(img, img.width / 20, img.height / 16 + 24, w, h - 24, 7);
  FillRect(img, img.width / 2, img.height / 3, img.width / 3, img.height / 2, 0xF0F0F0);
  DrawText(img, img.width / 2, img.height / 3, img.width / 3, img.height / 2, 11, 0, 0x202080);
}

// A window with its own picture (text on a gradient) dragged across the desktop.
inline Image DraggedWindow(int width, int height, int regionW, int regionH, int frame) {
  Image img(width, height);
  Desktop(img);
  const int x0 = 40 + frame * 5 % std::max(1, width - regionW - 80);
  const int y0 = 30 + frame * 3 % std::max(1, height - regionH - 60);
  for (int y = 0; y < regionH && y0 + y < height; ++y)
    for (int x = 0; x < regionW && x0 + x < width; ++x)
      img.At(x0 + x, y0 + y) = ((x * 255 / regionW) << 16) | ((y * 255 / regionH) << 8) | 0x60;
  DrawText(img, x0, y0, regionW, regionH, 99, 0, 0xFFFFFF);
  return img;
}

// A full page of text scrolled up by `step` pixels a frame.
inline Image ScrollingPage(int width, int height, int step, int frame) {
  Image img(width, height);
  DrawText(img, 0, 0, width, height, 3, frame * step);
  return img;
}

// Smooth noise in [0, 1]: hashed values on a grid of `cell` pixels, blended between them.
inline double ValueNoise(double x, double y, double cell, uint32_t seed) {
  const double gx = x / cell, gy = y / cell;
  const double fx = std::floor(gx), fy = std::floor(gy);
  const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  auto at = [&](int cx, int cy) {
    return (Hash(seed ^ (static_cast<uint32_t>(cy) * 73856093U) ^
                 (static_cast<uint32_t>(cx) * 19349663U)) &
            0xFFFF) /
           65535.0;
  };
  double tx = gx - fx, ty = gy - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  const double top = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * tx;
  const double bottom = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * tx;
  return top + (bottom - top) * ty;
}

// One frame of a playing video as a player draws it: a landscape (sky, hills, textured ground)
// panned sideways by a fraction of a pixel's multiple each frame, so every pixel changes a
// little, plus the faint grain a lossy decoder leaves, different in every frame.
inline void Video(Image& img, int x0, int y0, int w, int h, int frame) {
  const double pan = frame * 2.7;
  for (int y = std::max(y0, 0); y < std::min(y0 + h, img.height); ++y) {
    const double v = static_cast<double>(y - y0) / h;
    for (int x = std::max(x0, 0); x < std::min(x0 + w, img.width); ++x) {
      const double sx = x - x0 + pan;
      const double ridge = 0.45 + 0.15 * ValueNoise(sx, 0, 90, 5) + 0.05 * ValueNoise(sx, 0, 23, 6);
      double r, g, b;
      if (v < ridge) {
        const double cloud = ValueNoise(sx * 0.5, y - y0, 40, 7);
        r = 90 + 100 * v + 60 * cloud;
        g = 140 + 80 * v + 60 * cloud;
        b = 230 - 20 * v + 20 * cloud;
      } else {
        const double d = (v - ridge) / (1 - ridge);
        const double ground =
            ValueNoise(sx, y - y0, 12, 8) * 0.6 + ValueNoise(sx, y - y0, 5, 9) * 0.4;
        r = 50 + 60 * ground + 30 * d;
        g = 90 + 80 * ground - 20 * d;
        b = 30 + 30 * ground;
      }
      const uint32_t grain =
          Hash(static_cast<uint32_t>(frame) * 2654435761U ^ static_cast<uint32_t>(y * 65599 + x));
      auto channel = [&](double c, int shift) {
        const int n = static_cast<int>(grain >> shift & 1);
        return static_cast<uint32_t>(std::clamp(static_cast<int>(c) + n, 0, 255));
      };
      img.At(x, y) = channel(r, 0) << 16 | channel(g, 3) << 8 | channel(b, 6);
    }
  }
}

// A desktop with a text window and, beside it, a 640x360 (or smaller) video playing.
inline Image PlayingVideo(int width, int height, int videoW, int videoH, int frame) {
  Image img(width, height);
  Desktop(img);
  Video(img, width - videoW - width / 40, height / 10, videoW, videoH, frame);
  return img;
}

}  // namespace scenes
