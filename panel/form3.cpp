#include "panel/form3.h"

#include <cmath>

#include "frame/form1.h"
#include "frame/forms.h"
#include "panel/form2.h"
#include "panel/size_readout.h"
#include "toolkit/handles.h"
#include "toolkit/screen.h"
#include "toolkit/units.h"
#include "toolkit/window_frame.h"

namespace orvik {

namespace {
constexpr COLORREF kPen = RGB(255, 0, 0);
// The outline of the window under the pointer: apart from the rectangle's red, inside the frame
// so that it shows at the screen's edges too.
constexpr COLORREF kOutline = RGB(0, 120, 215);
constexpr int kOutlinePixels = 3;
// A press and release this close together (screen pixels at 100%) is a click, not a drag.
constexpr int kClickSlop = 4;
// White on a dark box with a white edge: readable over light and dark screens alike.
constexpr COLORREF kReadoutText = RGB(255, 255, 255);
constexpr COLORREF kReadoutBack = RGB(32, 32, 32);
constexpr int kReadoutFontPixels = 16;
constexpr int kReadoutPadX = 6;
constexpr int kReadoutPadY = 3;
}  // namespace

Form3::Form3() : tk::Form(tk::FormOptions::BorderlessPopup()) {
  MutableOptions().exStyle |= WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
  MutableOptions().left = 0;
  MutableOptions().top = 0;
  MutableOptions().clientWidth = tk::ScreenWidthTwips();
  MutableOptions().clientHeight = tk::ScreenHeightTwips();
}

void Form3::Form_Load() {
  surface_.Create(Handle(), 0, 0, tk::ScreenWidthTwips(), tk::ScreenHeightTwips());
  surface_.SetMousePointer(IDC_CROSS);
  readoutFont_.reset(CreateFontW(-ScaledPixels(kReadoutFontPixels), 0, 0, 0, FW_BOLD, FALSE, FALSE,
                                 FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
  if (readoutFont_) surface_.SetFont(readoutFont_.get());
  surface_.onMouseDown = [this](int b, int s, float x, float y) { Form_MouseDown(b, s, x, y); };
  surface_.onMouseMove = [this](int b, int s, float x, float y) { Form_MouseMove(b, s, x, y); };
  surface_.onMouseUp = [this](int b, int s, float x, float y) { Form_MouseUp(b, s, x, y); };
}

void Form3::ShowOverlay() {
  hWnd();
  // The image is taken before the overlay covers the screen, so it shows what the user saw.
  if (!Visible()) TakeScreenImage();
  Show();
  SetForegroundWindow(Handle());
  SetFocus(Handle());
}

void Form3::TakeScreenImage() {
  const int w = tk::ScreenWidthPixels();
  const int h = tk::ScreenHeightPixels();
  Move(0, 0, tk::ScreenWidthTwips(), tk::ScreenHeightTwips());
  surface_.Move(0, 0, tk::ScreenWidthTwips(), tk::ScreenHeightTwips());
  tk::Picture image = tk::Picture::Solid(w, h, RGB(0, 0, 0));
  windows_ = PickableWindows(w, h);
  hovered_ = nullptr;
  {
    tk::WindowDc screen(nullptr);
    tk::UniqueMemDc dc(CreateCompatibleDC(screen.get()));
    tk::SelectGuard select(dc.get(), image.handle());
    BitBlt(dc.get(), 0, 0, w, h, screen.get(), 0, 0, SRCCOPY);
  }
  surface_.SetPicture(image);  // clearing the surface brings this image back
  surface_.Refresh();
}

void Form3::Form_Activate() { sel_.placing = false; }

void Form3::DrawRectangle(float x, float y) {
  surface_.Cls();
  // One pixel at 100%; at higher scalings the further lines go outwards.
  const double px = TwipsPerPixel();
  const double l = std::fmin(sel_.x1, sel_.x2), r = std::fmax(sel_.x1, sel_.x2);
  const double t = std::fmin(sel_.y1, sel_.y2), b = std::fmax(sel_.y1, sel_.y2);
  for (int i = 0; i < ScaledPixels(1); ++i) {
    const double o = i * px;
    surface_.Line(l - o, t - o, r + o, t - o, kPen);
    surface_.Line(r + o, t - o, r + o, b + o, kPen);
    surface_.Line(r + o, b + o, l - o, b + o, kPen);
    surface_.Line(l - o, b + o, l - o, t - o, kPen);
  }
  DrawSizeReadout(x, y);
  surface_.Refresh();
}

void Form3::DrawSizeReadout(float x, float y) {
  int32_t width, height;
  sel_.PixelSize(&width, &height);
  const std::wstring text = SizeReadoutText(width, height);
  const int textW = TwipsToPixels(surface_.TextWidth(text));
  const int textH = TwipsToPixels(surface_.TextHeight(text));
  const PixelRect box =
      ReadoutBox(TwipsToPixels(x), TwipsToPixels(y), textW + 2 * ScaledPixels(kReadoutPadX),
                 textH + 2 * ScaledPixels(kReadoutPadY), surface_.PixelWidth(),
                 surface_.PixelHeight(), ScaledPixels(kReadoutGap));
  const double l = PixelsToTwips(box.left), t = PixelsToTwips(box.top);
  const double r = PixelsToTwips(box.right - 1), b = PixelsToTwips(box.bottom - 1);
  surface_.Fill(l, t, r, b, kReadoutBack);
  surface_.Line(l, t, r, t, kReadoutText);
  surface_.Line(r, t, r, b, kReadoutText);
  surface_.Line(r, b, l, b, kReadoutText);
  surface_.Line(l, b, l, t, kReadoutText);
  surface_.SetForeColor(kReadoutText);
  surface_.PrintText(PixelsToTwips(box.left + ScaledPixels(kReadoutPadX)),
                     PixelsToTwips(box.top + ScaledPixels(kReadoutPadY)), text);
}

void Form3::Form_MouseDown(int button, int shift, float x, float y) {
  (void)shift;
  if (button == tk::kLeftButton) {
    if (sel_.placing) {
      Commit();
      return;
    }
    sel_.BeginAt(x, y);
  }
  if (button == tk::kRightButton) {
    surface_.Cls();
    surface_.Refresh();
    sel_.Reset();        // a confinement set before stays until the next release or close
    hovered_ = nullptr;  // outlined again at the next move
  }
}

void Form3::Commit() {
  const std::optional<CaptureArea> area = sel_.Commit();
  if (!area) return;
  form1().followedWindow = nullptr;
  HandOver(*area);
}

// The frame window records this area from now on; the overlay goes.
void Form3::HandOver(const CaptureArea& area) {
  Form1& frame = form1();
  frame.x0 = area.x0;
  frame.y0 = area.y0;
  frame.aviwidth = area.width;
  frame.aviheight = area.height;
  frame.ShowWhatAStartWillDo();
  ClipCursor(nullptr);
  Unload();
  ClipCursor(nullptr);
}

// The window's visible frame at the pick, and the part of it on the screen, which the frames
// keep the size of.
bool Form3::PickWindowAt(float x, float y) {
  const PickableWindow* picked = WindowAt(windows_, TwipsToPixels(x), TwipsToPixels(y));
  RECT now{};
  if (!picked || !IsWindow(picked->window) || !tk::VisibleFrame(picked->window, &now)) return false;
  const ScreenRect screen{0, 0, tk::ScreenWidthPixels(), tk::ScreenHeightPixels()};
  const FollowedFrame frame =
      FollowedFrameAtPick(ScreenRect{now.left, now.top, now.right, now.bottom}, screen);
  if (frame.width <= 0 || frame.height <= 0) return false;
  Form1& owner = form1();
  owner.followedWindow = picked->window;
  owner.followedFrame = frame;
  HandOver(
      CaptureArea{now.left + frame.offsetX, now.top + frame.offsetY, frame.width, frame.height});
  return true;
}

void Form3::HoverAt(float x, float y) {
  const PickableWindow* under = WindowAt(windows_, TwipsToPixels(x), TwipsToPixels(y));
  const HWND window = under ? under->window : nullptr;
  if (window == hovered_) return;
  hovered_ = window;
  surface_.Cls();
  if (under) DrawOutline(under->frame);
  surface_.Refresh();
}

void Form3::DrawOutline(const PixelRect& frame) {
  const int w = ScaledPixels(kOutlinePixels);
  const auto band = [this](int l, int t, int r, int b) {
    surface_.Fill(PixelsToTwips(l), PixelsToTwips(t), PixelsToTwips(r - 1), PixelsToTwips(b - 1),
                  kOutline);
  };
  band(frame.left, frame.top, frame.right, frame.top + w);
  band(frame.left, frame.bottom - w, frame.right, frame.bottom);
  band(frame.left, frame.top, frame.left + w, frame.bottom);
  band(frame.right - w, frame.top, frame.right, frame.bottom);
}

void Form3::Form_MouseMove(int button, int shift, float x, float y) {
  (void)shift;
  if (button == 0 && !sel_.placing) {
    HoverAt(x, y);
  } else if (button == 0 && sel_.placing) {
    sel_.CentreOn(x, y);
    DrawRectangle(x, y);
  } else if (button == tk::kLeftButton) {
    hovered_ = nullptr;
    sel_.DragTo(x, y);
    DrawRectangle(x, y);
  }
}

void Form3::Form_MouseUp(int button, int shift, float x, float y) {
  (void)shift;
  if (button != tk::kLeftButton) return;
  if (!sel_.placing && sel_.IsClickAt(x, y, ScaledPixels(kClickSlop)) &&
      PickWindowAt(sel_.x1, sel_.y1))
    return;
  if (!sel_.ReleaseAt(x, y)) return;
  int32_t cx, cy;
  sel_.Centre(&cx, &cy);
  SetCursorPos(cx, cy);
  const PixelRect r = sel_.Confinement(tk::ScreenWidthPixels(), tk::ScreenHeightPixels());
  const RECT clip{r.left, r.top, r.right, r.bottom};
  ClipCursor(&clip);
}

void Form3::Form_KeyDown(int& keyCode, int shift) {
  (void)shift;
  if (keyCode != VK_ESCAPE) return;
  form2().recordareae->SetChecked(false);
  ClipCursor(nullptr);
  Unload();
}

// However the overlay goes (commit, Esc, the program closing), the pointer is set free.
void Form3::Form_Unload(int& cancel) {
  (void)cancel;
  ClipCursor(nullptr);
}

}  // namespace orvik
