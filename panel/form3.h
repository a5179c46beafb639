#pragma once
// The full-screen overlay on which the capture rectangle is dragged out: a frozen image of
// the screen, a rectangle drawn over it, and the pointer confined while the rectangle is
// carried to its place. Where the pointer rests without a button, the window under it is
// outlined, and a click picks it to be followed.
#include <vector>

#include "panel/selection.h"
#include "panel/window_pick.h"
#include "toolkit/form.h"
#include "toolkit/handles.h"
#include "toolkit/picturebox.h"

namespace orvik {

class Form3 : public tk::Form {
 public:
  Form3();

  // Takes the screen image, then shows the overlay over the whole screen.
  void ShowOverlay();
  const Selection& CurrentSelection() const { return sel_; }
  // The window outlined under the pointer (null: none).
  HWND HoveredWindow() const { return hovered_; }

 protected:
  void Form_Load() override;
  void Form_Activate() override;
  void Form_KeyDown(int& keyCode, int shift) override;
  void Form_Unload(int& cancel) override;

 private:
  void Form_MouseDown(int button, int shift, float x, float y) override;
  void Form_MouseMove(int button, int shift, float x, float y) override;
  void Form_MouseUp(int button, int shift, float x, float y) override;
  void TakeScreenImage();
  // The rectangle, and its size next to the pointer at (x, y) (twips).
  void DrawRectangle(float x, float y);
  void DrawSizeReadout(float x, float y);
  void Commit();
  void HoverAt(float x, float y);
  void DrawOutline(const PixelRect& frame);
  bool PickWindowAt(float x, float y);
  void HandOver(const CaptureArea& area);

  tk::UniqueFont readoutFont_;  // borrowed by surface_, so made before and freed after it
  tk::PictureBox surface_;      // covers the client area; holds the screen image
  Selection sel_;
  std::vector<PickableWindow> windows_;  // as they were when the screen's image was taken
  HWND hovered_ = nullptr;
};

}  // namespace orvik
