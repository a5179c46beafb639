#pragma once
// Generated screen content for the codec's tests and bench: text-like pages, flat colours,
// noise, a dragged window and a scrolling page, as 32-bit B, G, R, 0 pixels, top-down.
#include <algorithm>
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

}  // namespace scenes
