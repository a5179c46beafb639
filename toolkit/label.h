#pragma once
// A caption drawn transparently over its container: the container's pixels show around the
// glyphs (a PictureBox container lends its layer; any other window its background colour).
// Mouse events follow the convention in form.h, in twips relative to the label.
#include <windows.h>

#include <functional>
#include <string>

#include "toolkit/mouse_events.h"

namespace tk {

class PictureBox;

class Label : public MouseEvents {
 public:
  Label() = default;
  ~Label();
  Label(const Label&) = delete;
  Label& operator=(const Label&) = delete;

  bool Create(PictureBox& container, double left, double top, double width, double height,
              const std::wstring& caption);
  bool Create(HWND container, double left, double top, double width, double height,
              const std::wstring& caption);
  HWND hWnd() const { return hwnd_; }

  const std::wstring& Caption() const { return caption_; }
  void SetCaption(const std::wstring& caption);

  double Left() const;
  double Top() const;
  double Width() const;
  double Height() const;
  void SetLeft(double twips);
  void SetTop(double twips);
  void Move(double left, double top, double width, double height);
  bool Visible() const;
  void SetVisible(bool visible);

  COLORREF ForeColor() const { return foreColor_; }
  void SetForeColor(COLORREF color);
  // Background where the container is not a PictureBox.
  void SetBackColor(COLORREF color);
  HFONT Font() const { return font_; }
  void SetFont(HFONT borrowed);
  // Width and height of `text` (default: the caption) in the label's font, in twips.
  double TextWidth(const std::wstring& text) const;
  double TextWidth() const { return TextWidth(caption_); }
  double TextHeight(const std::wstring& text) const;

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void WindowGone();
  void Paint();
  void SetRect(double left, double top, double width, double height);
  RECT RectInParent() const;

  HWND hwnd_ = nullptr;
  PictureBox* box_ = nullptr;  // container, when it is a PictureBox (borrowed)
  std::wstring caption_;
  COLORREF foreColor_ = RGB(0, 0, 0);
  COLORREF backColor_ = CLR_INVALID;
  HFONT font_ = nullptr;
  int buttonsDown_ = 0;
};

}  // namespace tk
