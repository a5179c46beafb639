#include "toolkit/label.h"

#include <gtest/gtest.h>

#include "toolkit/form.h"
#include "toolkit/picturebox.h"
#include "window_testing.h"

using namespace toolkit_testing;

TEST(Label, DrawsItsCaptionTransparentlyOverAPictureBox) {
  tk::Form form(tk::FormOptions::Sizable(L"labels", 6000, 3000));
  form.Move(1500, 1500);
  form.Show();
  tk::PictureBox band;
  ASSERT_TRUE(band.Create(form.hWnd(), 0, 0, 6000, 600));
  band.SetBackColor(RGB(30, 60, 200));
  band.Fill(0, 0, 1500, 600, RGB(200, 40, 40));  // red left end, blue elsewhere

  tk::Label title;
  ASSERT_TRUE(title.Create(band, 750, 90, 2430, 300, L"Orvik 3.0"));
  title.SetForeColor(RGB(255, 255, 255));
  band.Refresh();
  PumpFor(50);

  // Around the glyphs the band's own pixels show, both the red and the blue part.
  EXPECT_EQ(ShownPixel(title.hWnd(), 0, 18), RGB(200, 40, 40));
  EXPECT_EQ(ShownPixel(title.hWnd(), 100, 18), RGB(30, 60, 200));
  int white = 0;
  POINT origin{0, 0};
  ClientToScreen(title.hWnd(), &origin);
  for (int x = 0; x < 60; ++x) {
    for (int y = 0; y < 20; ++y)
      white += ScreenPixel(origin.x + x, origin.y + y) == RGB(255, 255, 255);
  }
  EXPECT_GT(white, 5);  // and the caption's glyphs over them

  // When the band's layer changes, the label shows the new pixels.
  band.SetBackColor(RGB(0, 128, 0));
  band.Refresh();
  PumpFor(50);
  EXPECT_EQ(ShownPixel(title.hWnd(), 0, 18), RGB(0, 128, 0));

  EXPECT_EQ(title.Left(), 750);
  EXPECT_EQ(title.Top(), 90);
  title.SetLeft(1560);
  EXPECT_EQ(title.Left(), 1560);
}

TEST(Label, MeasuresTextInItsFontAndForwardsTheMouse) {
  tk::Form form(tk::FormOptions::Sizable(L"labels", 6000, 3000));
  form.Show();
  tk::Label label;
  ASSERT_TRUE(label.Create(form.hWnd(), 300, 300, 3000, 300, L"Orvik"));
  const double one = label.TextWidth(L"M");
  EXPECT_GT(one, 0);
  EXPECT_EQ(static_cast<int>(one) % 15, 0);  // whole pixels
  EXPECT_NEAR(label.TextWidth(L"MMMM"), 4 * one, 30);
  EXPECT_EQ(label.TextWidth(), label.TextWidth(L"Orvik"));
  EXPECT_EQ(label.TextWidth(L"Orvik"), form.TextWidth(L"Orvik"));  // same default font
  EXPECT_GT(label.TextHeight(L"Orvik"), 0);

  HFONT big = CreateFontW(-40, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
  label.SetFont(big);
  EXPECT_GT(label.TextWidth(), form.TextWidth(L"Orvik"));
  label.SetFont(nullptr);
  DeleteObject(big);

  float downX = -1, downY = -1;
  int dbl = 0, ups = 0;
  label.onMouseDown = [&](int, int, float x, float y) { downX = x, downY = y; };
  label.onMouseUp = [&](int, int, float, float) { ++ups; };
  label.onDblClick = [&] { ++dbl; };
  SetForegroundWindow(form.hWnd());
  POINT p{4, 6};
  ClientToScreen(label.hWnd(), &p);
  SetCursorPos(p.x, p.y);
  PumpFor(30);
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  PumpFor(50);
  EXPECT_EQ(downX, 60);
  EXPECT_EQ(downY, 90);
  EXPECT_EQ(ups, 2);
  EXPECT_EQ(dbl, 1);
}
