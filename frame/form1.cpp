#include "frame/form1.h"

#include <vector>

#include "frame/forms.h"
#include "panel/form2.h"
#include "toolkit/app.h"
#include "toolkit/screen.h"
#include "toolkit/units.h"

namespace orvik {

namespace {
// The caption the window has before anything else sets it.
constexpr wchar_t kDesignCaption[] = L"Orvik Screen Recorder 2.5";
// What the title label shows: the product name and its version.
constexpr wchar_t kTitle[] = L"Orvik 3.0";

// The temporary folder, ending in a separator, whatever its length.
std::wstring TempFolder() {
  std::vector<wchar_t> buf(MAX_PATH + 1);
  DWORD n = GetTempPathW(static_cast<DWORD>(buf.size()), buf.data());
  if (n > buf.size()) {
    buf.resize(n + 1);
    n = GetTempPathW(static_cast<DWORD>(buf.size()), buf.data());
  }
  std::wstring path(buf.data(), n < buf.size() ? n : 0);
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  return path;
}
}  // namespace

Form1::Form1() : tk::Form(tk::FormOptions::Sizable(kDesignCaption, 6240, 5115)) {
  MutableOptions().left = 3300;
  MutableOptions().top = 1365;
  MutableOptions().iconId = 1;
  Timer1.onTimer = [this] { Timer1_Timer(); };
  Timer2.onTimer = [this] { Timer2_Timer(); };
}

void Form1::CreatePieces() {
  HWND me = Handle();
  backcaption.Create(me, 0, 0, 6240, 345);
  backcaption.SetBackColor(RGB(214, 225, 242));
  leftcaption.Create(backcaption.hWnd(), 0, 0, 345, 345);
  leftcaption.SetBackColor(RGB(191, 210, 234));
  Label1.Create(backcaption, 1560, 90, 2430, 180, kTitle);
  rightcaption.Create(me, 4440, 0, 1515, 375);
  rightcaption.SetBackColor(RGB(214, 225, 242));
  toolbarback.Create(me, 0, 345, 24000, 420);
  toolbarback.SetBackColor(GetSysColor(COLOR_MENU));
  leftborder.Create(me, 0, 345, 60, 18000);
  leftborder.SetBackColor(RGB(107, 153, 209));
  rightborder.Create(me, 6120, 120, 60, 18000);
  rightborder.SetBackColor(RGB(107, 153, 209));
  bottomborder.Create(me, 0, 4680, 24000, 390);
  bottomborder.SetBackColor(RGB(191, 210, 234));
  Picture1.Create(me, 1800, 840, 5895, 3795);
  Picture1.SetBackColor(RGB(240, 240, 240));
  leftcaption.onMouseUp = [this](int b, int s, float x, float y) {
    leftcaption_MouseUp(b, s, x, y);
  };
}

void Form1::Form_Load() {
  CreatePieces();
  form2().hWnd();  // loads the control panel, which embeds itself in the toolbar band
  sysmenu = GetSystemMenu(Handle(), FALSE);
  temppath = TempFolder();
  aviwidth = tk::ScreenWidthPixels();
  aviheight = tk::ScreenHeightPixels();
  SetBackColor(RGB(240, 240, 240));
  Move((tk::ScreenWidthTwips() - Width()) / 2, (tk::ScreenHeightTwips() - Height()) / 2);
  leftborder.ZOrder(0);
  rightborder.ZOrder(0);
  bottomborder.ZOrder(0);
  form2().Show();
  Show();
}

void Form1::Form_Resize() {
  if (WindowState() == tk::kStateMinimized) return;
  LayOutPieces();
}

void Form1::LayOutPieces() {
  const double w = ScaleWidth();
  const double h = ScaleHeight();
  backcaption.SetWidth(w);
  rightcaption.SetLeft(w - rightcaption.Width() - 30);
  rightborder.SetLeft(w - rightborder.Width() - 15);
  bottomborder.SetTop(h - bottomborder.Height());
  double left = (w - rightcaption.Width() + 2 * leftcaption.Width() - Label1.TextWidth()) / 2;
  if (left + Label1.Width() > rightcaption.Left()) left = rightcaption.Left() - Label1.Width();
  Label1.SetLeft(left);
  if (!Recording()) {
    Picture1.SetWidth(rightborder.Left() - Picture1.Left());
    Picture1.SetHeight(bottomborder.Top() - Picture1.Top());
  }
  if (form2().IsLoaded()) SetForegroundWindow(form2().Handle());
}

void Form1::leftcaption_MouseUp(int button, int shift, float x, float y) {
  (void)shift;
  if (button != tk::kRightButton || leftcaption.MousePointer() != IDC_ARROW) return;
  const int px = CInt32((leftcaption.Left() + Left() + x) / kTwipsPerPixel) + 2;
  const int py = CInt32((leftcaption.Top() + Top() + y) / kTwipsPerPixel) + 2;
  TrackPopupMenu(sysmenu, 0, px, py, 0, Handle(), nullptr);
}

std::optional<LRESULT> Form1::Form_Message(UINT msg, WPARAM wParam, LPARAM lParam) {
  (void)wParam, (void)lParam;
  // The frame window is the program: when it goes, the message loop ends.
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return std::nullopt;
}

}  // namespace orvik
