#include "recorder/marks/key_caption_painter.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace orvik {

bool KeyCaptionPainter::Create(int dpi) {
  if (font_ && dpi == dpi_) return true;
  dpi_ = dpi;
  layout_ = CaptionLayoutAt(dpi);
  text_.clear();
  font_.reset(CreateFontW(-layout_.fontPixels, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                          DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                          ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
  if (!dc_) dc_.reset(CreateCompatibleDC(nullptr));
  return font_ && dc_;
}

bool KeyCaptionPainter::MakeBitmap(int width, int height, void** bits) {
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = -height;  // top-down, as the pixels are made
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  selected_.reset();  // the old picture is unselected before it goes
  bitmap_.reset(CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, bits, nullptr, 0));
  if (!bitmap_ || !*bits) return false;
  selected_ = std::make_unique<tk::SelectGuard>(dc_.get(), bitmap_.get());
  return true;
}

// The text drawn white on black gives how much of each pixel it covers; the box and the
// light text are then made from that, premultiplied for AlphaBlend.
bool KeyCaptionPainter::Render(const std::wstring& text) {
  text_.clear();
  if (!font_ || !dc_) return false;
  tk::SelectGuard font(dc_.get(), font_.get());
  SIZE size{};
  if (!GetTextExtentPoint32W(dc_.get(), text.c_str(), static_cast<int>(text.size()), &size))
    return false;
  const int width = size.cx + 2 * layout_.padX, height = size.cy + 2 * layout_.padY;
  if (width != width_ || height != height_ || !bitmap_) {
    void* bits = nullptr;
    width_ = height_ = 0;
    if (!MakeBitmap(width, height, &bits)) return false;
    bits_ = static_cast<uint32_t*>(bits);
    width_ = width, height_ = height;
  }
  const size_t count = static_cast<size_t>(width) * height;
  std::memset(bits_, 0, count * sizeof(uint32_t));
  SetBkMode(dc_.get(), TRANSPARENT);
  SetTextColor(dc_.get(), RGB(255, 255, 255));
  TextOutW(dc_.get(), layout_.padX, layout_.padY, text.c_str(), static_cast<int>(text.size()));
  GdiFlush();
  std::vector<uint8_t> coverage(count);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t p = bits_[i];
    coverage[i] = static_cast<uint8_t>(std::max({p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF}));
  }
  const std::vector<uint32_t> pixels = CaptionPixels(width, height, layout_.radius, coverage);
  std::memcpy(bits_, pixels.data(), count * sizeof(uint32_t));
  text_ = text;
  return true;
}

void KeyCaptionPainter::Draw(HDC surface, const CaptureArea& area, const VisibleCaption& caption) {
  if (caption.text != text_ && !Render(caption.text)) return;
  // Centred, its bottom edge bottomGap above the frame's; a frame smaller than the caption
  // shows the part of it that fits.
  const int x = (area.width - width_) / 2;
  const int y = area.height - layout_.bottomGap - height_;
  const int left = std::max(x, 0), top = std::max(y, 0);
  const int right = std::min(x + width_, area.width), bottom = std::min(y + height_, area.height);
  if (right <= left || bottom <= top) return;
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(caption.opacity * 255.0f + 0.5f),
                            AC_SRC_ALPHA};
  AlphaBlend(surface, left, top, right - left, bottom - top, dc_.get(), left - x, top - y,
             right - left, bottom - top, blend);
}

}  // namespace orvik
