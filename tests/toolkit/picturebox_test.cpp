#include "toolkit/picturebox.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/unix_tools.h"
#include "toolkit/bmp_format.h"
#include "toolkit/files.h"
#include "toolkit/form.h"
#include "window_testing.h"

using namespace toolkit_testing;

namespace {

constexpr COLORREF kRed = RGB(220, 20, 30);
constexpr COLORREF kBlue = RGB(10, 40, 200);
constexpr COLORREF kGreen = RGB(20, 180, 60);

// A shown form holding one picture box at (15, 30) px of `w` x `h` px.
struct Scene {
  tk::Form form{tk::FormOptions::Sizable(L"boxes", 9000, 7500)};
  tk::PictureBox box;
  Scene(int w = 200, int h = 120) {
    form.Move(1500, 1500);
    form.Show();
    EXPECT_TRUE(box.Create(form.hWnd(), 225, 450, w * 15.0, h * 15.0));
    box.SetBackColor(RGB(255, 255, 255));
    PumpFor(30);
  }
};

std::vector<uint8_t> ReadAll(const std::wstring& path) {
  tk::File f = tk::File::Open(path, tk::FileMode::Read);
  std::vector<uint8_t> data(static_cast<size_t>(f.Length().value_or(0)));
  if (!data.empty() && !f.ReadAt(0, data.data(), data.size())) data.clear();
  return data;
}

// The BGR colour of pixel (x, y from the top) of a bottom-up BMP file we parse ourselves.
COLORREF BmpPixel(const std::vector<uint8_t>& bmp, int x, int y) {
  const int32_t height = static_cast<int32_t>(orvik::ReadLe32(&bmp[22]));
  const int bits = orvik::ReadLe16(&bmp[28]);
  const size_t stride = orvik::BmpStride(static_cast<int32_t>(orvik::ReadLe32(&bmp[18])), bits);
  const size_t at = orvik::ReadLe32(&bmp[10]) + stride * (height - 1 - y) + x * (bits / 8);
  return RGB(bmp[at + 2], bmp[at + 1], bmp[at]);
}

}  // namespace

TEST(PictureBox, LayerSurvivesMinimizeAndRestore) {
  Scene s;
  s.box.Fill(0, 0, 150, 150, kRed);  // 11 x 11 px at the top-left
  s.box.Line(0, 600, 1500, 600, kBlue);
  s.box.Refresh();
  EXPECT_EQ(ShownPixel(s.box.hWnd(), 5, 5), kRed);
  EXPECT_EQ(ShownPixel(s.box.hWnd(), 50, 40), kBlue);

  s.form.SetWindowState(tk::kStateMinimized);
  PumpFor(50);
  s.form.SetWindowState(tk::kStateNormal);
  PumpFor(100);
  // Nothing redrew it: the restored window shows the layer.
  EXPECT_EQ(ShownPixel(s.box.hWnd(), 5, 5), kRed);
  EXPECT_EQ(ShownPixel(s.box.hWnd(), 50, 40), kBlue);
  EXPECT_EQ(ShownPixel(s.box.hWnd(), 150, 100), RGB(255, 255, 255));
  EXPECT_EQ(s.box.Point(75, 75), kRed);
  EXPECT_EQ(s.box.Point(750, 600), kBlue);
  EXPECT_EQ(s.box.Point(750, 615), RGB(255, 255, 255));
  EXPECT_EQ(s.box.Point(-15, 0), CLR_INVALID);
  EXPECT_EQ(s.box.Point(200 * 15, 0), CLR_INVALID);
}

TEST(PictureBox, DrawingThroughItsDcAndThePixelBuffer) {
  Scene s(40, 30);
  HDC dc = s.box.hDC();
  ASSERT_TRUE(dc);
  SetPixel(dc, 3, 4, kGreen);
  tk::LayerPixels px = s.box.Pixels();
  ASSERT_EQ(px.width, 40);
  ASSERT_EQ(px.height, 30);
  ASSERT_EQ(px.stride, 160);
  // Bottom-up rows: screen row 4 is buffer row 25.
  const uint8_t* p = px.bits + 25 * px.stride + 3 * 4;
  EXPECT_EQ(RGB(p[2], p[1], p[0]), kGreen);
  // Writing the buffer shows through the DC.
  uint8_t* q = px.bits + 29 * px.stride;  // top row
  q[0] = 200, q[1] = 100, q[2] = 50;
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(50, 100, 200));
  EXPECT_EQ(s.box.Point(0, 0), RGB(50, 100, 200));
}

TEST(PictureBox, PictureShowsUnderTheDrawingAndClsBringsItBack) {
  Scene s(60, 40);
  tk::Picture pic = tk::Picture::Solid(20, 10, kBlue);
  s.box.SetBackColor(kGreen);
  s.box.SetPicture(pic);
  EXPECT_TRUE(s.box.GetPicture().SameAs(pic));
  EXPECT_EQ(s.box.Point(15, 15), kBlue);        // the picture, at (0, 0) unscaled
  EXPECT_EQ(s.box.Point(25 * 15, 15), kGreen);  // beside it the background
  s.box.Fill(0, 0, 600, 600, kRed);
  EXPECT_EQ(s.box.Point(15, 15), kRed);
  s.box.Cls();
  EXPECT_EQ(s.box.Point(15, 15), kBlue);
  EXPECT_EQ(s.box.Point(15 * 30, 15 * 30), kGreen);
  s.box.ClearPicture();
  EXPECT_TRUE(s.box.GetPicture().empty());
  EXPECT_EQ(s.box.Point(15, 15), kGreen);

  // Image() is a copy: later drawing does not change it.
  s.box.Fill(0, 0, 0, 0, kRed);
  tk::Picture image = s.box.Image();
  ASSERT_FALSE(image.empty());
  EXPECT_EQ(image.Width(), 60);
  EXPECT_EQ(image.Height(), 40);
  EXPECT_EQ(image.PixelAt(0, 0), kRed);
  s.box.Cls();
  EXPECT_EQ(image.PixelAt(0, 0), kRed);
}

TEST(PictureBox, PaintPictureScalesTheWholeSourceOrAPart) {
  Scene s(80, 60);
  tk::Picture pic = tk::Picture::Solid(4, 4, kBlue);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, pic.handle());
  SetPixel(dc, 3, 3, kRed);  // bottom-right pixel red
  SelectObject(dc, old);
  DeleteDC(dc);

  s.box.PaintPicture(pic, 150, 150, 40 * 15, 40 * 15);  // 4 x 4 -> 40 x 40 at (10, 10)
  EXPECT_EQ(s.box.Point(150 + 15 * 5, 150 + 15 * 5), kBlue);
  EXPECT_EQ(s.box.Point(150 + 15 * 35, 150 + 15 * 35), kRed);
  EXPECT_EQ(s.box.Point(150 + 15 * 25, 150 + 15 * 35), kBlue);
  EXPECT_EQ(s.box.Point(15 * 55, 15 * 55), RGB(255, 255, 255));

  // Only the red corner, 1:1, somewhere else.
  s.box.PaintPicture(pic, 60 * 15, 0, 15, 15, 45, 45, 15, 15);
  EXPECT_EQ(s.box.Point(60 * 15, 0), kRed);
  EXPECT_EQ(s.box.Point(61 * 15, 0), RGB(255, 255, 255));
}

TEST(PictureBox, ResizingKeepsWhatStillFits) {
  Scene s(100, 80);
  s.box.Fill(0, 0, 99 * 15, 79 * 15, kRed);
  s.box.Fill(20 * 15, 20 * 15, 30 * 15, 30 * 15, kBlue);
  s.box.Move(225, 450, 50 * 15, 40 * 15);
  EXPECT_EQ(s.box.PixelWidth(), 50);
  EXPECT_EQ(s.box.ScaleWidth(), 750);
  EXPECT_EQ(s.box.ScaleHeight(), 600);
  EXPECT_EQ(s.box.Point(25 * 15, 25 * 15), kBlue);
  s.box.SetWidth(150 * 15);
  s.box.SetHeight(100 * 15);
  EXPECT_EQ(s.box.Width(), 2250);
  EXPECT_EQ(s.box.Height(), 1500);
  EXPECT_EQ(s.box.Point(25 * 15, 25 * 15), kBlue);
  EXPECT_EQ(s.box.Point(10 * 15, 10 * 15), kRed);
  EXPECT_EQ(s.box.Point(120 * 15, 10 * 15), RGB(255, 255, 255));  // new area: background
  EXPECT_EQ(s.box.Left(), 225);
  EXPECT_EQ(s.box.Top(), 450);
}

TEST(PictureBox, SavedLayerIsAPlainBmpWithTheSamePixels) {
  std::wstring dir = testsupport::MakeTempDir(L"layer");
  // 2200 px wide: its width in twips (33000) does not fit 16 bits.
  Scene s(2200, 40);
  s.box.SetBackColor(RGB(0, 0, 0));
  s.box.Fill(0, 0, 15, 15, kRed);                              // top-left 2 x 2
  s.box.Fill(2199 * 15, 39 * 15, 2199 * 15, 39 * 15, kGreen);  // bottom-right pixel
  s.box.Line(1000 * 15, 0, 1000 * 15, 40 * 15, kBlue);         // a column in the middle
  EXPECT_EQ(s.box.ScaleWidth(), 33000);
  const std::wstring path = dir + L"\\tem.bmp";
  ASSERT_TRUE(s.box.SaveLayerAsBmp(path));

  std::vector<uint8_t> bmp = ReadAll(path);
  const size_t pixels = 2200u * 4u * 40u;
  ASSERT_EQ(bmp.size(), 54 + pixels);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(orvik::ReadLe32(&bmp[2]), bmp.size());
  EXPECT_EQ(orvik::ReadLe32(&bmp[10]), 54u);  // bfOffBits
  EXPECT_EQ(orvik::ReadLe32(&bmp[14]), 40u);  // biSize
  EXPECT_EQ(orvik::ReadLe32(&bmp[18]), 2200u);
  EXPECT_EQ(orvik::ReadLe32(&bmp[22]), 40u);
  EXPECT_EQ(orvik::ReadLe16(&bmp[28]), 32u);
  EXPECT_EQ(orvik::ReadLe32(&bmp[30]), 0u);
  EXPECT_EQ(orvik::ReadLe32(&bmp[34]), pixels);  // biSizeImage
  EXPECT_EQ(BmpPixel(bmp, 0, 0), kRed);
  EXPECT_EQ(BmpPixel(bmp, 1, 1), kRed);
  EXPECT_EQ(BmpPixel(bmp, 2, 2), RGB(0, 0, 0));
  EXPECT_EQ(BmpPixel(bmp, 2199, 39), kGreen);
  EXPECT_EQ(BmpPixel(bmp, 1000, 20), kBlue);
  EXPECT_EQ(BmpPixel(bmp, 1001, 20), RGB(0, 0, 0));

  // Saving again replaces the file with the new frame, same size.
  s.box.Cls();
  ASSERT_TRUE(s.box.SaveLayerAsBmp(path));
  bmp = ReadAll(path);
  ASSERT_EQ(bmp.size(), 54 + pixels);
  EXPECT_EQ(BmpPixel(bmp, 0, 0), RGB(0, 0, 0));

  // A tool outside the program reads it the same way.
  std::string out;
  ASSERT_EQ(
      testsupport::RunShell("ffprobe -v error -show_entries stream=width,height -of csv=p=0 '" +
                                testsupport::UnixPath(path) + "'",
                            &out),
      0);
  EXPECT_EQ(out, "2200,40\n");

  EXPECT_FALSE(s.box.SaveLayerAsBmp(dir + L"\\no such folder\\x.bmp"));
  testsupport::RemoveTree(dir);
}

TEST(PictureBox, MouseEventsInTwipsAndTheCursorShape) {
  Scene s(100, 80);
  std::vector<std::tuple<char, int, float, float>> events;
  int clicks = 0;
  s.box.onMouseDown = [&](int b, int, float x, float y) { events.emplace_back('d', b, x, y); };
  s.box.onMouseMove = [&](int b, int, float x, float y) { events.emplace_back('m', b, x, y); };
  s.box.onMouseUp = [&](int b, int, float x, float y) { events.emplace_back('u', b, x, y); };
  s.box.onClick = [&] { ++clicks; };
  s.box.SetMousePointer(IDC_SIZENS);
  EXPECT_EQ(s.box.MousePointer(), IDC_SIZENS);

  SetForegroundWindow(s.form.hWnd());
  POINT origin{0, 0};
  ClientToScreen(s.box.hWnd(), &origin);
  SetCursorPos(origin.x + 7, origin.y + 3);
  PumpFor(50);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_SIZENS));
  s.box.SetMousePointer(IDC_SIZEWE);  // takes effect without a move
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_SIZEWE));

  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  PumpFor(50);
  ASSERT_GE(events.size(), 2u);
  bool sawDown = false;
  for (auto& [kind, button, x, y] : events) {
    if (kind == 'd') {
      sawDown = true;
      EXPECT_EQ(button, tk::kLeftButton);
      EXPECT_EQ(x, 105);
      EXPECT_EQ(y, 45);
    }
  }
  EXPECT_TRUE(sawDown);
  EXPECT_EQ(clicks, 1);

  // A press inside released outside is an up event but no click.
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  SetCursorPos(origin.x + 150, origin.y + 3);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  PumpFor(50);
  EXPECT_EQ(std::get<0>(events.back()), 'u');
  EXPECT_EQ(std::get<2>(events.back()), 150 * 15);
  EXPECT_EQ(clicks, 1);
}

TEST(PictureBox, ChildBoxesAndStacking) {
  Scene s(200, 100);
  tk::PictureBox child;
  ASSERT_TRUE(child.Create(s.box.hWnd(), 150, 150, 300, 300));
  child.SetBackColor(kBlue);
  tk::PictureBox sibling;
  ASSERT_TRUE(sibling.Create(s.form.hWnd(), 225, 450, 600, 600));
  sibling.SetBackColor(kGreen);
  s.box.ZOrder(0);
  s.form.Refresh();
  PumpFor(50);
  EXPECT_EQ(ShownPixel(s.box.hWnd(), 15, 15), kBlue);               // the child over its container
  EXPECT_EQ(ShownPixel(s.box.hWnd(), 35, 35), RGB(255, 255, 255));  // box above the sibling
  sibling.ZOrder(0);
  sibling.Refresh();
  PumpFor(50);
  EXPECT_EQ(ShownPixel(s.box.hWnd(), 35, 35), kGreen);
  sibling.SetVisible(false);
  EXPECT_FALSE(sibling.Visible());
  s.form.Refresh();
  EXPECT_EQ(ShownPixel(s.box.hWnd(), 35, 35), RGB(255, 255, 255));
}

TEST(PictureBox, GdiObjectsStayFlatOverManySavesAndPaints) {
  std::wstring dir = testsupport::MakeTempDir(L"gdi");
  Scene s(320, 200);
  tk::Picture pic = tk::Picture::Solid(320, 200, kBlue);
  const std::wstring path = dir + L"\\frame.bmp";
  auto cycle = [&](int i) {
    s.box.SetPicture(pic);
    s.box.PaintPicture(pic, 0, 0, 320 * 15, 200 * 15);
    s.box.Line(0, 0, i * 15.0, 1500, kRed);
    s.box.Fill(0, 0, 150, 150, kGreen);
    s.box.PrintText(300, 300, L"frame");
    (void)s.box.Point(15, 15);
    (void)s.box.Image();
    s.box.SaveLayerAsBmp(path);
    s.box.Refresh();
  };
  for (int i = 0; i < 5; ++i) cycle(i);
  const int before = GdiObjects();
  for (int i = 0; i < 300; ++i) cycle(i);
  s.box.Move(0, 0, 400 * 15, 300 * 15);
  s.box.Move(0, 0, 320 * 15, 200 * 15);
  PumpFor(20);
  // Under Wine the count is of a table other processes share; a leak here would be 300+.
  EXPECT_LE(GdiObjects(), before + 5);
  testsupport::RemoveTree(dir);
}
