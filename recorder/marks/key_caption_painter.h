#pragma once
// Draws the caption of the keys pressed into a frame, centred at the bottom of the picture.
// The caption's picture is made once each time its text changes; a frame only blends it in,
// with the caption's fading opacity.
#include <windows.h>

#include <memory>
#include <string>

#include "recorder/capture/capture_area.h"
#include "recorder/marks/key_caption.h"
#include "toolkit/handles.h"

namespace orvik {

class KeyCaptionPainter {
 public:
  // Makes the font for a screen of `dpi`; false when the system gave none.
  bool Create(int dpi);
  void Draw(HDC surface, const CaptureArea& area, const VisibleCaption& caption);

 private:
  bool Render(const std::wstring& text);
  bool MakeBitmap(int width, int height, void** bits);

  CaptionLayout layout_;
  int dpi_ = 0;
  tk::UniqueFont font_;
  std::wstring text_;  // the text the picture shows
  int width_ = 0, height_ = 0;
  uint32_t* bits_ = nullptr;
  tk::UniqueBitmap bitmap_;
  tk::UniqueMemDc dc_;
  std::unique_ptr<tk::SelectGuard> selected_;
};

}  // namespace orvik
