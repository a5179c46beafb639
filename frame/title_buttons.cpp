// The skin's minimize, maximize, restore and close buttons on the caption's right end.
#include "frame/form1.h"
#include "skin/skin.h"

namespace orvik {

namespace {
constexpr double kButtonTop = 75;
constexpr double kButtonSide = 285;
constexpr double kMinimizeLeft = 480;
constexpr double kMaximizeLeft = 780;
constexpr double kCloseLeft = 1080;

// The button's pictures for the windows' DPI, at its place.
void DressButton(Button& button, int bagNumber, double left) {
  if (std::optional<PropertyBag> bag = LoadButtonBag(bagNumber, UiDpi()))
    button.ReadProperties(*bag);
  button.Move(left, kButtonTop, kButtonSide, kButtonSide);
}

void PlaceButton(Button& button, HWND container, int bagNumber, double left) {
  button.Create(container, left, kButtonTop, kButtonSide, kButtonSide);
  DressButton(button, bagNumber, left);
  button.SetVisible(true);
}
}  // namespace

void Form1::CreateTitleButtons() {
  HWND end = rightcaption.hWnd();
  PlaceButton(Button1, end, 1, kMinimizeLeft);
  PlaceButton(Button4, end, 4, kMaximizeLeft);
  PlaceButton(Button2, end, 2, kMaximizeLeft);
  PlaceButton(Button3, end, 3, kCloseLeft);
  Button2.ZOrder(0);
  Button1.MouseUp = [this](int16_t& b, int16_t& s, float& x, float& y) {
    Button1_MouseUp(b, s, x, y);
  };
  Button2.MouseUp = [this](int16_t& b, int16_t& s, float& x, float& y) {
    Button2_MouseUp(b, s, x, y);
  };
  Button3.MouseUp = [this](int16_t& b, int16_t& s, float& x, float& y) {
    Button3_MouseUp(b, s, x, y);
  };
  Button4.MouseUp = [this](int16_t& b, int16_t& s, float& x, float& y) {
    Button4_MouseUp(b, s, x, y);
  };
}

void Form1::ReloadTitleButtons() {
  DressButton(Button1, 1, kMinimizeLeft);
  DressButton(Button4, 4, kMaximizeLeft);
  DressButton(Button2, 2, kMaximizeLeft);
  DressButton(Button3, 3, kCloseLeft);
}

// Maximize and restore share a place: the one that fits the window's state shows.
void Form1::ShowStateButtons() {
  const bool normal = WindowState() == tk::kStateNormal;
  Button2.SetVisible(normal);
  Button4.SetVisible(!normal);
}

void Form1::Button1_MouseUp(int16_t& Button, int16_t& Shift, float& X, float& Y) {
  (void)Shift;
  if (!ReleasedInside(Button, X, Y, Button1.Width(), Button1.Height())) return;
  SetWindowState(tk::kStateMinimized);
}

void Form1::Button2_MouseUp(int16_t& Button, int16_t& Shift, float& X, float& Y) {
  (void)Shift;
  if (!ReleasedInside(Button, X, Y, Button2.Width(), Button2.Height())) return;
  backcaption_DblClick();
}

void Form1::Button3_MouseUp(int16_t& Button, int16_t& Shift, float& X, float& Y) {
  (void)Shift;
  if (!ReleasedInside(Button, X, Y, Button3.Width(), Button3.Height())) return;
  Unload();
}

void Form1::Button4_MouseUp(int16_t& Button, int16_t& Shift, float& X, float& Y) {
  (void)Shift;
  if (!ReleasedInside(Button, X, Y, Button4.Width(), Button4.Height())) return;
  backcaption_DblClick();
}

}  // namespace orvik
