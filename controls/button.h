#pragma once
// A child control drawn entirely from three host-supplied pictures (normal, hover, pressed),
// stretched over the whole control, with an optional caption centred on top. It tracks the
// pointer itself, holding the mouse capture while the pointer hovers so that it sees the
// pointer leave, and reports presses and releases; what a press means is up to the host.
//
// Host life cycle: Create (the control starts hidden), ReadProperties, Move, then
// SetVisible(true). Showing a control whose `value` is true paints its pressed picture.
// WriteProperties saves it; PropertyChanged tells the host which key must be saved again.
//
// Geometry and mouse coordinates are twips (15 per pixel); mouse buttons are 1 left, 2 right,
// 4 middle; the shift state is 1 Shift, 2 Ctrl, 4 Alt.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "controls/button_bag.h"
#include "toolkit/picture.h"
#include "toolkit/picturebox.h"
#include "toolkit/property_bag.h"

namespace orvik {

class Button {
 public:
  // The arguments are the ones the control received, handed on by reference.
  using MouseEvent = std::function<void(int16_t& Button, int16_t& Shift, float& X, float& Y)>;

  Button();
  Button(const Button&) = delete;
  Button& operator=(const Button&) = delete;

  // Makes the control's window as a hidden child of `container` (a form's or a picture
  // box's window); geometry in twips of the container's client area.
  bool Create(HWND container, double left, double top, double width, double height);
  HWND hWnd() const { return surface_.hWnd(); }
  // Always redraws as a resize does, whether or not the size changes.
  void Move(double left, double top, double width, double height);
  double Left() const { return surface_.Left(); }
  double Top() const { return surface_.Top(); }
  double Width() const { return surface_.Width(); }
  double Height() const { return surface_.Height(); }
  double ScaleWidth() const { return surface_.ScaleWidth(); }
  double ScaleHeight() const { return surface_.ScaleHeight(); }
  bool Visible() const { return surface_.Visible(); }
  void SetVisible(bool visible) { surface_.SetVisible(visible); }
  void ZOrder(int position = 0) { surface_.ZOrder(position); }
  // The retained drawing surface, for reading what the control shows.
  const tk::PictureBox& Surface() const { return surface_; }

  // Latched: shows the pressed picture (the normal one when there is none) and ignores the
  // mouse until set false again.
  bool value() const { return value_; }
  void value(bool latched);
  // Caption colour: 0x00BBGGRR, or a system colour (0x80000000 | COLOR_xxx). Setting it
  // prints the caption again over the current image.
  COLORREF forecolor() const { return surface_.ForeColor(); }
  void forecolor(COLORREF color);
  // The mouse button whose press shows the pressed picture; 0 for any.
  int16_t PowerButton() const { return powerButton_; }
  void PowerButton(int16_t button) { powerButton_ = button; }
  // Pictures are shared: the control keeps a reference; an empty Picture clears one.
  tk::Picture BackGroundPicture() const { return backGround_; }
  void BackGroundPicture(const tk::Picture& picture);
  tk::Picture MouseMovePicture() const { return mouseMove_; }
  void MouseMovePicture(const tk::Picture& picture);
  tk::Picture MouseDownPicture() const { return mouseDown_; }
  void MouseDownPicture(const tk::Picture& picture);
  const std::wstring& Text() const { return text_; }
  void Text(const std::wstring& text);
  // Freezes the image as it is and ignores the mouse; Click is still raised.
  bool unabled() const { return unabled_; }
  void unabled(bool frozen) { unabled_ = frozen; }

  // Loads the stored keys in order (the layout is in controls/button_bag.h), through the
  // property setters where the key has one. Stops at the first key that cannot be read and
  // returns false with `error` naming it; the keys before it stay applied. `unabled` is
  // always false after a load.
  bool ReadProperties(const PropertyBag& bag, BagError* error = nullptr);
  // The same from an encoded bag (a file or an RCDATA resource); a damaged bag stops at the
  // key where it is damaged.
  bool ReadProperties(const uint8_t* data, size_t size, BagError* error = nullptr);
  // Writes the seven keys, each always. False when the bag refused one.
  bool WriteProperties(PropertyBag& bag) const;

  // Draws the control again: normal picture, caption, then shows it (as on a resize).
  void Repaint() { Redraw(); }

  // The host learns the persisted key of a property that must be saved again.
  std::function<void(const std::string& key)> PropertyChanged;

  std::function<void()> Click;
  MouseEvent Mousedown;
  MouseEvent MouseUp;
  MouseEvent MouseMove;

 private:
  void PaintWhole(const tk::Picture& picture);
  void DrawCaption();
  void Redraw();
  void Notify(size_t key);
  void OnShow();
  void OnMouseMove(int button, int shift, float x, float y);
  void OnMouseDown(int button, int shift, float x, float y);
  void OnMouseUp(int button, int shift, float x, float y);
  static void Raise(const MouseEvent& event, int button, int shift, float x, float y);
  bool Apply(const ButtonBagRead& read, BagError* error);
  bool ApplyKey(const StoredButton& stored, size_t key);

  std::wstring text_;
  tk::Picture backGround_;
  tk::Picture mouseMove_;
  tk::Picture mouseDown_;
  bool unabled_ = false;
  int16_t powerButton_ = 0;
  bool value_ = false;
  tk::PictureBox surface_;
};

}  // namespace orvik
