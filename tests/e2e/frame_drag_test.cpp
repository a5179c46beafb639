// Moving and sizing the frame by its skin with the real pointer, and the window menu.
#include "e2e/frame_fixture.h"
#include "toolkit/screen.h"

using namespace testsupport;
using orvik::Form1;

namespace {
struct Size {
  int w, h;
};
Size SizeOf(const RECT& r) { return Size{r.right - r.left, r.bottom - r.top}; }

int ClientWidth() {
  RECT r{};
  GetClientRect(FrameTest::Frame(), &r);
  return r.right;
}
int ClientHeight() {
  RECT r{};
  GetClientRect(FrameTest::Frame(), &r);
  return r.bottom;
}
// Rows and columns of the zones, in client pixels.
int BottomBand() { return ClientHeight() - 3; }        // the bottom bar's bottom 100 twips
int AboveBottomBand() { return ClientHeight() - 16; }  // the bar's upper part
int RightBorder() { return ClientWidth() - 3; }
}  // namespace

class FrameDragTest : public FrameTest {
 protected:
  // Drags from a client point by (dx, dy) and returns the outer rectangle afterwards.
  RECT DragClient(int x, int y, int dx, int dy) {
    const POINT p = ClientPoint(x, y);
    EXPECT_TRUE(DragWithPointer(p.x, p.y, p.x + dx, p.y + dy));
    PumpFor(200);
    return Outer();
  }
};

TEST_F(FrameDragTest, CaptionMovesTheWindow) {
  const RECT before = Outer();
  const RECT after = DragClient(100, 12, 120, 60);
  EXPECT_EQ(after.left, before.left + 120);
  EXPECT_EQ(after.top, before.top + 60);
  EXPECT_EQ(SizeOf(after).w, SizeOf(before).w);
  EXPECT_EQ(SizeOf(after).h, SizeOf(before).h);
  // The title label is part of the caption.
  const POINT title = CentreOf(form1().Label1.hWnd());
  ASSERT_TRUE(DragWithPointer(title.x, title.y, title.x - 50, title.y + 20));
  PumpFor(200);
  EXPECT_EQ(Outer().left, after.left - 50);
  EXPECT_EQ(Outer().top, after.top + 20);
}

TEST_F(FrameDragTest, SideBordersSizeTheirOwnEdge) {
  const RECT before = Outer();
  RECT r = DragClient(RightBorder(), 170, 60, 0);
  EXPECT_EQ(r.left, before.left);
  EXPECT_EQ(r.right, before.right + 60);
  EXPECT_EQ(form1().rightborder.MousePointer(), IDC_SIZEWE);
  const RECT mid = r;
  r = DragClient(1, 170, -50, 0);  // the left border
  EXPECT_EQ(r.left, mid.left - 50);
  EXPECT_EQ(r.right, mid.right);
  EXPECT_EQ(r.top, before.top);
  EXPECT_EQ(r.bottom, before.bottom);
  // The layout followed the new width.
  EXPECT_EQ(form1().rightborder.Left(), form1().ScaleWidth() - 75);
}

TEST_F(FrameDragTest, TopStripAndBottomBandSizeVertically) {
  const RECT before = Outer();
  RECT r = DragClient(200, 1, 0, -40);  // caption band's top 3 pixels
  EXPECT_EQ(r.top, before.top - 40);
  EXPECT_EQ(r.bottom, before.bottom);
  EXPECT_EQ(form1().backcaption.MousePointer(), IDC_SIZENS);
  const RECT mid = r;
  r = DragClient(200, BottomBand(), 0, 30);
  EXPECT_EQ(r.top, mid.top);
  EXPECT_EQ(r.bottom, mid.bottom + 30);
  EXPECT_EQ(form1().bottomborder.Top(), form1().ScaleHeight() - form1().bottomborder.Height());
}

TEST_F(FrameDragTest, BottomBarCornersAndEndsSizeTheirWay) {
  RECT before = Outer();
  RECT r = DragClient(3, BottomBand(), -30, 20);  // bottom-left corner
  EXPECT_EQ(r.left, before.left - 30);
  EXPECT_EQ(r.bottom, before.bottom + 20);
  EXPECT_EQ(r.right, before.right);
  EXPECT_EQ(r.top, before.top);

  before = r;
  r = DragClient(ClientWidth() - 3, BottomBand(), 40, 25);  // the grip: bottom-right corner
  EXPECT_EQ(r.right, before.right + 40);
  EXPECT_EQ(r.bottom, before.bottom + 25);
  EXPECT_EQ(r.left, before.left);

  before = r;
  r = DragClient(ClientWidth() - 3, AboveBottomBand(), 30, 10);  // right end: width only
  EXPECT_EQ(r.right, before.right + 30);
  EXPECT_EQ(r.bottom, before.bottom);
  before = r;
  r = DragClient(3, AboveBottomBand(), -20, 10);  // left end
  EXPECT_EQ(r.left, before.left - 20);
  EXPECT_EQ(r.right, before.right);
  EXPECT_EQ(r.bottom, before.bottom);
}

TEST_F(FrameDragTest, TopCornersSizeFromTheIconAndTheRightEnd) {
  RECT before = Outer();
  RECT r = DragClient(5, 2, -30, -20);  // the icon's top-left corner
  EXPECT_EQ(r.left, before.left - 30);
  EXPECT_EQ(r.top, before.top - 20);
  EXPECT_EQ(r.right, before.right);
  EXPECT_EQ(r.bottom, before.bottom);
  before = r;
  r = DragClient(ClientWidth() - 7, 2, 30, -20);  // the right end's top-right corner
  EXPECT_EQ(r.right, before.right + 30);
  EXPECT_EQ(r.top, before.top - 20);
  EXPECT_EQ(r.left, before.left);
}

TEST_F(FrameDragTest, SizeStopsAtFourHundredByThreeHundred) {
  RECT r = DragClient(RightBorder(), 170, -200, 0);
  EXPECT_EQ(SizeOf(r).w, 400);
  r = DragClient(ClientWidth() / 2, BottomBand(), 0, -200);
  EXPECT_EQ(SizeOf(r).h, 300);
  // The skin still fits: the bar at the bottom, the buttons at the right.
  EXPECT_EQ(form1().bottomborder.Top(), form1().ScaleHeight() - form1().bottomborder.Height());
  EXPECT_EQ(form1().rightcaption.Left(), form1().ScaleWidth() - form1().rightcaption.Width() - 30);
}

TEST_F(FrameDragTest, NothingMovesOrSizesWhileMaximized) {
  form1().SetWindowState(tk::kStateMaximized);
  PumpFor(300);
  ASSERT_TRUE(IsZoomed(Frame()));
  const RECT before = Outer();
  RECT r = DragClient(300, 12, 100, 100);  // caption
  EXPECT_EQ(r.left, before.left);
  EXPECT_EQ(r.top, before.top);
  r = DragClient(RightBorder(), 300, -100, 0);
  EXPECT_EQ(r.right, before.right);
  r = DragClient(ClientWidth() / 2, BottomBand(), 0, -100);
  EXPECT_EQ(r.bottom, before.bottom);
  r = DragClient(ClientWidth() - 3, BottomBand(), -100, -100);  // grip
  EXPECT_EQ(r.right, before.right);
  EXPECT_EQ(r.bottom, before.bottom);
  EXPECT_TRUE(IsZoomed(Frame()));
  EXPECT_EQ(form1().bottomborder.MousePointer(), IDC_ARROW);
  EXPECT_EQ(form1().backcaption.MousePointer(), IDC_ARROW);
}

TEST_F(FrameDragTest, IconClickOpensTheWindowMenuBelowItAfterTheWait) {
  const RECT outer = Outer();
  const POINT icon = ClientPoint(12, 12);
  PopupWatch watch(5000);
  ASSERT_TRUE(ClickAt(icon.x, icon.y));
  ASSERT_TRUE(watch.PumpUntilDone());
  // Below the icon: 3 + 2 pixels from the window's left edge, 23 + 2 from its top.
  EXPECT_EQ(watch.Where().left, outer.left + 5);
  EXPECT_EQ(watch.Where().top, outer.top + 25);
  EXPECT_GE(watch.OpenedAfterMs(), GetDoubleClickTime() / 2);
  EXPECT_TRUE(form1().IsLoaded());
  EXPECT_EQ(form1().icondblclicked, 0);
}

TEST_F(FrameDragTest, IconDoubleClickClosesWithoutAMenu) {
  const POINT icon = ClientPoint(12, 12);
  PopupWatch watch(1500);
  ASSERT_TRUE(XdoWhilePumping("mousemove " + std::to_string(icon.x) + " " + std::to_string(icon.y) +
                              " sleep 0.1 click --repeat 2 --delay 80 1"));
  EXPECT_FALSE(watch.PumpUntilDone());
  EXPECT_FALSE(form1().IsLoaded());
  EXPECT_FALSE(form2().IsLoaded());
}

TEST_F(FrameDragTest, RightClickOnCaptionOpensTheMenuAtThePointer) {
  const POINT p = ClientPoint(120, 12);
  PopupWatch watch(5000);
  ASSERT_TRUE(ClickAt(p.x, p.y, 3));
  ASSERT_TRUE(watch.PumpUntilDone());
  EXPECT_EQ(watch.Where().left, p.x);
  EXPECT_EQ(watch.Where().top, p.y);
  EXPECT_TRUE(form1().IsLoaded());
}

TEST_F(FrameDragTest, CloseFromTheWindowMenuClosesTheProgram) {
  const POINT p = ClientPoint(120, 12);
  PopupWatch watch(5000, SC_CLOSE);
  ASSERT_TRUE(ClickAt(p.x, p.y, 3));
  ASSERT_TRUE(watch.PumpUntilDone());
  PumpUntil([] { return !form1().IsLoaded(); }, 3000);
  EXPECT_FALSE(form1().IsLoaded());
  EXPECT_FALSE(form2().IsLoaded());
}

TEST_F(FrameDragTest, EveryPressHandsTheForegroundToThePanel) {
  // (A press on the caption band would start a move as well; it is dragged above.)
  for (HWND piece : {form1().toolbarback.hWnd(), form1().Picture1.hWnd(), Frame()}) {
    SetForegroundWindow(GetDesktopWindow());
    SendMessageW(piece, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 20));
    SendMessageW(piece, WM_LBUTTONUP, 0, MAKELPARAM(200, 20));
    EXPECT_EQ(GetForegroundWindow(), form2().Handle()) << piece;
  }
}
