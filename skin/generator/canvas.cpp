#include "skin/generator/canvas.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "toolkit/bmp_format.h"

namespace orvik::skinart {

namespace {

constexpr int kSamples = 4;  // per side of a pixel

uint8_t Lerp(uint8_t a, uint8_t b, double t) {
  return static_cast<uint8_t>(std::lround(a + (b - a) * t));
}

double Ratio(int i, int n) { return n > 1 ? static_cast<double>(i) / (n - 1) : 0.0; }

}  // namespace

Rgb Mix(Rgb a, Rgb b, double t) {
  return {Lerp(a.r, b.r, t), Lerp(a.g, b.g, t), Lerp(a.b, b.b, t)};
}

Shape RoundRect(double left, double top, double right, double bottom, double radius) {
  return [=](double x, double y) {
    if (x < left || x > right || y < top || y > bottom) return false;
    const double cx = std::clamp(x, left + radius, right - radius);
    const double cy = std::clamp(y, top + radius, bottom - radius);
    const double dx = x - cx, dy = y - cy;
    return dx * dx + dy * dy <= radius * radius;
  };
}

Shape Circle(double cx, double cy, double radius) {
  return [=](double x, double y) {
    const double dx = x - cx, dy = y - cy;
    return dx * dx + dy * dy <= radius * radius;
  };
}

Shape Stroke(double ax, double ay, double bx, double by, double halfWidth) {
  return [=](double x, double y) {
    const double vx = bx - ax, vy = by - ay;
    const double len2 = vx * vx + vy * vy;
    const double t = len2 > 0 ? std::clamp(((x - ax) * vx + (y - ay) * vy) / len2, 0.0, 1.0) : 0;
    const double dx = x - (ax + t * vx), dy = y - (ay + t * vy);
    return dx * dx + dy * dy <= halfWidth * halfWidth;
  };
}

Shape Union(Shape a, Shape b) {
  return [a = std::move(a), b = std::move(b)](double x, double y) { return a(x, y) || b(x, y); };
}

Shape Minus(Shape a, Shape b) {
  return [a = std::move(a), b = std::move(b)](double x, double y) { return a(x, y) && !b(x, y); };
}

Canvas::Canvas(int width, int height, Rgb fill)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<size_t>(width_) * height_, fill) {}

void Canvas::Set(int x, int y, Rgb c) {
  if (Inside(x, y)) pixels_[Index(x, y)] = c;
}

void Canvas::FillRect(int x, int y, int w, int h, Rgb c) {
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) Set(i, j, c);
}

void Canvas::VerticalGradient(int x, int y, int w, int h, Rgb top, Rgb bottom) {
  for (int j = 0; j < h; ++j) FillRect(x, y + j, w, 1, Mix(top, bottom, Ratio(j, h)));
}

void Canvas::HorizontalGradient(int x, int y, int w, int h, Rgb left, Rgb right) {
  for (int i = 0; i < w; ++i) FillRect(x + i, y, 1, h, Mix(left, right, Ratio(i, w)));
}

int Canvas::Coverage(const Shape& shape, int x, int y) {
  int inside = 0;
  for (int j = 0; j < kSamples; ++j)
    for (int i = 0; i < kSamples; ++i)
      if (shape(x + (i + 0.5) / kSamples, y + (j + 0.5) / kSamples)) ++inside;
  return inside;
}

void Canvas::Fill(const Shape& shape, Rgb c) {
  Fill(shape, [c](int, int) { return c; });
}

void Canvas::Fill(const Shape& shape, const std::function<Rgb(int x, int y)>& paint) {
  constexpr int kAll = kSamples * kSamples;
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x)
      if (const int n = Coverage(shape, x, y))
        pixels_[Index(x, y)] =
            Mix(pixels_[Index(x, y)], paint(x, y), static_cast<double>(n) / kAll);
}

void Canvas::Paste(const Canvas& src, int x, int y) {
  for (int j = 0; j < src.height_; ++j)
    for (int i = 0; i < src.width_; ++i) Set(x + i, y + j, src.At(i, j));
}

Canvas Canvas::Crop(int x, int y, int w, int h) const {
  Canvas out(w, h);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      if (Inside(x + i, y + j)) out.Set(i, j, At(x + i, y + j));
  return out;
}

std::vector<uint8_t> Canvas::Bmp24() const {
  const auto header = MakeBmpHeader(width_, height_, 24);
  const size_t stride = BmpStride(width_, 24);
  std::vector<uint8_t> out(header.begin(), header.end());
  out.resize(header.size() + stride * height_, 0);
  for (int y = 0; y < height_; ++y) {
    uint8_t* row = &out[header.size() + stride * (height_ - 1 - y)];
    for (int x = 0; x < width_; ++x) {
      const Rgb c = At(x, y);
      row[3 * x] = c.b;
      row[3 * x + 1] = c.g;
      row[3 * x + 2] = c.r;
    }
  }
  return out;
}

// Icon file: ICONDIR (6 bytes), one 16-byte ICONDIRENTRY per image, then per image a
// BITMAPINFOHEADER whose height counts the colour rows and the mask rows together, the
// 24-bit colour rows and the 1-bit mask rows (1 = transparent), both bottom-up and padded
// to 4 bytes.
std::vector<uint8_t> EncodeIco(const std::vector<IconImage>& images) {
  const size_t count = images.size();
  std::vector<uint8_t> out(6 + 16 * count, 0);
  WriteLe16(&out[2], 1);  // type: icon
  WriteLe16(&out[4], static_cast<uint16_t>(count));
  for (size_t n = 0; n < count; ++n) {
    const Canvas& px = images[n].pixels;
    const int w = px.width(), h = px.height();
    const size_t colourStride = BmpStride(w, 24);
    const size_t maskStride = BmpStride(w, 1);
    const size_t size = kBmpInfoHeaderSize + (colourStride + maskStride) * h;
    uint8_t* entry = &out[6 + 16 * n];
    entry[0] = static_cast<uint8_t>(w < 256 ? w : 0);
    entry[1] = static_cast<uint8_t>(h < 256 ? h : 0);
    WriteLe16(entry + 4, 1);   // planes
    WriteLe16(entry + 6, 24);  // bits per pixel
    WriteLe32(entry + 8, static_cast<uint32_t>(size));
    WriteLe32(entry + 12, static_cast<uint32_t>(out.size()));

    const size_t at = out.size();
    out.resize(at + size, 0);
    uint8_t* info = &out[at];
    WriteLe32(info, kBmpInfoHeaderSize);
    WriteLe32(info + 4, static_cast<uint32_t>(w));
    WriteLe32(info + 8, static_cast<uint32_t>(2 * h));
    WriteLe16(info + 12, 1);
    WriteLe16(info + 14, 24);
    WriteLe32(info + 20, static_cast<uint32_t>((colourStride + maskStride) * h));
    uint8_t* colour = info + kBmpInfoHeaderSize;
    uint8_t* mask = colour + colourStride * h;
    for (int y = 0; y < h; ++y) {
      uint8_t* crow = colour + colourStride * (h - 1 - y);
      uint8_t* mrow = mask + maskStride * (h - 1 - y);
      for (int x = 0; x < w; ++x) {
        const bool clear = images[n].transparent[static_cast<size_t>(y) * w + x];
        // A see-through pixel must be black: the system ANDs the mask and XORs the colour.
        const Rgb c = clear ? Rgb{} : px.At(x, y);
        crow[3 * x] = c.b;
        crow[3 * x + 1] = c.g;
        crow[3 * x + 2] = c.r;
        if (clear) mrow[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
    }
  }
  return out;
}

}  // namespace orvik::skinart
