#pragma once
// A child window with a persistent drawing layer: a 32-bit bottom-up DIB section selected
// into a memory DC. Everything is drawn into the layer; WM_PAINT only copies it, so the
// drawing survives minimizing, covering and repaints, and the pixels are addressable (the
// recorder saves them without an extra copy).
//
// The layer is BackColor, then the Picture at (0, 0) unscaled, then whatever was drawn.
// Cls() and assigning BackColor or Picture start it again from BackColor and the Picture.
// Resizing the box keeps what still fits; new area is BackColor (and the Picture).
//
// Geometry is in twips relative to the container's client area; drawing coordinates are
// twips relative to the box's client area. Events follow the convention in form.h.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "toolkit/handles.h"
#include "toolkit/mouse_events.h"
#include "toolkit/picture.h"

namespace tk {

// The layer's pixels: `height` rows of `stride` bytes, bottom row first (BMP order), 4 bytes
// per pixel (B, G, R, 0). Valid until the box is resized or destroyed.
struct LayerPixels {
  uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

class PictureBox : public MouseEvents {
 public:
  PictureBox();
  ~PictureBox();
  PictureBox(const PictureBox&) = delete;
  PictureBox& operator=(const PictureBox&) = delete;

  // Makes the window as a child of `container` (a form's or another box's window), visible.
  bool Create(HWND container, double left, double top, double width, double height);
  HWND hWnd() const { return hwnd_; }

  double Left() const;
  double Top() const;
  double Width() const;
  double Height() const;
  void SetLeft(double twips);
  void SetTop(double twips);
  void SetWidth(double twips);
  void SetHeight(double twips);
  void Move(double left, double top, double width, double height);
  // Inner size in twips (the layer's size).
  double ScaleWidth() const;
  double ScaleHeight() const;
  // Inner size in pixels.
  int PixelWidth() const { return layerWidth_; }
  int PixelHeight() const { return layerHeight_; }

  bool Visible() const;
  void SetVisible(bool visible);
  // 0: in front of its siblings, 1: behind them.
  void ZOrder(int position = 0);

  COLORREF BackColor() const { return backColor_; }
  void SetBackColor(COLORREF color);  // also clears the layer, like Cls()
  // Pen colour of Line() without a colour and of PrintText().
  COLORREF ForeColor() const { return foreColor_; }
  void SetForeColor(COLORREF color) { foreColor_ = color; }
  HFONT Font() const { return font_; }
  void SetFont(HFONT borrowed);

  const Picture& GetPicture() const { return picture_; }
  void SetPicture(const Picture& picture);  // an empty Picture clears it
  void ClearPicture() { SetPicture(Picture()); }
  // A copy of the layer as it is now.
  Picture Image() const;

  // The layer's device context: draw into it, then Refresh(). Coordinates there are pixels.
  HDC hDC() const { return layerDc_.get(); }
  LayerPixels Pixels() const;
  // Shows the layer on the screen now.
  void Refresh();

  // Drawing into the layer (twips). Each call marks the window for repainting, which
  // happens when pending messages run (or at once with Refresh()).
  void Cls();
  void PaintPicture(const Picture& picture, double x, double y, double width, double height);
  // Part of the source (srcX, srcY, srcWidth, srcHeight in twips of the picture).
  void PaintPicture(const Picture& picture, double x, double y, double width, double height,
                    double srcX, double srcY, double srcWidth, double srcHeight);
  // A one-pixel line from (x1, y1) up to, not including, (x2, y2).
  void Line(double x1, double y1, double x2, double y2);
  void Line(double x1, double y1, double x2, double y2, COLORREF color);
  // Fills the rectangle between two corners, both included.
  void Fill(double x1, double y1, double x2, double y2, COLORREF color);
  // Colour of the layer pixel at (x, y), or CLR_INVALID outside.
  COLORREF Point(double x, double y) const;
  // Text drawn transparently in ForeColor and the box's font, top-left at (x, y).
  void PrintText(double x, double y, const std::wstring& text);
  double TextWidth(const std::wstring& text) const;
  double TextHeight(const std::wstring& text) const;

  // Writes the layer as a 32-bit BMP file (layout in toolkit/bmp_format.h) with one
  // WriteFile and no allocation: the header lives in front of the pixels in the same
  // memory. Replaces the file; false when it cannot be written.
  bool SaveLayerAsBmp(const std::wstring& path);

  // Cursor shown over the box: a system cursor id (IDC_ARROW, IDC_SIZENS, IDC_SIZEWE,
  // IDC_SIZENWSE, IDC_SIZENESW, ...). IDC_ARROW is the default.
  LPCWSTR MousePointer() const { return pointer_; }
  void SetMousePointer(LPCWSTR cursorId);

  std::function<void()> onResize;  // after the layer took the new size
  std::function<void()> onShow;    // the window became visible

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void WindowGone();
  void Paint();
  bool ResizeLayer(int width, int height);
  void ResetLayer();
  void Invalidate();
  RECT RectInParent() const;
  void SetRect(double left, double top, double width, double height);

  HWND hwnd_ = nullptr;
  // Destroyed in reverse order: the DC lets go of the bitmap before the bitmap and its
  // memory go.
  UniqueHandle section_;  // memory behind the layer, with the BMP header in front
  UniqueView view_;       // our own view of `section_`
  UniqueBitmap layerBitmap_;
  UniqueMemDc layerDc_;
  HGDIOBJ oldBitmap_ = nullptr;
  uint8_t* bits_ = nullptr;
  int layerWidth_ = 0;
  int layerHeight_ = 0;
  COLORREF backColor_;
  COLORREF foreColor_ = RGB(0, 0, 0);
  HFONT font_ = nullptr;
  Picture picture_;
  LPCWSTR pointer_ = IDC_ARROW;
  int buttonsDown_ = 0;
};

}  // namespace tk
