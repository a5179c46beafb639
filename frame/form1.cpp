#include "frame/form1.h"

#include "codec/zmbv_driver.h"

#include <vector>

#include "frame/forms.h"
#include "panel/form2.h"
#include "skin/skin.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/screen.h"
#include "toolkit/units.h"

namespace orvik {

namespace {
// The caption the window has before anything else sets it.
constexpr wchar_t kDesignCaption[] = L"Orvik Screen Recorder 2.5";
// What the title label shows: the product name and its version.
constexpr wchar_t kTitle[] = L"Orvik 3.0";
constexpr COLORREF kFrameBack = RGB(240, 240, 240);
constexpr COLORREF kTitleColour = RGB(21, 66, 139);

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

void UsePicture(tk::PictureBox& box, SkinId id, COLORREF fallback) {
  box.SetBackColor(fallback);
  box.SetPicture(LoadSkinBitmap(id, UiDpi()));
}
}  // namespace

Form1::Form1() : tk::Form(tk::FormOptions::Sizable(kDesignCaption, 6240, 5115)) {
  // The window opens on the primary monitor: laid out at its scaling from the first twip on.
  SetUiDpi(tk::SystemDpi());
  MutableOptions().left = 3300;
  MutableOptions().top = 1365;
  MutableOptions().iconId = 1;
  Timer1.onTimer = [this] { Timer1_Timer(); };
  Timer2.onTimer = [this] { Timer2_Timer(); };
  // The hook's shared tables must outlive this window: they are made first, so they are
  // destroyed after it at exit.
  msghookModule::hookobject();
}

// A window still hooked when the process ends (tests end that way) must not report its
// last messages to a half-destroyed form.
Form1::~Form1() {
  if (!tmsg) return;
  tmsg->msgevent = nullptr;
  tmsg->setmsghook(nullptr, false);
}

// Where each piece starts, in twips; the resize rule moves them from here.
struct Form1::PiecePlace {
  tk::PictureBox Form1::*box;
  double left, top, width, height;
};
const Form1::PiecePlace Form1::kPiecePlaces[] = {
    {&Form1::backcaption, 0, 0, 6240, 345},      {&Form1::rightcaption, 4440, 0, 1515, 375},
    {&Form1::leftcaption, 0, 0, 345, 345},       {&Form1::toolbarback, 0, 345, 24000, 420},
    {&Form1::leftborder, 0, 345, 60, 18000},     {&Form1::rightborder, 6120, 120, 60, 18000},
    {&Form1::bottomborder, 0, 4680, 24000, 390}, {&Form1::Picture1, 1800, 840, 5895, 3795},
};

void Form1::CreatePieces() {
  HWND me = Handle();
  for (const PiecePlace& p : kPiecePlaces) {
    // The caption icon lies on the caption band; everything else on the window.
    HWND parent = p.box == &Form1::leftcaption ? backcaption.hWnd() : me;
    (this->*p.box).Create(parent, p.left, p.top, p.width, p.height);
  }
  rightcaption.ZOrder(0);  // the title buttons' end lies over the caption band
  Label1.Create(backcaption, 1560, 90, 2430, 180, kTitle);
  Label1.SetForeColor(kTitleColour);
  SetTitle(kTitle);
  Picture1.SetBackColor(kFrameBack);
  face_.Create(me);
  SetWindowPos(face_.hWnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  LoadSkin();
  CreateTitleButtons();
  WireDragHandlers();
}

// A program built without the skin resources still works: each piece keeps a plain colour.
void Form1::LoadSkin() {
  UsePicture(backcaption, SkinId::backcaption, RGB(214, 225, 242));
  UsePicture(leftcaption, SkinId::leftcaption, RGB(191, 210, 234));
  UsePicture(rightcaption, SkinId::rightcaption, RGB(214, 225, 242));
  UsePicture(toolbarback, SkinId::toolbarback, GetSysColor(COLOR_MENU));
  UsePicture(leftborder, SkinId::leftborder, RGB(107, 153, 209));
  UsePicture(rightborder, SkinId::rightborder, RGB(107, 153, 209));
  UsePicture(bottomborder, SkinId::bottomborder, RGB(191, 210, 234));
}

void Form1::Form_Load() {
  loadFinished_ = false;
  CreatePieces();
  OpenProductPage();
  // A second copy has opened the page; the first one stays the program.
  if (tk::PrevInstance()) ExitProcess(0);
  // Our lossless screen codec joins the codec dialog for this process; without it the other
  // codecs are still there.
  zmbv::RegisterOrvikCodec();
  StripCaption();
  HookWindows();
  RegisterHotKeys();
  sysmenu = GetSystemMenu(Handle(), FALSE);
  temppath = TempFolder();
  aviwidth = CInt32(tk::ScreenWidthTwips() / TwipsPerPixel());
  aviheight = CInt32(tk::ScreenHeightTwips() / TwipsPerPixel());
  SetBackColor(kFrameBack);
  Move((tk::ScreenWidthTwips() - Width()) / 2, (tk::ScreenHeightTwips() - Height()) / 2);
  leftborder.ZOrder(0);
  rightborder.ZOrder(0);
  bottomborder.ZOrder(0);
  form2().Show();
  PaintToolbarGradient();
  FadeInWindow(Handle());
  FinishLoad();
}

// The sizing frame stays, so the system still sizes and maximizes the window; the region
// clips the frame away. The frame is recomputed only after the panel has measured ours:
// the panel cuts its menu bar out by the caption height it sees at its load.
void Form1::StripCaption() {
  const LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
  SetWindowLongPtrW(Handle(), GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_CAPTION));
}

void Form1::HookWindows() {
  tmsg = msghook::Create();
  tmsg->msgevent = [this](HWND hwnd, UINT msg, int32_t a1, int32_t a2, int32_t a3) {
    tmsg_msgevent(hwnd, msg, a1, a2, a3);
  };
  tmsg->setmsghook(Handle(), true);
  tmsg->setmsghook(form2().hWnd(), true);  // loads the panel, which embeds itself
  SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1::UnhookWindows() {
  if (!tmsg) return;
  tmsg->sethotkey(0, 0, 0);
  tmsg->setmsghook(Handle(), false);
  if (form2().IsLoaded()) tmsg->setmsghook(form2().Handle(), false);
}

void Form1::PaintToolbarGradient() {
  toolbarback.ClearPicture();
  const uint32_t base = toolbarback.Point(1, 1);
  const double h = toolbarback.ScaleHeight();
  for (double x = kGradientStart; x <= kGradientStop; x += 1) {
    toolbarback.Line(x, 0, x, h, GradientColour(base, x));
  }
  const double right = tk::ScreenWidthTwips();
  toolbarback.Fill(kGradientStop, 0, right, h, kGradientEnd);
  toolbarback.Fill(0, h - TwipsPerPixel(), right, h, kToolbarEdge);
}

// Whatever was asked for while the window faded in runs now, in the order it came.
void Form1::FinishLoad() {
  RepairWhatTheLastRunLeft();
  loadFinished_ = true;
  ShowWhatAStartWillDo();
  std::vector<std::function<void()>> commands;
  commands.swap(deferred_);
  for (auto& command : commands) command();
  if (closePending_) {
    closePending_ = false;
    Unload();
  }
}

void Form1::WhenLoaded(std::function<void()> command) {
  if (loadFinished_) {
    command();
  } else {
    deferred_.push_back(std::move(command));
  }
}

// The label is as wide as its text, so that a title too long for the caption ends exactly
// where the title buttons begin.
void Form1::SetTitle(const std::wstring& title) {
  Label1.SetCaption(title);
  Label1.Move(Label1.Left(), Label1.Top(), Label1.TextWidth(), Label1.Height());
  if (Visible() && WindowState() != tk::kStateMinimized) LayOutPieces();
}

void Form1::Form_Resize() {
  if (WindowState() == tk::kStateMinimized) return;
  LayOutPieces();
}

void Form1::LayOutPieces() {
  SetFrameRegion();
  LayoutInput in;
  in.clientWidth = ScaleWidth();
  in.clientHeight = ScaleHeight();
  in.rightCaptionWidth = rightcaption.Width();
  in.rightBorderWidth = rightborder.Width();
  in.bottomBarHeight = bottomborder.Height();
  in.captionIconWidth = leftcaption.Width();
  in.titleTextWidth = TextWidth(Label1.Caption());
  in.titleLabelWidth = Label1.Width();
  in.pictureLeft = Picture1.Left();
  in.pictureTop = Picture1.Top();
  const LayoutResult out = LayOut(in);
  backcaption.SetWidth(in.clientWidth);
  rightcaption.SetLeft(out.rightCaptionLeft);
  rightborder.SetLeft(out.rightBorderLeft);
  bottomborder.SetTop(out.bottomBarTop);
  Label1.SetLeft(out.titleLeft);
  if (!Recording()) {
    Picture1.SetWidth(out.pictureWidth);
    Picture1.SetHeight(out.pictureHeight);
  }
  // The face fills the client area between the borders, under the toolbar band.
  const int faceLeft = TwipsToPixels(leftborder.Width());
  const int faceTop = TwipsToPixels(Picture1.Top());
  face_.Place(faceLeft, faceTop, TwipsToPixels(out.rightBorderLeft) - faceLeft,
              TwipsToPixels(out.bottomBarTop) - faceTop);
  ShowStateButtons();
  PanelToFront();
  CopyGrip();
}

void Form1::SetFrameRegion() {
  const FrameRegion r = FrameRegionFor(Width(), Height(), ScaleHeight(), Maximized());
  HRGN rounded = CreateRoundRectRgn(r.rounded.left, r.rounded.top, r.rounded.right,
                                    r.rounded.bottom, r.ellipse, r.ellipse);
  tk::UniqueRgn square(CreateRectRgn(r.square.left, r.square.top, r.square.right, r.square.bottom));
  if (!rounded) return;
  if (square) CombineRgn(rounded, rounded, square.get(), RGN_OR);
  // Once set, the region is the system's to free.
  if (!SetWindowRgn(Handle(), rounded, TRUE)) DeleteObject(rounded);
}

// The bar's picture is uniform but for its right end, which carries the grip: that end is
// copied to wherever the window's right edge is now.
void Form1::CopyGrip() {
  bottomborder.Cls();
  const tk::Picture& bar = bottomborder.GetPicture();
  if (bar.empty()) return;
  const double barWidth = bottomborder.ScaleWidth();
  const double h = bottomborder.ScaleHeight();
  bottomborder.PaintPicture(bar, ScaleWidth() - kGripSpan - TwipsPerPixel(), 0, kGripSpan, h,
                            barWidth - kGripSpan, 0, kGripSpan, h);
}

// Moved onto a monitor of another scaling: every twip is laid out again at the new DPI, the
// skin painted for it, and the window takes the place the system suggests.
void Form1::MoveToNewScaling(int dpi, const RECT& suggested) {
  SetUiDpi(dpi);
  for (const PiecePlace& p : kPiecePlaces) (this->*p.box).Move(p.left, p.top, p.width, p.height);
  Label1.Move(1560, 90, Label1.TextWidth(), 180);
  LoadSkin();
  ReloadTitleButtons();
  PaintToolbarGradient();
  face_.UseFontForTheScaling();
  SetWindowPos(Handle(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  LayOutPieces();
}

void Form1::PanelToFront() {
  // While the program closes the panel may already be gone; it is not brought back for this.
  if (form2().IsLoaded()) SetForegroundWindow(form2().Handle());
}

std::optional<LRESULT> Form1::Form_Message(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_DESTROY:
      // The frame window is the program: when it goes, the message loop ends.
      PostQuitMessage(0);
      break;
    case WM_QUERYENDSESSION:
      return TRUE;  // a recording is finished as the session ends, below
    case WM_ENDSESSION:
      if (wParam) FinishRecordingAsTheSessionEnds();
      return 0;
    case WM_DPICHANGED:
      MoveToNewScaling(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case kRepairsChangedMessage:
      ShowRepairs();
      return 0;
    default:
      break;
  }
  return std::nullopt;
}

}  // namespace orvik
