// The program at 100%, 125%, 150% and 200% scaling: each group runs in a Wine prefix whose
// system DPI is set before the process starts (see orvik_test's DPIS), and checks what a user
// on such a screen sees and does: the menu band, the caption, the face, the title buttons, an
// area recording with its click rings.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <iostream>
#include <thread>

#include "e2e/app_fixture.h"
#include "e2e/frame_fixture.h"
#include "recorder/marks/click_marks.h"
#include "toolkit/handles.h"
#include "toolkit/units.h"

using namespace testsupport;

namespace {

int SystemDpi() {
  tk::WindowDc screen(nullptr);
  return GetDeviceCaps(screen.get(), LOGPIXELSX);
}

RECT ScreenRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

std::string Str(const RECT& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
         std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

// The frame's client area on the screen: what is not sizing frame.
RECT FrameClient() {
  RECT r{};
  GetClientRect(FrameTest::Frame(), &r);
  MapWindowPoints(FrameTest::Frame(), nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Every corner of a screen rectangle lies in the frame's window region (is shown at all).
bool ShownByTheRegion(const RECT& r) {
  const RECT outer = FrameTest::Outer();
  return FrameTest::InRegion(r.left - outer.left, r.top - outer.top) &&
         FrameTest::InRegion(r.right - 1 - outer.left, r.top - outer.top) &&
         FrameTest::InRegion(r.left - outer.left, r.bottom - 1 - outer.top) &&
         FrameTest::InRegion(r.right - 1 - outer.left, r.bottom - 1 - outer.top);
}

SIZE TextSize(HFONT font, const std::wstring& text) {
  tk::WindowDc dc(nullptr);
  tk::SelectGuard selected(dc.get(),
                           font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  SIZE size{};
  GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

// Pixels clearly darker than the skin (text) inside a screen rectangle.
int DarkPixelsIn(const ScreenShot& shot, const RECT& r) {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      const COLORREF c = shot.At(x, y);
      n += GetRValue(c) + GetGValue(c) + GetBValue(c) < 300;
    }
  }
  return n;
}

// The lowest pixel row that `text` blackens when drawn at (0, 0) in `font`; -1 for none.
int LowestInkRow(HFONT font, const std::wstring& text) {
  const SIZE size = TextSize(font, text);
  tk::Picture page = tk::Picture::Solid(size.cx + 4, size.cy + 4, RGB(255, 255, 255));
  tk::WindowDc screen(nullptr);
  tk::UniqueMemDc dc(CreateCompatibleDC(screen.get()));
  {
    tk::SelectGuard picture(dc.get(), page.handle());
    tk::SelectGuard selected(dc.get(), font);
    SetBkMode(dc.get(), TRANSPARENT);
    SetTextColor(dc.get(), RGB(0, 0, 0));
    TextOutW(dc.get(), 0, 0, text.c_str(), static_cast<int>(text.size()));
    GdiFlush();
  }
  for (int y = size.cy + 3; y >= 0; --y) {
    for (int x = 0; x < size.cx + 4; ++x) {
      const COLORREF c = page.PixelAt(x, y);
      if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 600) return y;
    }
  }
  return -1;
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = L"";
  GetWindowTextW(window, text, 1024);
  return text;
}

// Clicks at a screen point from another thread while this one pumps, and notes which pop-up
// menu opened and where, then closes it.
struct OpenedMenu {
  HMENU menu = nullptr;
  RECT where{};
};
OpenedMenu ClickAndSeeWhatOpens(POINT p) {
  std::atomic<bool> done{false};
  OpenedMenu seen;
  std::thread clicker([&] {
    ClickAt(p.x, p.y);
    const DWORD start = GetTickCount();
    HWND popup = nullptr;
    while (!(popup = VisiblePopupMenu()) && GetTickCount() - start < 5000) Sleep(20);
    if (popup) {
      Sleep(150);
      seen.menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
      GetWindowRect(popup, &seen.where);
      CloseLeftOpenMenu();
    }
    done = true;
  });
  PumpUntil([&] { return done.load(); }, 20000);
  clicker.join();
  PumpFor(200);
  return seen;
}

// Keeps a picture of the screen around `r` in the build tree, next to the test, and says where.
void KeepScreenshot(const RECT& r, const std::string& name) {
  wchar_t dir[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, dir);
  const std::string folder = UnixPath(dir) + "/artifacts";
  const std::string file = folder + "/" + name;
  const std::string crop = std::to_string(r.right - r.left) + "x" +
                           std::to_string(r.bottom - r.top) + "+" + std::to_string(r.left) + "+" +
                           std::to_string(r.top);
  std::string output;
  EXPECT_EQ(RunShell("mkdir -p " + ShellQuote(folder) + " && import -window root -crop " + crop +
                         " +repage " + ShellQuote(file),
                     &output),
            0)
      << output;
  std::cout << "screenshot: " << file << std::endl;
}

int OffGrey(const uint8_t* bgr) {
  return std::abs(bgr[0] - 128) + std::abs(bgr[1] - 128) + std::abs(bgr[2] - 128);
}

// How far from (cx, cy) a ring's stroke lies in one direction of a 24-bit frame: the distance
// of the pixels that differ from the canvas, weighted by how much they differ; -1 for none.
double RingRadiusToward(const std::vector<uint8_t>& bgr, int width, int height, int cx, int cy,
                        int dx, int dy) {
  double sum = 0, weight = 0;
  for (int d = 0;; ++d) {
    const int x = cx + d * dx, y = cy + d * dy;
    if (x < 0 || y < 0 || x >= width || y >= height) break;
    const int off = OffGrey(&bgr[(static_cast<size_t>(y) * width + x) * 3]);
    if (off < 24) continue;
    sum += static_cast<double>(off) * d;
    weight += off;
  }
  return weight > 0 ? sum / weight : -1;
}

}  // namespace

class DpiTest : public AppTest, public ::testing::WithParamInterface<int> {
 protected:
  void BeforeProgramStarts() override {
    ASSERT_EQ(SystemDpi(), GetParam()) << "the prefix's LogPixels is not this group's DPI";
  }
  double Scale() const { return GetParam() / 96.0; }
};

TEST_P(DpiTest, EveryMenuBandItemLiesInTheBandAndOpensItsMenu) {
  EXPECT_EQ(orvik::UiDpi(), GetParam());
  HWND panel = Panel();
  HMENU bar = GetMenu(panel);
  ASSERT_TRUE(bar);
  const int items = GetMenuItemCount(bar);
  ASSERT_GE(items, 2);
  const RECT band = ScreenRect(form1().toolbarback.hWnd());
  const RECT shown = ScreenRect(panel);
  const RECT client = FrameClient();
  for (int i = 0; i < items; ++i) {
    SCOPED_TRACE("menu item " + std::to_string(i));
    RECT item{};
    ASSERT_TRUE(GetMenuItemRect(panel, bar, static_cast<UINT>(i), &item));
    EXPECT_TRUE(Inside(item, band)) << Str(item) << " band " << Str(band);
    EXPECT_TRUE(Inside(item, shown)) << Str(item) << " panel " << Str(shown);
    EXPECT_TRUE(Inside(item, client)) << Str(item) << " client " << Str(client);
    EXPECT_TRUE(ShownByTheRegion(item)) << Str(item);
    // A real click at its centre opens this item's own menu, right below it.
    const POINT centre{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    const OpenedMenu opened = ClickAndSeeWhatOpens(centre);
    EXPECT_EQ(opened.menu, GetSubMenu(bar, i))
        << "the click at its centre opened no menu of its own";
    EXPECT_NEAR(opened.where.left, item.left, 4 * Scale());
    EXPECT_NEAR(opened.where.top, item.bottom, 4 * Scale());
  }
}

TEST_P(DpiTest, CaptionAndFaceTextsFitAndTheTitleButtonsReactWhereTheyAreDrawn) {
  orvik::Form1& f = form1();
  const RECT outer = FrameTest::Outer();
  // The window grows with the scaling: 424 pixels wide at 100%.
  EXPECT_NEAR(outer.right - outer.left, 424 * Scale(), 4 * Scale());
  KeepScreenshot(outer, "frame-at" + std::to_string(GetParam()) + ".png");

  // The caption: "Orvik 3.0" whole in its label, the label whole in the caption band, shown by
  // the region and clear of the icon and the title buttons.
  EXPECT_EQ(f.Label1.Caption(), L"Orvik 3.0");
  const RECT label = ScreenRect(f.Label1.hWnd());
  const SIZE title = TextSize(f.Label1.Font(), f.Label1.Caption());
  EXPECT_LE(title.cx, label.right - label.left) << Str(label);
  // Drawn whole: its letters on the screen, and every row of them (drawn from the label's top,
  // as the label does) inside the label's height.
  EXPECT_GT(DarkPixelsIn(ScreenShot(), label), 20) << Str(label);
  EXPECT_LT(LowestInkRow(f.Label1.Font(), f.Label1.Caption()), label.bottom - label.top)
      << "the caption is cut at its bottom";
  EXPECT_TRUE(Inside(label, ScreenRect(f.backcaption.hWnd()))) << Str(label);
  EXPECT_TRUE(ShownByTheRegion(label)) << Str(label);
  EXPECT_GE(label.left, ScreenRect(f.leftcaption.hWnd()).right);
  EXPECT_LE(label.right, ScreenRect(f.rightcaption.hWnd()).left);

  // The face at the default size: every line whole (no "…" drawn in), one below the other,
  // above the bottom bar. The folder line shows wherever the tests run; a long folder is
  // shortened in its middle by design, so only its place is checked.
  const RECT face = ScreenRect(f.Face().hWnd());
  const RECT bottomBar = ScreenRect(f.bottomborder.hWnd());
  EXPECT_LE(face.bottom, bottomBar.top) << Str(face);
  int shownLines = 0;
  LONG lastBottom = face.top;
  for (HWND line : f.Face().Lines()) {
    if (!IsWindowVisible(line)) continue;
    const std::wstring text = TextOf(line);
    if (text.empty()) continue;
    ++shownLines;
    SCOPED_TRACE(Utf8(text));
    const RECT r = ScreenRect(line);
    const SIZE size = TextSize(reinterpret_cast<HFONT>(SendMessageW(line, WM_GETFONT, 0, 0)), text);
    if (text.rfind(L"保存到", 0) != 0) {
      EXPECT_LE(size.cx, r.right - r.left) << "the line is cut: " << Str(r);
    }
    EXPECT_LE(size.cy, r.bottom - r.top) << Str(r);
    EXPECT_TRUE(Inside(r, face)) << Str(r) << " face " << Str(face);
    EXPECT_GE(r.top, lastBottom);
    lastBottom = r.bottom;
  }
  EXPECT_GE(shownLines, 6);
  // The commands (laid out, though hidden until a recording) side by side within the face's
  // width, each caption whole on its button.
  LONG lastRight = face.left;
  for (int c = 0; c < orvik::RecorderFace::kCommands; ++c) {
    const HWND button = f.Face().CommandButton(static_cast<orvik::RecorderFace::Command>(c));
    const std::wstring caption = TextOf(button);
    SCOPED_TRACE(Utf8(caption));
    const RECT r = ScreenRect(button);
    EXPECT_GE(r.left, lastRight) << Str(r);
    EXPECT_LE(r.right, face.right) << Str(r) << " face " << Str(face);
    const SIZE size =
        TextSize(reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0)), caption);
    EXPECT_LT(size.cx, r.right - r.left) << Str(r);
    lastRight = r.right;
  }

  // The skin is drawn for this scaling: each piece's picture is as large as the piece, never a
  // 100% picture in a larger place or one stretched over it.
  auto expectFills = [](const char* name, const tk::Picture& picture, HWND piece, bool width) {
    const RECT r = ScreenRect(piece);
    EXPECT_EQ(picture.Height(), r.bottom - r.top) << name;
    if (width) {
      EXPECT_EQ(picture.Width(), r.right - r.left) << name;
    }
  };
  expectFills("caption band", f.backcaption.GetPicture(), f.backcaption.hWnd(), false);
  expectFills("caption icon", f.leftcaption.GetPicture(), f.leftcaption.hWnd(), true);
  expectFills("caption end", f.rightcaption.GetPicture(), f.rightcaption.hWnd(), true);
  expectFills("bottom bar", f.bottomborder.GetPicture(), f.bottomborder.hWnd(), false);
  expectFills("minimize", f.Button1.BackGroundPicture(), f.Button1.hWnd(), true);
  expectFills("maximize", f.Button2.BackGroundPicture(), f.Button2.hWnd(), true);
  expectFills("close", f.Button3.BackGroundPicture(), f.Button3.hWnd(), true);

  // The title buttons lie in the caption's right end, are shown, and act on a click at the
  // centre of where they are drawn.
  const RECT rightEnd = ScreenRect(f.rightcaption.hWnd());
  for (orvik::Button* b : {&f.Button1, &f.Button2, &f.Button3}) {
    const RECT r = ScreenRect(b->hWnd());
    EXPECT_TRUE(b->Visible());
    EXPECT_TRUE(Inside(r, rightEnd)) << Str(r) << " in " << Str(rightEnd);
    EXPECT_TRUE(ShownByTheRegion(r)) << Str(r);
    // 19 pixels wide at 100%.
    EXPECT_GE(r.right - r.left, std::lround(18 * Scale())) << "a button at its 100% size";
  }
  auto clickCentre = [](orvik::Button& b) {
    const POINT p = FrameTest::CentreOf(b.hWnd());
    return ClickAt(p.x, p.y);
  };
  ASSERT_TRUE(clickCentre(f.Button2));
  EXPECT_TRUE(PumpUntil([] { return IsZoomed(FrameTest::Frame()) != 0; }, 3000)) << "maximize";
  PumpFor(300);
  ASSERT_TRUE(f.Button4.Visible());
  ASSERT_TRUE(clickCentre(f.Button4));
  EXPECT_TRUE(PumpUntil([] { return !IsZoomed(FrameTest::Frame()); }, 3000)) << "restore";
  PumpFor(300);
  EXPECT_EQ(FrameTest::Outer().left, outer.left);
  EXPECT_EQ(FrameTest::Outer().right, outer.right);
  ASSERT_TRUE(clickCentre(f.Button1));
  EXPECT_TRUE(PumpUntil([] { return IsIconic(FrameTest::Frame()) != 0; }, 3000)) << "minimize";
  f.SetWindowState(tk::kStateNormal);
  PumpFor(300);
  ASSERT_TRUE(clickCentre(f.Button3));
  EXPECT_TRUE(PumpUntil([] { return !form1().IsLoaded(); }, 3000)) << "close";
}

TEST_P(DpiTest, AnAreaRecordingHoldsThePhysicalPixelsAndItsRingsScale) {
  // A grey canvas under the area, so that only the rings change the picture.
  constexpr int kX = 700, kY = 400, kW = 600, kH = 120;
  tk::UniqueWindow canvas =
      MakeCanvas(L"DpiCanvas", DefWindowProcW, kX - 50, kY - 50, kW + 100, kH + 100);
  Command(form2().showclicks);
  Command(form2().recordcursor);  // off
  PumpFor(300);
  ASSERT_TRUE(form2().showclicks->Checked());

  // The area is dragged in the screen's own pixels and recorded in them, whatever the scaling.
  form2().recordareae_Click();
  ASSERT_TRUE(PumpUntil([] { return form3().IsLoaded() && form3().Visible(); }, 10000));
  PumpFor(300);
  ASSERT_TRUE(DragWithPointer(kX, kY, kX + kW, kY + kH));
  ASSERT_TRUE(form3().CurrentSelection().placing);
  Xdo("click 1");
  ASSERT_TRUE(PumpUntil([] { return !form3().IsLoaded() || !form3().Visible(); }, 5000));
  EXPECT_EQ(form1().x0, kX);
  EXPECT_EQ(form1().y0, kY);
  EXPECT_EQ(form1().aviwidth, kW);
  EXPECT_EQ(form1().aviheight, kH);
  // The overlay leaves the canvas to repaint what it covered before the first frame is taken.
  SetWindowPos(canvas.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  RedrawWindow(canvas.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  PumpFor(300);

  const std::wstring avi = Path(L"area.avi");
  StartViaCommand(avi, kCodecOrvik);
  ASSERT_TRUE(form1().Recording());
  PumpFor(600);
  const int pressX = kX + kW / 2, pressY = kY + kH / 2;
  // Frames before the press may still show what the start's dialogs left on the screen.
  const long pressSlot = static_cast<long>(std::floor(form1().Session().ElapsedSeconds() * 10));
  ASSERT_TRUE(XdoWhilePumping("mousemove " + std::to_string(pressX) + " " + std::to_string(pressY) +
                              " sleep 0.1 mousedown 1 sleep 0.8 mouseup 1"));
  MoveTo(kX - 200, kY + kH + 200);  // the pointer away, the ring faded
  PumpFor(1500);
  const std::string screen = UnixPath(ScratchFile(L"dpi"));
  RunShell("import -window root -crop " + std::to_string(kW) + "x" + std::to_string(kH) + "+" +
               std::to_string(kX) + "+" + std::to_string(kY) + " -depth 8 rgb:" + screen,
           nullptr);
  PumpFor(300);
  form1().stop_click();

  const ProbeInfo info = Probe(avi);
  ASSERT_TRUE(info.ok) << info.raw;
  EXPECT_EQ(info.width, kW);
  EXPECT_EQ(info.height, kH);
  const RegionFrames frames = DecodeRegion(avi, 0, 0, kW, kH);
  ASSERT_GE(frames.frames.size(), 10u);

  // The last frame is the screen's pixels there, one for one.
  std::string shot;
  RunShell("cat " + screen + " && rm -f " + screen, &shot);
  ASSERT_EQ(shot.size(), static_cast<size_t>(kW) * kH * 3);
  const auto& last = frames.frames.back();
  int differing = 0;
  for (size_t i = 0; i + 2 < shot.size(); i += 3) {
    differing += static_cast<uint8_t>(shot[i]) != last[i + 2] ||
                 static_cast<uint8_t>(shot[i + 1]) != last[i + 1] ||
                 static_cast<uint8_t>(shot[i + 2]) != last[i];
  }
  EXPECT_EQ(differing, 0);

  // The press's ring, centred on it, with the radius of a 14-pixel ring at this scaling.
  const int expected = orvik::ScaledPixelsAt(orvik::kRingRadius, GetParam());
  int ringFrames = 0;
  for (size_t k = 0; k < frames.frames.size(); ++k) {
    if (frames.pts[k] < pressSlot) continue;
    const auto& frame = frames.frames[k];
    const double right = RingRadiusToward(frame, kW, kH, kW / 2, kH / 2, 1, 0);
    if (right < 0) continue;
    ++ringFrames;
    EXPECT_NEAR(right, expected, 1);
    EXPECT_NEAR(RingRadiusToward(frame, kW, kH, kW / 2, kH / 2, -1, 0), expected, 1);
    EXPECT_NEAR(RingRadiusToward(frame, kW, kH, kW / 2, kH / 2, 0, -1), expected, 1);
    EXPECT_NEAR(RingRadiusToward(frame, kW, kH, kW / 2, kH / 2, 0, 1), expected, 1);
  }
  EXPECT_GE(ringFrames, 5) << "the held press showed no ring";
}

INSTANTIATE_TEST_SUITE_P(Dpi, DpiTest, ::testing::Values(96, 120, 144, 192),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "at" + std::to_string(info.param);
                         });
