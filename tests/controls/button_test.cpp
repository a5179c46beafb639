#include "controls/button.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/ui_driver.h"
#include "toolkit/bmp_format.h"
#include "toolkit/form.h"
#include "toolkit/window_testing.h"

using namespace toolkit_testing;
using orvik::Button;

namespace {

// Each visual state has its own solid colour, so one pixel tells the state apart.
constexpr COLORREF kNormal = RGB(200, 30, 30);
constexpr COLORREF kHover = RGB(30, 180, 40);
constexpr COLORREF kPressed = RGB(20, 40, 210);
constexpr COLORREF kScribble = RGB(1, 2, 3);
constexpr int kW = 40, kH = 30;  // control size in pixels

tk::Picture Solid(COLORREF color) { return tk::Picture::Solid(10, 10, color); }

// A 24-bit picture read from a BMP file in memory, as the skin's pictures are.
tk::Picture Solid24(int w, int h, COLORREF color) {
  auto header = orvik::MakeBmpHeader(w, h, 24);
  std::vector<uint8_t> bmp(header.begin(), header.end());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      bmp.insert(bmp.end(), {GetBValue(color), GetGValue(color), GetRValue(color)});
    }
    bmp.resize(bmp.size() + orvik::BmpStride(w, 24) - w * 3, 0);
  }
  return *tk::Picture::FromBmpBytes(bmp.data(), bmp.size());
}

std::string Fmt(const char* name, int16_t b, int16_t s, float x, float y) {
  char text[96];
  std::snprintf(text, sizeof text, "%s %d %d %g %g", name, b, s, x, y);
  return text;
}

// A shown form holding one control at (20, 30) px, all three pictures set unless asked not
// to; every event and notification the control raises goes to `events`.
struct Scene {
  tk::Form form{tk::FormOptions::Sizable(L"button", 9000, 7500)};
  Button button;
  std::vector<std::string> events;

  explicit Scene(bool pictures = true, HWND container = nullptr) {
    SetCursorPos(1900, 1050);  // a real pointer over the form would add its own moves
    form.Move(1500, 1500);
    form.Show();
    EXPECT_TRUE(button.Create(container ? container : form.hWnd(), 300, 450, kW * 15, kH * 15));
    Listen();
    if (pictures) {
      button.BackGroundPicture(Solid(kNormal));
      button.MouseMovePicture(Solid(kHover));
      button.MouseDownPicture(Solid(kPressed));
    }
    button.SetVisible(true);
    events.clear();
    PumpFor(30);
  }
  ~Scene() {
    if (GetCapture() == button.hWnd()) ReleaseCapture();
  }

  void Listen() {
    auto log = [this](const char* name) {
      return [this, name](int16_t& b, int16_t& s, float& x, float& y) {
        events.push_back(Fmt(name, b, s, x, y));
      };
    };
    button.Mousedown = log("Mousedown");
    button.MouseUp = log("MouseUp");
    button.MouseMove = log("MouseMove");
    button.Click = [this] { events.push_back("Click"); };
    button.PropertyChanged = [this](const std::string& key) { events.push_back("changed " + key); };
  }

  HWND hwnd() const { return button.hWnd(); }
  COLORREF At(int x, int y) const { return button.Surface().Point(x * 15.0, y * 15.0); }
  // The colour of the whole surface when corners and centre agree, else CLR_INVALID.
  COLORREF Look() const {
    const COLORREF c = At(0, 0);
    const bool same = At(kW - 1, 0) == c && At(0, kH - 1) == c && At(kW - 1, kH - 1) == c &&
                      At(kW / 2, kH / 2) == c;
    return same ? c : CLR_INVALID;
  }
  void Scribble(int x, int y) { SetPixel(button.Surface().hDC(), x, y, kScribble); }
  std::string Last() const { return events.empty() ? "" : events.back(); }
};

LPARAM Point(int x, int y) {
  return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)),
                    static_cast<WORD>(static_cast<short>(y)));
}
void MoveTo(HWND h, int x, int y, WPARAM held = 0) {
  SendMessageW(h, WM_MOUSEMOVE, held, Point(x, y));
}
void Press(HWND h, UINT msg, int x, int y) {
  const WPARAM held = msg == WM_LBUTTONDOWN   ? MK_LBUTTON
                      : msg == WM_RBUTTONDOWN ? MK_RBUTTON
                                              : MK_MBUTTON;
  SendMessageW(h, msg, held, Point(x, y));
}
void Release(HWND h, UINT msg, int x, int y) { SendMessageW(h, msg, 0, Point(x, y)); }

// Pixels of the surface that are not `background`, and their bounding box.
struct Ink {
  int count = 0;
  int left = kW, top = kH, right = -1, bottom = -1;
};
Ink InkOver(const Scene& s, COLORREF background) {
  Ink ink;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      if (s.At(x, y) == background) continue;
      ++ink.count;
      ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
    }
  }
  return ink;
}

int CountOf(const Scene& s, COLORREF color) {
  int n = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) n += s.At(x, y) == color;
  return n;
}

}  // namespace

TEST(Button, ANewControlStartsBlankHiddenAndWithAnyButton) {
  Scene s(false);
  Button fresh;
  EXPECT_EQ(fresh.PowerButton(), 0);
  EXPECT_FALSE(fresh.value());
  EXPECT_FALSE(fresh.unabled());
  EXPECT_EQ(fresh.Text(), L"");
  EXPECT_EQ(fresh.forecolor(), RGB(0, 0, 0));
  EXPECT_TRUE(fresh.BackGroundPicture().empty());
  ASSERT_TRUE(fresh.Create(s.form.hWnd(), 0, 0, 300, 300));
  EXPECT_FALSE(fresh.Visible());
  EXPECT_EQ(fresh.ScaleWidth(), 300);
  fresh.SetVisible(true);
  EXPECT_TRUE(fresh.Visible());
  // Without pictures every state leaves the background alone.
  const COLORREF background = s.Look();
  EXPECT_NE(background, CLR_INVALID);
  MoveTo(s.hwnd(), 5, 5);
  Press(s.hwnd(), WM_LBUTTONDOWN, 5, 5);
  EXPECT_EQ(s.Look(), background);
  Release(s.hwnd(), WM_LBUTTONUP, 5, 5);
  EXPECT_EQ(s.events, (std::vector<std::string>{"MouseMove 0 0 75 75", "Mousedown 1 0 75 75",
                                                "MouseUp 1 0 75 75", "Click"}));
}

TEST(Button, HoverHoldsTheCaptureUntilTheFirstMoveOutside) {
  Scene s;
  EXPECT_EQ(s.Look(), kNormal);
  MoveTo(s.hwnd(), 10, 10);
  EXPECT_EQ(s.Look(), kHover);
  EXPECT_EQ(GetCapture(), s.hwnd());
  EXPECT_EQ(s.Last(), "MouseMove 0 0 150 150");

  // Every move inside paints the hover picture again and takes the capture again.
  s.Scribble(3, 3);
  ReleaseCapture();
  MoveTo(s.hwnd(), 11, 10, 0);
  EXPECT_EQ(s.At(3, 3), kHover);
  EXPECT_EQ(GetCapture(), s.hwnd());

  // The right and bottom edges are inside.
  MoveTo(s.hwnd(), kW, kH);
  EXPECT_EQ(s.Look(), kHover);
  EXPECT_EQ(GetCapture(), s.hwnd());
  EXPECT_EQ(s.Last(), Fmt("MouseMove", 0, 0, kW * 15, kH * 15));

  // One pixel left of the control is outside.
  MoveTo(s.hwnd(), -1, 5);
  EXPECT_EQ(s.Look(), kNormal);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(s.Last(), "MouseMove 0 0 -15 75");
  MoveTo(s.hwnd(), 5, kH + 1);
  EXPECT_EQ(s.Look(), kNormal);
  EXPECT_EQ(s.events.size(), 5u);

  // Shift state comes through; a move with a button held does nothing at all.
  SendMessageW(s.hwnd(), WM_MOUSEMOVE, MK_SHIFT | MK_CONTROL, Point(2, 2));
  EXPECT_EQ(s.Last(), "MouseMove 0 3 30 30");
  ReleaseCapture();
  s.Scribble(3, 3);
  MoveTo(s.hwnd(), 4, 4, MK_RBUTTON);
  EXPECT_EQ(s.At(3, 3), kScribble);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(s.events.size(), 6u);
}

TEST(Button, AMoveOutsideWithoutOurCaptureLeavesAnotherWindowsCapture) {
  Scene s;
  tk::Form other{tk::FormOptions::Sizable(L"other", 1500, 1500)};
  other.Show();
  SetCapture(other.hWnd());
  MoveTo(s.hwnd(), -5, -5);
  EXPECT_EQ(GetCapture(), other.hWnd());
  EXPECT_EQ(s.Look(), kNormal);
  ReleaseCapture();
}

TEST(Button, PowerButtonDecidesWhichPressShowsThePressedPicture) {
  struct Case {
    int16_t power;
    UINT down, up;
    int16_t code;
    bool pressed;
  };
  const Case cases[] = {
      {0, WM_RBUTTONDOWN, WM_RBUTTONUP, 2, true},  {0, WM_MBUTTONDOWN, WM_MBUTTONUP, 4, true},
      {1, WM_LBUTTONDOWN, WM_LBUTTONUP, 1, true},  {1, WM_RBUTTONDOWN, WM_RBUTTONUP, 2, false},
      {2, WM_LBUTTONDOWN, WM_LBUTTONUP, 1, false}, {2, WM_RBUTTONDOWN, WM_RBUTTONUP, 2, true},
  };
  Scene s;
  s.button.Text(L"A");
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "PowerButton " << c.power << " press " << c.code);
    s.button.PowerButton(c.power);
    MoveTo(s.hwnd(), 2, 2);  // hover first, as a real pointer would
    s.events.clear();
    Press(s.hwnd(), c.down, 2, 2);
    EXPECT_EQ(s.At(0, 0), c.pressed ? kPressed : kHover);
    EXPECT_EQ(s.Last(), Fmt("Mousedown", c.code, 0, 30, 30));
    EXPECT_GT(InkOver(s, s.At(0, 0)).count, 0);  // the caption is drawn again either way
    // Moves with the button held change nothing, even outside.
    MoveTo(s.hwnd(), 200, 200, MK_LBUTTON | MK_RBUTTON | MK_MBUTTON);
    EXPECT_EQ(s.At(0, 0), c.pressed ? kPressed : kHover);
    EXPECT_EQ(s.events.size(), 1u);
    // The release shows the normal picture even over the control.
    Release(s.hwnd(), c.up, 2, 2);
    EXPECT_EQ(s.At(0, 0), kNormal);
    EXPECT_EQ(s.events[1], Fmt("MouseUp", c.code, 0, 30, 30));
  }
}

TEST(Button, AReleaseOutsideIsReportedWithItsCoordinates) {
  Scene s;
  s.button.PowerButton(1);
  MoveTo(s.hwnd(), 5, 5);
  Press(s.hwnd(), WM_LBUTTONDOWN, 5, 5);
  EXPECT_EQ(s.Look(), kPressed);
  EXPECT_EQ(GetCapture(), s.hwnd());
  MoveTo(s.hwnd(), kW + 20, kH + 30, MK_LBUTTON);
  EXPECT_EQ(s.Look(), kPressed);
  Release(s.hwnd(), WM_LBUTTONUP, kW + 20, kH + 30);
  EXPECT_EQ(s.Look(), kNormal);
  EXPECT_EQ(s.Last(), Fmt("MouseUp", 1, 0, (kW + 20) * 15, (kH + 30) * 15));
  EXPECT_GT((kW + 20) * 15, s.button.ScaleWidth());
  // Released outside: an up event but no click, and the capture is given back.
  EXPECT_EQ(GetCapture(), nullptr);
  for (const std::string& e : s.events) EXPECT_NE(e, "Click");
}

TEST(Button, LatchedValueIgnoresTheMouseButStillClicks) {
  Scene s;
  s.button.value(true);
  EXPECT_EQ(s.Look(), kPressed);
  MoveTo(s.hwnd(), 5, 5);
  EXPECT_EQ(GetCapture(), nullptr);
  Press(s.hwnd(), WM_LBUTTONDOWN, 5, 5);
  Release(s.hwnd(), WM_LBUTTONUP, 5, 5);
  MoveTo(s.hwnd(), -5, 5);
  EXPECT_EQ(s.Look(), kPressed);
  EXPECT_EQ(s.events, std::vector<std::string>{"Click"});
  s.button.value(false);
  EXPECT_EQ(s.Look(), kNormal);
  EXPECT_FALSE(s.button.value());

  // Without a pressed picture a latched control shows its normal picture.
  s.button.MouseDownPicture(tk::Picture());
  s.Scribble(1, 1);
  s.button.value(true);
  EXPECT_EQ(s.Look(), kNormal);
  // Assigning the normal picture or the caption paints the normal picture, latched or not.
  s.button.MouseDownPicture(Solid(kPressed));
  s.button.value(true);
  s.button.Text(L"");
  EXPECT_EQ(s.Look(), kNormal);
  EXPECT_TRUE(s.button.value());
}

TEST(Button, UnabledFreezesTheImageWithoutRepainting) {
  Scene s;
  MoveTo(s.hwnd(), 5, 5);
  EXPECT_EQ(s.Look(), kHover);
  s.events.clear();
  s.button.unabled(true);
  EXPECT_EQ(s.Look(), kHover);
  MoveTo(s.hwnd(), -5, 5);
  EXPECT_EQ(GetCapture(), s.hwnd());  // nothing changes, the capture neither
  Press(s.hwnd(), WM_LBUTTONDOWN, 5, 5);
  Release(s.hwnd(), WM_LBUTTONUP, 5, 5);
  EXPECT_EQ(s.Look(), kHover);
  EXPECT_EQ(s.events, std::vector<std::string>{"Click"});
  s.button.unabled(false);
  EXPECT_EQ(s.Look(), kHover);
  MoveTo(s.hwnd(), -5, 5);
  EXPECT_EQ(s.Look(), kNormal);
}

TEST(Button, MissingPicturesLeaveTheCurrentImage) {
  Scene s(false);
  const COLORREF background = s.Look();
  s.button.MouseMovePicture(Solid(kHover));
  EXPECT_EQ(s.Look(), background);  // assigning it draws nothing
  MoveTo(s.hwnd(), 5, 5);
  EXPECT_EQ(s.Look(), kHover);
  MoveTo(s.hwnd(), -1, 5);
  EXPECT_EQ(s.Look(), kHover);  // nothing to go back to, but the capture is given back
  EXPECT_EQ(GetCapture(), nullptr);
  Press(s.hwnd(), WM_LBUTTONDOWN, 5, 5);
  Release(s.hwnd(), WM_LBUTTONUP, 5, 5);
  EXPECT_EQ(s.Look(), kHover);
  s.button.value(true);
  EXPECT_EQ(s.Look(), kHover);
}

TEST(Button, SettersPaintAndNotifyOnlyWhereTheyShould) {
  Scene s(false);
  const COLORREF background = s.Look();
  const tk::Picture normal = Solid(kNormal);
  s.button.MouseMovePicture(Solid(kHover));
  s.button.MouseDownPicture(Solid(kPressed));
  EXPECT_EQ(s.Look(), background);
  s.button.BackGroundPicture(normal);
  EXPECT_EQ(s.Look(), kNormal);
  EXPECT_TRUE(s.button.BackGroundPicture().SameAs(normal));
  s.button.Text(L"x");
  s.button.value(true);
  s.button.value(false);
  s.button.forecolor(RGB(0, 0, 255));
  s.button.PowerButton(4);
  s.button.unabled(true);
  s.button.unabled(false);
  EXPECT_EQ(s.events,
            (std::vector<std::string>{"changed MouseMovePicture", "changed MouseDownPicture",
                                      "changed BackGroundPicture", "changed Text"}));
  EXPECT_EQ(s.button.PowerButton(), 4);
  EXPECT_EQ(s.button.forecolor(), RGB(0, 0, 255));

  // No picture clears it: the image stays, and the control stops painting it.
  s.button.BackGroundPicture(tk::Picture());
  EXPECT_TRUE(s.button.BackGroundPicture().empty());
  s.Scribble(1, 1);
  s.button.Text(L"");
  EXPECT_EQ(s.At(1, 1), kScribble);
}

TEST(Button, CaptionIsCentredTransparentAndClipped) {
  Scene s;
  // Empty text prints nothing.
  s.button.Text(L"");
  EXPECT_EQ(s.Look(), kNormal);

  s.button.Text(L"Ab");
  const Ink ink = InkOver(s, kNormal);
  ASSERT_GT(ink.count, 0);
  // Centred: the ink's box sits in the middle within the glyphs' own side bearings.
  EXPECT_NEAR((ink.left + ink.right) / 2.0, (kW - 1) / 2.0, 2.0);
  EXPECT_NEAR((ink.top + ink.bottom) / 2.0, (kH - 1) / 2.0, 3.0);
  // Transparent: the picture shows between the glyphs, never a text background colour.
  int pictureInside = 0;
  for (int y = ink.top; y <= ink.bottom; ++y)
    for (int x = ink.left; x <= ink.right; ++x) pictureInside += s.At(x, y) == kNormal;
  EXPECT_GT(pictureInside, 0);
  EXPECT_EQ(CountOf(s, RGB(255, 255, 255)), 0);

  // Printed again over the same image it looks the same: a forecolor set to the same value.
  std::vector<COLORREF> before;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) before.push_back(s.At(x, y));
  s.button.forecolor(s.button.forecolor());
  std::vector<COLORREF> after;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) after.push_back(s.At(x, y));
  EXPECT_EQ(before, after);

  // Wider than the control: clipped at both sides, ink reaches both edges (give or take
  // the gap between two glyphs).
  s.button.Text(L"WWWWWWWWWWWWWWWW");
  const Ink wide = InkOver(s, kNormal);
  EXPECT_LE(wide.left, 1);
  EXPECT_GE(wide.right, kW - 2);
}

TEST(Button, ForecolorPrintsTheCaptionAgainWithoutThePicture) {
  Scene s;
  s.button.Text(L"H");
  EXPECT_GT(CountOf(s, RGB(0, 0, 0)), 0);
  s.Scribble(0, 0);
  constexpr COLORREF kYellow = RGB(250, 240, 10);
  s.button.forecolor(kYellow);
  EXPECT_EQ(s.At(0, 0), kScribble);  // the picture was not painted again
  EXPECT_GT(CountOf(s, kYellow), 0);
  EXPECT_EQ(CountOf(s, RGB(0, 0, 0)), 0);  // every glyph pixel printed over
  // A system colour is looked up when printed, and kept as given.
  const COLORREF system = 0x80000000u | COLOR_HIGHLIGHT;
  s.button.forecolor(system);
  EXPECT_EQ(s.button.forecolor(), system);
  EXPECT_GT(CountOf(s, GetSysColor(COLOR_HIGHLIGHT)), 0);
}

TEST(Button, ResizeAndRepaintDrawTheNormalPictureAndShowIt) {
  Scene s;
  s.button.Text(L"o");
  s.Scribble(0, 0);
  s.button.Move(300, 450, (kW + 10) * 15, (kH + 6) * 15);
  EXPECT_EQ(s.button.ScaleWidth(), (kW + 10) * 15);
  EXPECT_EQ(s.button.Surface().Point((kW + 9) * 15, (kH + 5) * 15), kNormal);
  EXPECT_EQ(s.At(0, 0), kNormal);
  EXPECT_GT(InkOver(s, kNormal).count, 0);
  EXPECT_EQ(ShownPixel(s.hwnd(), kW + 9, kH + 5), kNormal);

  MoveTo(s.hwnd(), 3, 3);
  EXPECT_EQ(ShownPixel(s.hwnd(), 1, 1), kHover);
  s.button.Repaint();
  EXPECT_EQ(ShownPixel(s.hwnd(), 1, 1), kNormal);
  // Covering and uncovering repaints from the retained image, with nothing redrawn.
  s.Scribble(1, 1);
  InvalidateRect(s.hwnd(), nullptr, FALSE);
  EXPECT_EQ(ShownPixel(s.hwnd(), 1, 1), kScribble);
}

TEST(Button, SaveAndLoadRoundTripThroughBytes) {
  Scene s;
  s.button.BackGroundPicture(Solid24(19, 19, kNormal));
  s.button.Text(L"录 rec");
  s.button.forecolor(RGB(9, 8, 7));
  s.button.PowerButton(2);
  s.button.value(true);
  s.button.unabled(true);
  orvik::PropertyBag bag;
  ASSERT_TRUE(s.button.WriteProperties(bag));
  const std::vector<uint8_t> bytes = bag.Encode();

  Scene t(false);
  t.button.unabled(true);
  t.button.SetVisible(false);
  orvik::BagError error;
  ASSERT_TRUE(t.button.ReadProperties(bytes.data(), bytes.size(), &error)) << error.what;
  EXPECT_EQ(t.events,
            (std::vector<std::string>{"changed BackGroundPicture", "changed MouseMovePicture",
                                      "changed MouseDownPicture", "changed Text"}));
  EXPECT_EQ(t.button.Text(), L"录 rec");
  EXPECT_EQ(t.button.forecolor(), RGB(9, 8, 7));
  EXPECT_EQ(t.button.PowerButton(), 2);
  EXPECT_TRUE(t.button.value());
  EXPECT_FALSE(t.button.unabled());  // never stored
  EXPECT_EQ(t.button.BackGroundPicture().BitCount(), 24);
  EXPECT_EQ(t.button.BackGroundPicture().PixelAt(18, 18), kNormal);
  EXPECT_EQ(t.button.MouseMovePicture().PixelAt(9, 9), kHover);
  EXPECT_EQ(t.button.MouseDownPicture().PixelAt(0, 0), kPressed);
  // Loading paints the normal picture; the latch shows only once the control is shown.
  EXPECT_EQ(t.At(0, 0), kNormal);
  t.button.SetVisible(true);
  EXPECT_EQ(t.At(0, 0), kPressed);
  EXPECT_EQ(ShownPixel(t.hwnd(), 0, 0), kPressed);

  // What it writes back is what it read.
  orvik::PropertyBag again;
  ASSERT_TRUE(t.button.WriteProperties(again));
  EXPECT_EQ(again.Encode(), bytes);
}

TEST(Button, LoadingBagsWithMissingKeys) {
  Scene s(false);
  orvik::PropertyBag bag;
  bag.WriteInt32("_extentx", 503);
  bag.WriteInt32("_extenty", 503);
  bag.WritePicture("backgroundpicture",
                   tk::PictureToPersisted(tk::Picture::Solid(19, 19, kNormal)));
  bag.WriteString("text", "");
  bag.WriteInt16("fcolor", 0);
  bag.WriteBool("value", false);
  ASSERT_TRUE(s.button.ReadProperties(bag));
  EXPECT_EQ(s.button.PowerButton(), 1);  // absent "Button" key
  EXPECT_EQ(s.Look(), kNormal);
  EXPECT_TRUE(s.button.MouseMovePicture().empty());

  // The loaded colour shows from the host's sizing on, also at the size it already had.
  bag.WriteString("text", "H");
  constexpr COLORREF kYellow = RGB(250, 240, 10);
  bag.WriteInt32("fcolor", static_cast<int32_t>(kYellow));
  ASSERT_TRUE(s.button.ReadProperties(bag));
  EXPECT_EQ(CountOf(s, kYellow), 0);
  s.button.Move(300, 450, kW * 15, kH * 15);
  EXPECT_GT(CountOf(s, kYellow), 0);
  EXPECT_EQ(CountOf(s, RGB(0, 0, 0)), 0);

  // A latched bag without a pressed picture shows its normal picture when shown.
  Scene t(false);
  bag.WriteBool("value", true);
  t.button.SetVisible(false);
  ASSERT_TRUE(t.button.ReadProperties(bag));
  t.Scribble(0, 0);
  t.button.SetVisible(true);
  EXPECT_EQ(t.At(0, 0), kNormal);
}

TEST(Button, ADamagedBagStopsAtItsKeyWithTheKeysBeforeApplied) {
  Scene source;
  source.button.Text(L"caption");
  source.button.PowerButton(4);
  orvik::PropertyBag bag;
  ASSERT_TRUE(source.button.WriteProperties(bag));

  // Cut inside the "Text" entry: pictures and Button are in, the rest is not.
  std::vector<uint8_t> bytes = bag.Encode();
  orvik::PropertyBag head;  // the same entries up to "Text": its size is where "Text" starts
  for (size_t i = 0; i < orvik::kKeyButton; ++i) {
    head.WritePicture(orvik::kButtonKeys[i], bag.Find(orvik::kButtonKeys[i])->bytes);
  }
  head.WriteInt16("Button", 4);
  const size_t textAt = head.Encode().size();
  Scene s(false);
  s.button.Text(L"old");
  s.events.clear();
  orvik::BagError error;
  EXPECT_FALSE(s.button.ReadProperties(bytes.data(), textAt + 5, &error));
  EXPECT_EQ(error.key, "Text");
  EXPECT_NE(error.what.find("damaged"), std::string::npos) << error.what;
  EXPECT_EQ(s.events,
            (std::vector<std::string>{"changed BackGroundPicture", "changed MouseMovePicture",
                                      "changed MouseDownPicture"}));
  EXPECT_EQ(s.button.PowerButton(), 4);
  EXPECT_EQ(s.button.Text(), L"old");
  EXPECT_EQ(s.At(0, 0), kNormal);

  // A picture that is not a picture: the normal and hover pictures are in, nothing after.
  const uint8_t notBmp[] = {'G', 'I', 'F', '8', '9', 'a', 0, 0};
  bag.WritePicture("MouseDownPicture", orvik::MakePersistedPicture(notBmp, sizeof notBmp));
  Scene t(false);
  t.events.clear();
  bytes = bag.Encode();
  EXPECT_FALSE(t.button.ReadProperties(bytes.data(), bytes.size(), &error));
  EXPECT_EQ(error.key, "MouseDownPicture");
  EXPECT_EQ(error.index, orvik::kKeyMouseDownPicture);
  EXPECT_EQ(t.events,
            (std::vector<std::string>{"changed BackGroundPicture", "changed MouseMovePicture"}));
  EXPECT_EQ(t.button.PowerButton(), 0);
  EXPECT_TRUE(t.button.MouseDownPicture().empty());
  EXPECT_FALSE(t.button.MouseMovePicture().empty());
}

TEST(Button, RealPointerHoverPressAndReleaseOutside) {
  Scene s(true, nullptr);
  tk::PictureBox caption;
  ASSERT_TRUE(caption.Create(s.form.hWnd(), 1500, 1500, 3000, 1500));
  Button button;
  ASSERT_TRUE(button.Create(caption.hWnd(), 450, 300, kW * 15, kH * 15));
  std::vector<std::string> ups;
  button.MouseUp = [&](int16_t& b, int16_t& sh, float& x, float& y) {
    ups.push_back(Fmt("MouseUp", b, sh, x, y));
  };
  button.BackGroundPicture(Solid(kNormal));
  button.MouseMovePicture(Solid(kHover));
  button.MouseDownPicture(Solid(kPressed));
  button.PowerButton(1);
  button.SetVisible(true);
  PumpFor(50);
  auto look = [&] { return button.Surface().Point(150, 150); };
  POINT at{10, 10};
  ClientToScreen(button.hWnd(), &at);
  auto xdo = [&](const std::string& args) { EXPECT_TRUE(testsupport::Xdo(args)) << args; };

  xdo("mousemove --sync " + std::to_string(at.x) + " " + std::to_string(at.y));
  EXPECT_TRUE(PumpUntil([&] { return look() == kHover; }, 3000));
  EXPECT_EQ(GetCapture(), button.hWnd());
  EXPECT_EQ(ShownPixel(button.hWnd(), 1, 1), kHover);

  xdo("mousedown 1");
  EXPECT_TRUE(PumpUntil([&] { return look() == kPressed; }, 3000));
  // Dragged off the control (still over the form) it stays pressed.
  xdo("mousemove --sync " + std::to_string(at.x + 60) + " " + std::to_string(at.y + 40));
  PumpFor(100);
  EXPECT_EQ(look(), kPressed);
  xdo("mouseup 1");
  EXPECT_TRUE(PumpUntil([&] { return look() == kNormal; }, 3000));
  ASSERT_EQ(ups.size(), 1u);
  EXPECT_EQ(ups[0], Fmt("MouseUp", 1, 0, 70 * 15, 50 * 15));
  EXPECT_EQ(ShownPixel(button.hWnd(), 1, 1), kNormal);

  // Back over it and off again without a button: hover, then normal with the capture gone.
  xdo("mousemove --sync " + std::to_string(at.x) + " " + std::to_string(at.y));
  EXPECT_TRUE(PumpUntil([&] { return look() == kHover; }, 3000));
  xdo("mousemove --sync " + std::to_string(at.x + 80) + " " + std::to_string(at.y + 5));
  EXPECT_TRUE(PumpUntil([&] { return look() == kNormal; }, 3000));
  EXPECT_EQ(GetCapture(), nullptr);
  SetCursorPos(1900, 1050);
  PumpFor(30);
}

TEST(Button, GdiObjectsStayFlatOverManyRepaints) {
  Scene s;
  s.button.Text(L"Go");
  auto cycle = [&](int i) {
    MoveTo(s.hwnd(), 5, 5);
    Press(s.hwnd(), WM_LBUTTONDOWN, 5, 5);
    Release(s.hwnd(), WM_LBUTTONUP, 5, 5);
    MoveTo(s.hwnd(), -5, 5);
    s.button.forecolor(RGB(i & 0xFF, 0, 0));
    s.button.Text(i % 2 ? L"Go" : L"Stop");
    s.button.value(i % 3 == 0);
    s.button.value(false);
    s.button.Repaint();
  };
  for (int i = 0; i < 5; ++i) cycle(i);
  const int before = GdiObjects();
  for (int i = 0; i < 300; ++i) cycle(i);
  s.button.Move(300, 450, 900, 900);
  PumpFor(20);
  // Under Wine the count is of a table other processes share; a leak here would be 300+.
  EXPECT_LE(GdiObjects(), before + 5);
}
