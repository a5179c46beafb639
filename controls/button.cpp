#include "controls/button.h"

#include <optional>
#include <utility>

namespace orvik {

namespace {

std::wstring FromUtf8(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
  return out;
}

// A lone surrogate in the caption becomes U+FFFD, so what is written always reads back.
std::string ToUtf8(const std::wstring& s) {
  if (s.empty()) return {};
  const int size = static_cast<int>(s.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, s.data(), size, &out[0], n, nullptr, nullptr);
  return out;
}

// GDI takes only plain RGB values; a system colour is looked up when it is used, so the
// caption follows the system's colour scheme.
COLORREF Printable(COLORREF color) {
  return (color & 0x80000000u) ? GetSysColor(static_cast<int>(color & 0xFF)) : color;
}

}  // namespace

Button::Button() {
  surface_.onMouseMove = [this](int b, int s, float x, float y) { OnMouseMove(b, s, x, y); };
  surface_.onMouseDown = [this](int b, int s, float x, float y) { OnMouseDown(b, s, x, y); };
  surface_.onMouseUp = [this](int b, int s, float x, float y) { OnMouseUp(b, s, x, y); };
  // Raised whatever `value` and `unabled` are.
  surface_.onClick = [this] {
    if (Click) Click();
  };
  surface_.onResize = [this] { Redraw(); };
  surface_.onShow = [this] { OnShow(); };
}

bool Button::Create(HWND container, double left, double top, double width, double height) {
  if (!surface_.Create(container, left, top, width, height)) return false;
  // Hidden until the host shows it, so that showing runs after the properties are loaded.
  surface_.SetVisible(false);
  Redraw();
  return true;
}

void Button::Move(double left, double top, double width, double height) {
  const double oldWidth = ScaleWidth(), oldHeight = ScaleHeight();
  surface_.Move(left, top, width, height);
  // Sizing the control is its resize, also when the size stays: a control loaded after it
  // was created gets its caption drawn in the loaded colour here.
  if (ScaleWidth() == oldWidth && ScaleHeight() == oldHeight) Redraw();
}

void Button::value(bool latched) {
  value_ = latched;
  if (latched && mouseDown_) {
    PaintWhole(mouseDown_);
  } else if (backGround_) {
    PaintWhole(backGround_);
  }
  DrawCaption();
}

void Button::forecolor(COLORREF color) {
  surface_.SetForeColor(color);
  DrawCaption();
}

void Button::BackGroundPicture(const tk::Picture& picture) {
  backGround_ = picture;
  if (backGround_) PaintWhole(backGround_);
  DrawCaption();
  Notify(kKeyBackGroundPicture);
}

void Button::MouseMovePicture(const tk::Picture& picture) {
  mouseMove_ = picture;
  Notify(kKeyMouseMovePicture);
}

void Button::MouseDownPicture(const tk::Picture& picture) {
  mouseDown_ = picture;
  Notify(kKeyMouseDownPicture);
}

void Button::Text(const std::wstring& text) {
  text_ = text;
  // The normal picture is the only way to erase the old caption.
  if (backGround_) PaintWhole(backGround_);
  DrawCaption();
  Notify(kKeyText);
}

void Button::PaintWhole(const tk::Picture& picture) {
  surface_.PaintPicture(picture, 0, 0, surface_.ScaleWidth(), surface_.ScaleHeight());
}

void Button::DrawCaption() {
  const float x =
      (static_cast<float>(surface_.ScaleWidth()) - static_cast<float>(surface_.TextWidth(text_))) /
      2;
  const float y = (static_cast<float>(surface_.ScaleHeight()) -
                   static_cast<float>(surface_.TextHeight(text_))) /
                  2;
  const COLORREF stored = surface_.ForeColor();
  surface_.SetForeColor(Printable(stored));
  surface_.PrintText(x, y, text_);
  surface_.SetForeColor(stored);
}

void Button::Redraw() {
  if (backGround_) PaintWhole(backGround_);
  DrawCaption();
  surface_.Refresh();
}

void Button::Notify(size_t key) {
  if (PropertyChanged) PropertyChanged(kButtonKeys[key]);
}

void Button::OnShow() {
  if (value_) value(true);
}

void Button::Raise(const MouseEvent& event, int button, int shift, float x, float y) {
  if (!event) return;
  int16_t b = static_cast<int16_t>(button), s = static_cast<int16_t>(shift);
  event(b, s, x, y);
}

void Button::OnMouseMove(int button, int shift, float x, float y) {
  if (value_ || unabled_ || button != 0) return;
  const double w = surface_.ScaleWidth(), h = surface_.ScaleHeight();
  // The right and bottom edges count as inside.
  const bool outside = x < 0 || y < 0 || x > w || y > h;
  if (outside) {
    // Only our own hover capture is given back; a move that reaches us without it (sent by
    // someone else) must not end another window's capture.
    if (GetCapture() == hWnd()) ReleaseCapture();
    if (backGround_) PaintWhole(backGround_);
  } else {
    // Every time: the capture is how the control notices the pointer leaving. (Under Wine
    // a capture without a button held grabs nothing in X: a pointer that leaves all of the
    // program's windows at once sends no move, and the hover stays until it comes back.)
    SetCapture(hWnd());
    if (mouseMove_) PaintWhole(mouseMove_);
  }
  DrawCaption();
  Raise(MouseMove, button, shift, x, y);
}

void Button::OnMouseDown(int button, int shift, float x, float y) {
  if (value_ || unabled_) return;
  if (mouseDown_ && (powerButton_ == 0 || button == powerButton_)) PaintWhole(mouseDown_);
  DrawCaption();
  Raise(Mousedown, button, shift, x, y);
}

void Button::OnMouseUp(int button, int shift, float x, float y) {
  if (value_ || unabled_) return;
  // The normal picture even over the control: the next move brings the hover picture back.
  if (backGround_) PaintWhole(backGround_);
  DrawCaption();
  Raise(MouseUp, button, shift, x, y);
}

bool Button::ReadProperties(const PropertyBag& bag, BagError* error) {
  return Apply(ReadButtonBag(bag), error);
}

bool Button::ReadProperties(const uint8_t* data, size_t size, BagError* error) {
  return Apply(ReadButtonBag(data, size), error);
}

bool Button::Apply(const ButtonBagRead& read, BagError* error) {
  unabled_ = false;
  for (size_t key = 0; key < read.keysRead; ++key) {
    if (!ApplyKey(read.stored, key)) {
      if (error) *error = BagError{kButtonKeys[key], key, "the picture could not be created"};
      return false;
    }
  }
  if (read.error && error) *error = *read.error;
  return read.ok();
}

bool Button::ApplyKey(const StoredButton& stored, size_t key) {
  switch (key) {
    case kKeyBackGroundPicture:
    case kKeyMouseMovePicture:
    case kKeyMouseDownPicture: {
      const std::vector<uint8_t>& bmp = stored.pictures[key];
      std::optional<tk::Picture> picture =
          bmp.empty() ? tk::Picture() : tk::Picture::FromBmpBytes(bmp.data(), bmp.size());
      if (!picture) return false;
      if (key == kKeyBackGroundPicture) BackGroundPicture(*picture);
      if (key == kKeyMouseMovePicture) MouseMovePicture(*picture);
      if (key == kKeyMouseDownPicture) MouseDownPicture(*picture);
      return true;
    }
    case kKeyButton:
      powerButton_ = stored.powerButton;
      return true;
    case kKeyText:
      Text(FromUtf8(stored.text));
      return true;
    case kKeyFcolor:
      // Straight to the surface: the caption shows this colour from the next redraw on.
      surface_.SetForeColor(static_cast<COLORREF>(stored.fcolor));
      return true;
    case kKeyValue:
      // The pressed picture comes when the control is shown.
      value_ = stored.value;
      return true;
    default:
      return false;
  }
}

bool Button::WriteProperties(PropertyBag& bag) const {
  StoredButton stored;
  stored.pictures = {backGround_.BmpBytes(), mouseMove_.BmpBytes(), mouseDown_.BmpBytes()};
  stored.powerButton = powerButton_;
  stored.text = ToUtf8(text_);
  stored.fcolor = static_cast<int32_t>(surface_.ForeColor());
  stored.value = value_;
  return WriteButtonBag(stored, bag);
}

}  // namespace orvik
