// Moving and sizing the frame by its skin. The window never tracks a drag itself: each piece
// shows the cursor of the zone under the pointer, and a press reads that cursor back and hands
// the system the matching move or size command, whose modal loop does the rest.
#include "frame/form1.h"
#include "frame/forms.h"
#include "panel/form2.h"
#include "toolkit/app.h"
#include "toolkit/units.h"

namespace orvik {

namespace {

LPCWSTR CursorId(SizingCursor kind) {
  switch (kind) {
    case SizingCursor::SizeNS:
      return IDC_SIZENS;
    case SizingCursor::SizeWE:
      return IDC_SIZEWE;
    case SizingCursor::SizeNWSE:
      return IDC_SIZENWSE;
    case SizingCursor::SizeNESW:
      return IDC_SIZENESW;
    default:
      return IDC_ARROW;
  }
}

SizingCursor KindOf(const tk::PictureBox& piece) {
  const LPCWSTR id = piece.MousePointer();
  if (id == IDC_SIZENS) return SizingCursor::SizeNS;
  if (id == IDC_SIZEWE) return SizingCursor::SizeWE;
  if (id == IDC_SIZENWSE) return SizingCursor::SizeNWSE;
  if (id == IDC_SIZENESW) return SizingCursor::SizeNESW;
  return SizingCursor::Default;
}

void ShowCursorKind(tk::PictureBox& piece, SizingCursor kind) {
  if (KindOf(piece) != kind) piece.SetMousePointer(CursorId(kind));
}

// How long the icon waits for a second click, and the most message rounds it runs meanwhile.
constexpr int kIconWaitRounds = 100000;

}  // namespace

void Form1::WireDragHandlers() {
  using Handler = void (Form1::*)(int button, int shift, float x, float y);
  auto route = [this](Handler h) -> tk::MouseEvents::MouseHandler {
    if (!h) return {};
    return [this, h](int b, int s, float x, float y) { (this->*h)(b, s, x, y); };
  };
  auto wire = [&](tk::MouseEvents& piece, Handler move, Handler down, Handler up) {
    piece.onMouseMove = route(move);
    piece.onMouseDown = route(down);
    piece.onMouseUp = route(up);
  };
  wire(backcaption, &Form1::backcaption_MouseMove, &Form1::backcaption_MouseDown,
       &Form1::backcaption_MouseUp);
  wire(leftcaption, &Form1::leftcaption_MouseMove, &Form1::leftcaption_MouseDown,
       &Form1::leftcaption_MouseUp);
  wire(Label1, &Form1::Label1_MouseMove, &Form1::Label1_MouseDown, &Form1::Label1_MouseUp);
  wire(rightcaption, &Form1::rightcaption_MouseMove, &Form1::rightcaption_MouseDown, nullptr);
  wire(leftborder, &Form1::leftborder_MouseMove, &Form1::leftborder_MouseDown, nullptr);
  wire(rightborder, &Form1::rightborder_MouseMove, &Form1::rightborder_MouseDown, nullptr);
  wire(bottomborder, &Form1::bottomborder_MouseMove, &Form1::bottomborder_MouseDown, nullptr);
  backcaption.onDblClick = [this] { backcaption_DblClick(); };
  leftcaption.onDblClick = [this] { leftcaption_DblClick(); };
  Label1.onDblClick = [this] { backcaption_DblClick(); };
  toolbarback.onMouseDown = [this](int, int, float, float) { PanelToFront(); };
  toolbarback.onMouseUp = [this](int, int, float, float) { PanelToFront(); };
  Picture1.onMouseDown = [this](int, int, float, float) { PanelToFront(); };
  face_.onPress = [this] { PanelToFront(); };
}

// Nothing moves or sizes a maximized window, whatever cursor a piece still shows. The system's
// loops follow the left button: started without it (a right press on the caption), Wine's
// move loop would carry the window on the pointer until the next left click, so only a
// press with the left button down starts one.
void Form1::SendDrag(SysDrag command) {
  if (command == kNoDrag || Maximized() || GetKeyState(VK_LBUTTON) >= 0) return;
  ReleaseCapture();
  SendMessageW(Handle(), WM_SYSCOMMAND, command, 0);
}

void Form1::ShowWindowMenuAt(int x, int y, UINT flags) {
  TrackPopupMenu(sysmenu, flags, x, y, 0, Handle(), nullptr);
}

void Form1::Form_MouseDown(int, int, float, float) { PanelToFront(); }
void Form1::Form_MouseUp(int, int, float, float) { PanelToFront(); }

// --- Caption band

void Form1::backcaption_MouseMove(int button, int shift, float x, float y) {
  (void)button, (void)shift, (void)x;
  ShowCursorKind(backcaption, CaptionBandZone(y, Maximized()));
  PanelToFront();
}

void Form1::backcaption_MouseDown(int button, int shift, float x, float y) {
  (void)shift, (void)x, (void)y;
  PanelToFront();
  if (Maximized()) return;
  ReleaseCapture();
  SendDrag(CaptionBandPress(KindOf(backcaption), button == tk::kLeftButton));
  PanelToFront();
}

void Form1::backcaption_MouseUp(int button, int shift, float x, float y) {
  (void)shift;
  if (button == tk::kRightButton && KindOf(backcaption) == SizingCursor::Default) {
    POINT p{CInt32(x / TwipsPerPixel()), CInt32(y / TwipsPerPixel())};
    ClientToScreen(Handle(), &p);
    ShowWindowMenuAt(p.x, p.y, TPM_RIGHTBUTTON);
  }
  PanelToFront();
}

void Form1::backcaption_DblClick() {
  if (KindOf(backcaption) != SizingCursor::Default) return;
  SetWindowState(WindowState() == tk::kStateNormal ? tk::kStateMaximized : tk::kStateNormal);
}

// --- Title label: part of the caption band (its top is below the band's sizing strip)

void Form1::Label1_MouseMove(int button, int shift, float x, float y) {
  backcaption_MouseMove(button, shift, x + static_cast<float>(Label1.Left()),
                        y + static_cast<float>(Label1.Top()));
}

void Form1::Label1_MouseDown(int button, int shift, float x, float y) {
  backcaption_MouseDown(button, shift, x + static_cast<float>(Label1.Left()),
                        y + static_cast<float>(Label1.Top()));
}

void Form1::Label1_MouseUp(int button, int shift, float x, float y) {
  backcaption_MouseUp(button, shift, x + static_cast<float>(Label1.Left()),
                      y + static_cast<float>(Label1.Top()));
}

// --- Caption icon

void Form1::leftcaption_MouseMove(int button, int shift, float x, float y) {
  (void)button, (void)shift;
  ShowCursorKind(leftcaption, CaptionIconZone(x, y, Maximized(), KindOf(leftcaption)));
}

// A single click opens the window menu below the icon, but only once it is clear that no
// second click follows: a double click closes the window instead. The wait lasts the
// system's double-click time, with the messages that arrive meanwhile handled.
void Form1::leftcaption_MouseDown(int button, int shift, float x, float y) {
  (void)shift, (void)x, (void)y;
  if (button != tk::kLeftButton) return;
  const SizingCursor kind = KindOf(leftcaption);
  if (kind == SizingCursor::SizeNWSE) {
    SendDrag(kSizeTopLeft);
    return;
  }
  if (kind != SizingCursor::Default) return;
  const DWORD wait = GetDoubleClickTime();
  const DWORD start = GetTickCount();
  for (int round = 0; round < kIconWaitRounds && !icondblclicked; ++round) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= wait) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, wait - elapsed, QS_ALLINPUT);
    tk::DoEvents();
  }
  if (icondblclicked) {
    // The double click is closing the window. Should the close be refused (a recording
    // goes on), the next single click must still open the menu.
    icondblclicked = 0;
    return;
  }
  const PixelPoint p = IconMenuPoint(Left(), Top(), leftcaption.Height());
  ShowWindowMenuAt(p.x, p.y, 0);
  icondblclicked = 0;
}

void Form1::leftcaption_MouseUp(int button, int shift, float x, float y) {
  (void)shift;
  if (button != tk::kRightButton || KindOf(leftcaption) != SizingCursor::Default) return;
  const PixelPoint p =
      IconPointerMenuPoint(Left(), Top(), leftcaption.Left(), leftcaption.Top(), x, y);
  ShowWindowMenuAt(p.x, p.y, 0);
}

void Form1::leftcaption_DblClick() {
  icondblclicked = -1;
  Unload();
}

// --- Right end of the caption: its top-right corner sizes

void Form1::rightcaption_MouseMove(int button, int shift, float x, float y) {
  (void)button, (void)shift;
  ShowCursorKind(rightcaption,
                 RightCaptionZone(x, y, rightcaption.Width(), Maximized(), KindOf(rightcaption)));
}

void Form1::rightcaption_MouseDown(int button, int shift, float x, float y) {
  (void)button, (void)shift, (void)x, (void)y;
  PanelToFront();
  ReleaseCapture();
  if (KindOf(rightcaption) == SizingCursor::SizeNESW) SendDrag(kSizeTopRight);
  PanelToFront();
}

// --- Side borders

void Form1::leftborder_MouseMove(int button, int shift, float x, float y) {
  (void)button, (void)shift, (void)x, (void)y;
  ShowCursorKind(leftborder, SideBorderZone(Maximized()));
}

void Form1::leftborder_MouseDown(int button, int shift, float x, float y) {
  (void)shift, (void)x, (void)y;
  PanelToFront();
  if (button == tk::kLeftButton) SendDrag(SideBorderPress(KindOf(leftborder), false));
  PanelToFront();
}

void Form1::rightborder_MouseMove(int button, int shift, float x, float y) {
  (void)button, (void)shift, (void)x, (void)y;
  ShowCursorKind(rightborder, SideBorderZone(Maximized()));
}

void Form1::rightborder_MouseDown(int button, int shift, float x, float y) {
  (void)shift, (void)x, (void)y;
  PanelToFront();
  if (button == tk::kLeftButton) SendDrag(SideBorderPress(KindOf(rightborder), true));
  PanelToFront();
}

// --- Bottom bar: edge, corners and the ends of the bar

void Form1::bottomborder_MouseMove(int button, int shift, float x, float y) {
  (void)button, (void)shift;
  ShowCursorKind(bottomborder,
                 BottomBarZone(x, y, bottomborder.ScaleHeight(), ScaleWidth(), Maximized()));
}

void Form1::bottomborder_MouseDown(int button, int shift, float x, float y) {
  (void)shift, (void)y;
  PanelToFront();
  if (button == tk::kLeftButton) SendDrag(BottomBarPress(KindOf(bottomborder), x));
  PanelToFront();
}

}  // namespace orvik
